#include "KanbanCore/WeekPlanner.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/ModelContext.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <tuple>

namespace taskory {
namespace {

using WeekPlanner::Configuration;
constexpr Date kWednesday = test::TestStore::kNow; // 11:00 in Berlin
const Priority U = Priority::urgent, M = Priority::medium, L = Priority::low;

class WeekPlannerTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  const Calendar &calendar = store.calendar;
  std::unique_ptr<test::Seed> seed =
      std::make_unique<test::Seed>(*context, calendar, kWednesday);

  Date at(int month, int day, int hour = 0, int minute = 0) const {
    return calendar.date(2025, month, day, hour, minute).value();
  }
  std::string day(std::optional<Date> date) const {
    return date ? calendar.format(*date, "EEE dd.MM.") : "-";
  }
  void freshStore() {
    seed.reset();
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    context = store.context();
    seed = std::make_unique<test::Seed>(*context, calendar, kWednesday);
  }
  Card &card(std::string title, Priority priority = U,
             std::optional<Date> due = {}, int open = 0, int checked = 0,
             Bucket *in = nullptr) {
    Card &c = in ? seed->card(*in, std::move(title))
                 : seed->card(nullptr, std::move(title));
    c.setPriority(priority);
    c.dueDate = due;
    for (int i = 0; i < open + checked; ++i)
      seed->item(c, "Punkt", i < checked);
    return c;
  }
  int64_t run(Date now, double capacity = 3, bool weekend = false) {
    return WeekPlanner::planCurrentWeek(
               *context, Configuration(capacity, weekend, false), now, calendar)
        .plannedCount;
  }
};

// Which weekday a week starts on is the tool's business; runs count from
// Monday whatever the calendar says.
TEST_F(WeekPlannerTest, PlanningDaysRunToTheEndOfTheWeek) {
  Calendar monday = calendar;
  monday.setFirstWeekday(2);
  std::string names;
  for (Date d :
       WeekPlanner::planningDays(at(3, 28, 10), monday, {3, true, false})) {
    names += day(d) + ",";
    EXPECT_EQ(d, calendar.startOfDay(d)) << day(d);
  }
  EXPECT_EQ(names, "Fr. 28.03.,Sa. 29.03.,So. 30.03.,") << "clocks change";
  card("A");
  auto summary =
      WeekPlanner::planCurrentWeek(*context, {3, true, false}, at(3, 16, 10),
                                   Calendar("Europe/Berlin", "en_US"));
  EXPECT_EQ(day(summary.firstDay) + day(summary.lastDay),
            "So. 16.03.So. 16.03.");
}

// Each scenario plans a fresh store. A card is
// "Title[!P][@D[h]][/open/checked]": priority U, I, M or L (default U), due at
// 17:00 (h: 23:59) on day D counted from 1 March.
TEST_F(WeekPlannerTest, DaysFollowOrderWeightCapacityAndDueDates) {
  const std::vector<std::tuple<Date, double, std::string, std::string>> rows = {
      {kWednesday, 3, "A B C D", "Mi. Mi. Mi. Do."},
      {kWednesday, 3, "A/2/5 B/2/5 C", "Mi. Mi. Mi."}, // two open weigh 1
      {kWednesday, 3, "A/5/0 B/5/0 C", "Mi. Do. Mi."}, // five weigh 1.75
      {kWednesday, 0.2, "Schwer/4/0 Fällig!M@13/4/0", "- Do."},
      {kWednesday, 1, "A!M@3 B!L@10 C", "Mi. Mi. Do."}, // overdue first
      {at(3, 10, 8), 1, "B1!M@13 B2!M@13 B3!M@13 B4!M@13 B5!M@13",
       "Mo. Di. Mi. Do. Do."},                 // never after the due day
      {kWednesday, 1, "A Z!L@14h", "Do. Mi."}, // due just before the horizon
      {at(3, 14, 10), 1, "Aufgabe10 aufgabe2", "- Fr."}, // natural order
  };
  for (const auto &[now, capacity, specs, expected] : rows) {
    freshStore();
    std::vector<Card *> cards;
    std::istringstream in(specs);
    for (std::string spec; in >> spec;) {
      std::size_t end = spec.find_first_of("!@/");
      Card &c = card(spec.substr(0, end));
      int slashes = 0;
      for (; end < spec.size(); end = spec.find_first_of("!@/", end + 1)) {
        std::string arg =
            spec.substr(end + 1, spec.find_first_of("!@/", end + 1) - end - 1);
        if (spec[end] == '!')
          c.setPriority(arg == "M"   ? M
                        : arg == "L" ? L
                        : arg == "I" ? Priority::important
                                     : U);
        else if (spec[end] == '@')
          c.dueDate = at(3, 1, arg.back() == 'h' ? 23 : 17,
                         arg.back() == 'h' ? 59 : 0) +
                      (std::stoi(arg) - 1) * 86400.0;
        else
          for (int n = std::stoi(arg), i = 0, checked = slashes++; i < n; ++i)
            seed->item(c, "Punkt", checked);
      }
      cards.push_back(&c);
    }
    const int64_t planned = run(now, capacity);
    std::string days;
    for (const Card *c : cards) {
      days += (days.empty() ? "" : " ") +
              (c->plannedDate ? calendar.format(*c->plannedDate, "EEE") : "-");
      if (c->plannedDate) {
        EXPECT_EQ(calendar.components(*c->plannedDate).hour, 9) << c->title;
      }
    }
    EXPECT_EQ(days, expected) << specs;
    EXPECT_EQ(planned, static_cast<int64_t>(cards.size()) -
                           std::count(days.begin(), days.end(), '-'))
        << specs;
  }
  // Only sixty candidates per run.
  freshStore();
  for (int i = 1; i <= 61; ++i)
    card("Karte " + std::to_string(i));
  EXPECT_EQ(run(kWednesday, std::numeric_limits<double>::infinity()), 60);
}

TEST_F(WeekPlannerTest, OnlyPressingOrFlaggedOpenCardsArePlanned) {
  Plan &p = seed->plan("Haus");
  Card &withGoal = card("Mit Ziel", M);
  Goal &goal = seed->goal(p, "Renovieren");
  goal.targetDate = at(5, 1, 12);
  seed->tag(withGoal, goal);
  card("Mein Tag", L).isOnMyDay = true;
  card("Idee", L).isIdeaTask = true;
  card("Archiviert").isArchived = true;
  card("Erledigt").percentComplete = 100;
  card("Dringend");
  card("Wichtig", Priority::important);
  card("Mittel", M);
  card("Niedrig", L);
  EXPECT_EQ(run(kWednesday, 10), 5);
  std::string planned;
  for (const Card *c : context->fetchCards())
    planned += c->plannedDate ? c->title + "," : "";
  EXPECT_EQ(planned, "Mit Ziel,Mein Tag,Idee,Dringend,Wichtig,");
}

TEST_F(WeekPlannerTest, RunsReplaceFuturePlansAndKeepPastOnes) {
  Card &past = card("Vergangen", M);
  past.plannedDate = at(3, 11, 9);
  Card &midnight = card("Heute 0 Uhr", M);
  midnight.plannedDate = at(3, 12, 0);
  Card &future = card("Zukunft", M);
  future.plannedDate = at(3, 20, 9);
  Card &archived = card("Archiv", M);
  archived.isArchived = true;
  archived.plannedDate = at(3, 14, 9);
  Card &a = card("A"), &b = card("B"), &c = card("C");
  EXPECT_EQ(run(kWednesday, 1), 3);
  EXPECT_EQ(day(c.plannedDate), "Fr. 14.03.");
  a.setPriority(M);
  EXPECT_EQ(run(kWednesday, 1), 2);
  EXPECT_EQ(day(a.plannedDate) + day(b.plannedDate) + day(c.plannedDate),
            "-Mi. 12.03.Do. 13.03.");
  EXPECT_EQ(day(past.plannedDate) + day(midnight.plannedDate) +
                day(future.plannedDate) + day(archived.plannedDate),
            "Di. 11.03.--Fr. 14.03.");
  // The run saved itself: a new context sees the plan.
  const UUID id = b.id;
  seed.reset();
  context.reset();
  EXPECT_EQ(day(store.context()->card(id)->plannedDate), "Mi. 12.03.");
}

TEST_F(WeekPlannerTest, ClaudeProjectsGetOneCardPerBucketADayAndIdeaTasks) {
  Plan &p = seed->plan("Assistent");
  p.isClaudeProject = true;
  Bucket &first = seed->bucket(p, "Backlog");
  Bucket &empty = seed->bucket(p, "Ideen", "#0078D4");
  Card &a = card("A", U, {}, 0, 0, &first), &b = card("B", U, {}, 0, 0, &first);
  Card &old = card("Alt", M, {}, 0, 0, &empty);
  old.isArchived = true;
  auto summary = WeekPlanner::planCurrentWeek(*context, {3, false, true},
                                              kWednesday, calendar);
  EXPECT_EQ(summary.ideaTasksCreated, 1);
  EXPECT_EQ(day(a.plannedDate) + day(b.plannedDate), "Mi. 12.03.Do. 13.03.")
      << "one a day per bucket";
  Card *idea = context->fetchCards().back();
  EXPECT_EQ(idea->notes,
            "Automatisch angelegt: Dieses Projekt hat gerade keine offenen "
            "Aufgaben. Zeit für ein kurzes Brainstorming — neue Features, "
            "Verbesserungen, Bugs, Ideen aus der Nutzung.");
  EXPECT_EQ(idea->priorityRaw, 9);
  EXPECT_EQ(idea->sortOrder, old.sortOrder + 1024) << "after the archived card";
  EXPECT_EQ(idea->colorHex, std::optional<std::string>("#0078D4"));
  EXPECT_EQ(WeekPlanner::planCurrentWeek(*context, {3, false, true}, kWednesday,
                                         calendar)
                .ideaTasksCreated,
            0);
}

} // namespace
} // namespace taskory
