#include "KanbanCore/WeekPlanner.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/Text.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace taskory {
namespace {

using WeekPlanner::Candidate;
using WeekPlanner::Configuration;

constexpr Date kWednesday = test::TestStore::kNow; // 11:00 in Berlin
constexpr double kInf = std::numeric_limits<double>::infinity();

class WeekPlannerTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  const Calendar &calendar = store.calendar;

  Date at(int month, int day, int hour = 0, int minute = 0) const {
    return calendar.date(2025, month, day, hour, minute).value();
  }
  std::string day(std::optional<Date> date) const {
    return date ? calendar.format(*date, "EEE dd.MM.") : "-";
  }
  std::string stamp(Date date) const {
    return calendar.format(date, "yyyy-MM-dd HH:mm");
  }
  void freshStore() {
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    context = store.context();
  }

  Plan &plan(std::string title, bool claude = false) {
    Plan p(std::move(title), 1024, kWednesday);
    p.isClaudeProject = claude;
    return context->insert(std::move(p));
  }
  Bucket &bucket(Plan &owner, std::string name, double sortOrder) {
    Bucket b(std::move(name), sortOrder, kWednesday);
    b.plan = owner.id;
    return context->insert(std::move(b));
  }
  Card &card(std::string title, Priority priority = Priority::urgent,
             std::optional<Date> due = std::nullopt, Bucket *in = nullptr) {
    Card c(std::move(title), 1024, kWednesday);
    c.setPriority(priority);
    c.dueDate = due;
    if (in) {
      c.bucket = in->id;
      c.plan = in->plan;
    }
    return context->insert(std::move(c));
  }
  void checklist(Card &owner, int open, int checked) {
    for (int i = 0; i < open + checked; ++i) {
      ChecklistItem item("Punkt", 1024.0 * (i + 1), kWednesday);
      item.isChecked = i < checked;
      item.card = owner.id;
      context->insert(std::move(item));
    }
  }
  WeekPlanner::Summary run(Date now, double capacity = 3, bool weekend = false,
                           bool ideas = false) {
    return WeekPlanner::planCurrentWeek(
        *context, Configuration(capacity, weekend, ideas), now, calendar);
  }
};

TEST_F(WeekPlannerTest, PlanningDaysRunToTheEndOfTheMondayFirstWeek) {
  Calendar monday = calendar;
  monday.setFirstWeekday(2);
  const std::string mo =
      "Mo. 17.03.,Di. 18.03.,Mi. 19.03.,Do. 20.03.,Fr. 21.03.";
  const std::vector<std::tuple<Date, bool, std::string>> rows = {
      {at(3, 12, 11), false, "Mi. 12.03.,Do. 13.03.,Fr. 14.03."},
      {at(3, 12, 11), true,
       "Mi. 12.03.,Do. 13.03.,Fr. 14.03.,Sa. 15.03.,So. 16.03."},
      {at(3, 15, 10), false, mo},
      {at(3, 15, 10), true, "Sa. 15.03.,So. 16.03."},
      {at(3, 16, 23), false, mo},
      {at(3, 10, 0), false,
       "Mo. 10.03.,Di. 11.03.,Mi. 12.03.,Do. 13.03.,Fr. 14.03."},
      {at(3, 14, 23, 59), false, "Fr. 14.03."},
      // The weeks in which the clocks go forward and back.
      {at(3, 28, 10), true, "Fr. 28.03.,Sa. 29.03.,So. 30.03."},
      {at(10, 26, 12), true, "So. 26.10."},
  };
  for (const auto &[now, weekend, expected] : rows) {
    std::string names;
    for (Date d : WeekPlanner::planningDays(now, monday,
                                            Configuration(3, weekend, false))) {
      names += (names.empty() ? "" : ",") + day(d);
      EXPECT_EQ(d, calendar.startOfDay(d)) << stamp(now);
    }
    EXPECT_EQ(names, expected) << stamp(now) << " weekend " << weekend;
  }
}

TEST_F(WeekPlannerTest, WeeksRunMondayToSundayWhateverTheUsersCalendarSays) {
  Calendar sundayFirst("Europe/Berlin", "en_US");
  card("A");
  auto summary = WeekPlanner::planCurrentWeek(
      *context, Configuration(3, true, false), at(3, 16, 10), sundayFirst);
  EXPECT_EQ(day(summary.firstDay), "So. 16.03.");
  EXPECT_EQ(day(summary.lastDay), "So. 16.03.");
  EXPECT_EQ(summary.plannedCount, 1);
}

// Each scenario plans a fresh store; cards are given as title, priority,
// due date and open/checked checklist items, and the expected days follow
// the order of the cards.
TEST_F(WeekPlannerTest, DaysFollowOrderWeightCapacityAndDueDates) {
  struct Spec {
    std::string title;
    Priority priority;
    std::optional<Date> due;
    int open, checked;
    Spec(std::string title, Priority priority = Priority::urgent,
         std::optional<Date> due = std::nullopt, int open = 0, int checked = 0)
        : title(std::move(title)), priority(priority), due(due), open(open),
          checked(checked) {}
  };
  struct Scenario {
    std::string name;
    Date now;
    double capacity;
    std::vector<Spec> cards;
    std::vector<std::string> expected;
  };
  const Priority urgent = Priority::urgent, medium = Priority::medium,
                 low = Priority::low;
  const std::string mi = "Mi. 12.03.", dO = "Do. 13.03.", fr = "Fr. 14.03.";
  const std::vector<Scenario> scenarios = {
      {"three a day",
       kWednesday,
       3,
       {{"A"}, {"B"}, {"C"}, {"D"}},
       {mi, mi, mi, dO}},
      {"two open items weigh 1",
       kWednesday,
       3,
       {{"A", urgent, {}, 2, 5}, {"B", urgent, {}, 2, 5}, {"C"}},
       {mi, mi, mi}},
      {"four open items weigh 1.5",
       kWednesday,
       3,
       {{"A", urgent, {}, 4, 2}, {"B", urgent, {}, 4, 2}, {"C"}},
       {mi, mi, dO}},
      {"five weigh 1.75",
       kWednesday,
       3,
       {{"A", urgent, {}, 5}, {"B", urgent, {}, 5}, {"C"}},
       {mi, dO, mi}},
      {"ten weigh 2",
       kWednesday,
       3,
       {{"A", urgent, {}, 10}, {"B", urgent, {}, 10}, {"C"}},
       {mi, dO, mi}},
      {"minimum capacity: heavy only when due",
       kWednesday,
       0.2,
       {{"Schwer", urgent, {}, 4}, {"Fällig", medium, at(3, 13, 17), 4}},
       {"-", dO}},
      {"overdue onto a full first day",
       kWednesday,
       1,
       {{"A", medium, at(3, 3, 17)}, {"B", low, at(3, 10, 17)}, {"C"}},
       {mi, mi, dO}},
      {"due Thursday never on Friday",
       at(3, 10, 8),
       1,
       {{"B 1", medium, at(3, 13, 17)},
        {"B 2", medium, at(3, 13, 17)},
        {"B 3", medium, at(3, 13, 17)},
        {"B 4", medium, at(3, 13, 17)},
        {"B 5", medium, at(3, 13, 17)}},
       {"Mo. 10.03.", "Di. 11.03.", mi, dO, dO}},
      {"due deadline before distant deadline",
       kWednesday,
       1,
       {{"A später", urgent, at(4, 2, 17)}, {"Z bald", low, at(3, 14, 17)}},
       {dO, mi}},
      {"due just before the horizon",
       kWednesday,
       1,
       {{"A"}, {"Z", low, at(3, 14, 23, 59)}},
       {dO, mi}},
      {"titles in natural order, case ignored",
       at(3, 14, 10),
       1,
       {{"Aufgabe 10"}, {"aufgabe 2"}},
       {"-", fr}},
      {"only sixty candidates", kWednesday, kInf, {}, {}},
  };
  for (auto scenario : scenarios) {
    if (scenario.name == "only sixty candidates")
      for (int i = 61; i >= 1; --i) {
        scenario.cards.push_back({"Karte " + std::to_string(i)});
        scenario.expected.push_back(i == 61 ? "-" : mi);
      }
    freshStore();
    std::vector<Card *> cards;
    for (const auto &spec : scenario.cards) {
      cards.push_back(&card(spec.title, spec.priority, spec.due));
      checklist(*cards.back(), spec.open, spec.checked);
    }
    const auto summary = run(scenario.now, scenario.capacity);
    std::vector<std::string> days;
    int planned = 0;
    for (const Card *c : cards) {
      days.push_back(day(c->plannedDate));
      planned += c->plannedDate.has_value();
      if (c->plannedDate) {
        EXPECT_EQ(calendar.components(*c->plannedDate).hour, 9) << c->title;
      }
    }
    EXPECT_EQ(days, scenario.expected) << scenario.name;
    EXPECT_EQ(summary.plannedCount, planned) << scenario.name;
  }
}

TEST_F(WeekPlannerTest, OnlyPressingOrFlaggedOpenCardsArePlanned) {
  Plan &p = plan("Haus");
  Bucket &b = bucket(p, "Zu erledigen", 1024);
  Card &withGoal = card("Mit Ziel", Priority::medium, {}, &b);
  Goal g("Renovieren", 1024, kWednesday);
  g.plan = p.id;
  g.targetDate = at(5, 1, 12);
  context->addGoal(withGoal, context->insert(std::move(g)));
  Card &myDay = card("Mein Tag", Priority::low);
  myDay.isOnMyDay = true;
  Card &idea = card("Idee", Priority::low);
  idea.isIdeaTask = true;
  Card &archived = card("Archiviert");
  archived.isArchived = true;
  Card &done = card("Erledigt");
  done.percentComplete = 100;
  Card &urgent = card("Dringend"),
       &important = card("Wichtig", Priority::important);
  Card &medium = card("Mittel", Priority::medium),
       &low = card("Niedrig", Priority::low);

  EXPECT_EQ(run(kWednesday, 10).plannedCount, 5);
  for (const Card *c : {&withGoal, &myDay, &idea, &urgent, &important})
    EXPECT_EQ(day(c->plannedDate), "Mi. 12.03.") << c->title;
  for (const Card *c : {&archived, &done, &medium, &low})
    EXPECT_EQ(day(c->plannedDate), "-") << c->title;
}

TEST_F(WeekPlannerTest, RunsReplaceFuturePlansAndKeepPastOnes) {
  Card &past = card("Vergangen", Priority::medium);
  past.plannedDate = at(3, 11, 9);
  Card &midnight = card("Heute 0 Uhr", Priority::medium);
  midnight.plannedDate = at(3, 12, 0);
  Card &future = card("Zukunft", Priority::medium);
  future.plannedDate = at(3, 20, 9);
  Card &archived = card("Archiv", Priority::medium);
  archived.isArchived = true;
  archived.plannedDate = at(3, 14, 9);
  Card &a = card("A"), &b = card("B"), &c = card("C");

  EXPECT_EQ(run(kWednesday, 1).plannedCount, 3);
  EXPECT_EQ(day(c.plannedDate), "Fr. 14.03.");
  a.setPriority(Priority::medium);
  EXPECT_EQ(run(kWednesday, 1).plannedCount, 2);
  EXPECT_EQ(day(a.plannedDate), "-");
  EXPECT_EQ(day(b.plannedDate), "Mi. 12.03.");
  EXPECT_EQ(day(c.plannedDate), "Do. 13.03.");
  EXPECT_EQ(stamp(*past.plannedDate), "2025-03-11 09:00");
  EXPECT_FALSE(midnight.plannedDate);
  EXPECT_FALSE(future.plannedDate);
  EXPECT_EQ(stamp(*archived.plannedDate), "2025-03-14 09:00");

  // The run saved itself: a new context sees the plan.
  const UUID id = b.id;
  context.reset();
  context = store.context();
  EXPECT_EQ(stamp(*context->card(id)->plannedDate), "2025-03-12 09:00");
}

TEST_F(WeekPlannerTest, ClaudeProjectBucketsGetOneCardADay) {
  Plan &p = plan("Assistent", true);
  Bucket &first = bucket(p, "Backlog", 1024);
  Bucket &second = bucket(p, "Doing", 2048);
  Card &a = card("A", Priority::urgent, {}, &first);
  Card &b = card("B", Priority::urgent, {}, &first);
  Card &c = card("C", Priority::urgent, {}, &second);
  Card &d = card("D", Priority::urgent, {}, &first);
  EXPECT_EQ(run(kWednesday, 1).plannedCount, 4);
  EXPECT_EQ(day(a.plannedDate), "Mi. 12.03.");
  EXPECT_EQ(day(b.plannedDate), "Do. 13.03.");
  EXPECT_EQ(day(c.plannedDate), "Mi. 12.03."); // 0.5 + 0.5 fit capacity 1
  EXPECT_EQ(day(d.plannedDate), "Fr. 14.03.");
}

TEST_F(WeekPlannerTest, IdeaTasksGoIntoEmptyLaterBucketsOfClaudeProjects) {
  Plan &p = plan("Assistent", true);
  bucket(p, "Eingang", 1024);
  Bucket &empty = bucket(p, "Ideen", 2048);
  empty.colorHex = "#0078D4";
  Bucket &busy = bucket(p, "Doing", 3072);
  Bucket &finished = bucket(p, "Fertig", 4096);
  card("Offen", Priority::medium, {}, &busy).sortOrder = 5000;
  Card &archived = card("Alt", Priority::medium, {}, &empty);
  archived.isArchived = true;
  archived.sortOrder = 9000;
  card("Erledigt", Priority::medium, {}, &finished).percentComplete = 100;
  Plan &other = plan("Privat");
  bucket(other, "Eingang", 1024);
  bucket(other, "Leer", 2048);

  auto summary = run(kWednesday, 3, false, true);
  EXPECT_EQ(summary.ideaTasksCreated, 2);
  std::map<std::string, Card *> ideas;
  for (Card *c : context->fetchCards())
    if (c->isIdeaTask)
      ideas[c->title] = c;
  ASSERT_EQ(ideas.size(), 2u);
  Card *idea = ideas.at("Feature-Ideen sammeln: Ideen");
  EXPECT_EQ(idea->notes,
            "Automatisch angelegt: Dieses Projekt hat gerade keine offenen "
            "Aufgaben. Zeit für ein kurzes Brainstorming — neue Features, "
            "Verbesserungen, Bugs, Ideen aus der Nutzung.");
  EXPECT_EQ(idea->priorityRaw, 9);
  EXPECT_EQ(idea->sortOrder, 10024);
  EXPECT_EQ(idea->colorHex, std::optional<std::string>("#0078D4"));
  EXPECT_EQ(idea->bucket, std::optional<UUID>(empty.id));
  EXPECT_EQ(idea->plan, std::optional<UUID>(p.id));
  Card *second = ideas.at("Feature-Ideen sammeln: Fertig");
  EXPECT_EQ(second->sortOrder, 11048);
  EXPECT_FALSE(second->colorHex);
  // Planned in the same run.
  EXPECT_EQ(summary.plannedCount, 2);
  EXPECT_EQ(day(idea->plannedDate), "Mi. 12.03.");
  EXPECT_EQ(day(second->plannedDate), "Mi. 12.03.");

  EXPECT_EQ(run(kWednesday, 3, false, true).ideaTasksCreated, 0);
}

TEST_F(WeekPlannerTest, PlannedHourStaysNineAcrossClockChanges) {
  // Capacity 1 with weekends from Friday: Friday, Saturday, Sunday; the
  // Sunday is the day the clocks change.
  const std::vector<std::pair<Date, double>> rows = {
      {at(3, 28, 8), 8},   // 09:00 CEST is 8 hours after midnight CET
      {at(10, 24, 8), 10}, // 09:00 CET is 10 hours after midnight CEST
  };
  for (const auto &[now, sundayHours] : rows) {
    freshStore();
    Card &a = card("A"), &b = card("B"), &c = card("C");
    run(now, 1, true);
    for (const Card *x : {&a, &b, &c})
      ASSERT_TRUE(x->plannedDate) << stamp(now);
    EXPECT_EQ(calendar.format(*a.plannedDate, "EEE HH:mm"), "Fr. 09:00");
    EXPECT_EQ(calendar.format(*b.plannedDate, "EEE HH:mm"), "Sa. 09:00");
    EXPECT_EQ(calendar.format(*c.plannedDate, "EEE HH:mm"), "So. 09:00");
    EXPECT_EQ(*c.plannedDate - calendar.startOfDay(*c.plannedDate),
              sundayHours * 3600)
        << stamp(now);
  }
}

TEST(WeekPlannerConfiguration, CapacityIsAtLeastOne) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (auto [given, expected] :
       std::vector<std::pair<double, double>>{{2.5, 2.5},
                                              {1, 1},
                                              {0.5, 1},
                                              {-7, 1},
                                              {-kInf, 1},
                                              {nan, 1},
                                              {kInf, kInf},
                                              {1e300, 1e300}})
    EXPECT_EQ(Configuration(given, false, false).dailyCapacity, expected)
        << given;
}

TEST(WeekPlannerCandidate, OrderDecidesByDueDeadlineDeadlinePriorityTitle) {
  std::deque<Card> cards; // stable addresses for the candidates
  auto make = [&](int i, bool due, std::optional<Date> deadline, int rank,
                  std::string title) {
    Card &card = cards.emplace_back();
    card.id = std::to_string(i);
    card.title = std::move(title);
    Candidate c;
    c.card = &card;
    c.hasDueDeadline = due;
    c.deadline = deadline;
    c.priorityRank = rank;
    return c;
  };
  const std::nullopt_t none = std::nullopt;
  // a, b, whether a comes first, whether b comes first
  const std::vector<std::tuple<Candidate, Candidate, bool, bool>> rows = {
      {make(0, true, 500, 3, "Z"), make(1, false, 100, 0, "A"), true, false},
      {make(0, false, 100, 3, "Z"), make(1, false, 200, 0, "A"), true, false},
      {make(0, false, 100, 3, "Z"), make(1, false, none, 0, "A"), true, false},
      {make(0, false, none, 3, "A"), make(1, false, none, 2, "Z"), false, true},
      {make(0, true, 1, 1, "apfel"), make(1, true, 1, 1, "Birne"), true, false},
      {make(0, true, 1, 1, "Gleich"), make(1, true, 1, 1, "gleich"), false,
       false},
  };
  text::NaturalOrder titles;
  for (const auto &[a, b, aFirst, bFirst] : rows) {
    const std::string pair = a.card->title + " / " + b.card->title;
    EXPECT_EQ(WeekPlanner::comesBefore(a, b, titles), aFirst) << pair;
    EXPECT_EQ(WeekPlanner::comesBefore(b, a, titles), bFirst) << pair;
    EXPECT_FALSE(a == b) << pair;
  }
}

} // namespace
} // namespace taskory
