#include "KanbanCore/WeekPlanner.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string_view>
#include <tuple>

namespace taskory {
namespace {

using WeekPlanner::Configuration;
constexpr Date kWednesday = test::TestStore::kNow; // 11:00 in Berlin
const Priority U = Priority::urgent, M = Priority::medium, L = Priority::low;

// The candidate a loaded card makes, computed from its own fields and its
// goals: the reference for what the store reads without loading the card.
WeekPlanner::Candidate candidateOf(Card &card, Date horizonEnd,
                                   ModelContext &context) {
  auto usable = [](std::optional<Date> date) {
    return date && !std::isnan(*date) ? date : std::nullopt;
  };
  WeekPlanner::Candidate c;
  c.card = &card;
  c.title = card.title;
  c.deadline = usable(card.dueDate);
  for (const Goal *goal : context.goals(card))
    if (const auto target = usable(goal->targetDate);
        target && (!c.deadline || *target < *c.deadline))
      c.deadline = target;
  c.hasDueDeadline = usable(card.dueDate) && *card.dueDate < horizonEnd;
  c.priorityRank = priorityIndex(card.priority());
  return c;
}

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
  Card &card(std::string title, Priority priority = U, Bucket *in = nullptr) {
    Card &c = in ? seed->card(*in, std::move(title))
                 : seed->card(nullptr, std::move(title));
    c.setPriority(priority);
    return c;
  }
  int64_t run(Date now, double capacity = 3, bool weekend = false) {
    return WeekPlanner::planCurrentWeek(
               *context, Configuration(capacity, weekend, false), now, calendar)
        .plannedCount;
  }
};

// Each scenario plans a fresh store. A card is
// "Title[!P][@D][/open/checked]": priority M or L (default U), due on 13
// March 17:00.
TEST_F(WeekPlannerTest, DaysFollowOrderWeightCapacityAndDueDates) {
  const std::vector<std::tuple<Date, double, std::string, std::string>> rows = {
      {kWednesday, 3, "A B C D", "Mi. Mi. Mi. Do."},
      {kWednesday, 3, "A/2/5 B/2/5 C", "Mi. Mi. Mi."}, // two open weigh 1
      {kWednesday, 3, "A/5/0 B/5/0 C", "Mi. Do. Mi."}, // five weigh 1.75
      {kWednesday, 0.2, "Schwer/4/0 Fällig!M@13/4/0", "- Do."},
      {kWednesday, 1, "A!M@3 B!L@10 C", "Mi. Mi. Do."}, // overdue first
      {at(3, 10, 8), 1, "B1!M@13 B2!M@13 B3!M@13 B4!M@13 B5!M@13",
       "Mo. Di. Mi. Do. Do."}, // never after the due day
      {at(3, 14, 10), 1, "Aufgabe10 aufgabe2", "- Fr."}, // natural order
  };
  for (const auto &[now, capacity, specs, expected] : rows) {
    freshStore();
    std::vector<Card *> cards;
    std::istringstream in(specs);
    for (std::string spec; in >> spec;) {
      std::size_t end = spec.find_first_of("!@/");
      Card &c = card(spec.substr(0, end));
      for (int slashes = 0; end < spec.size();) {
        const std::size_t next = spec.find_first_of("!@/", end + 1);
        const std::string arg = spec.substr(end + 1, next - end - 1);
        if (spec[end] == '!')
          c.setPriority(arg == "M" ? M : L);
        else if (spec[end] == '@')
          c.dueDate = at(3, std::stoi(arg), 17);
        else
          for (int i = std::stoi(arg), checked = slashes++; i > 0; --i)
            seed->item(c, "Punkt", checked);
        end = next;
      }
      cards.push_back(&c);
    }
    const int64_t planned = run(now, capacity);
    std::string days;
    for (const Card *c : cards) {
      days += (days.empty() ? "" : " ") +
              (c->plannedDate ? calendar.format(*c->plannedDate, "EEE") : "-");
      EXPECT_EQ(c->plannedDate ? calendar.components(*c->plannedDate).hour : 9,
                9)
          << c->title;
    }
    EXPECT_EQ(days, expected) << specs;
    EXPECT_EQ(planned, static_cast<int64_t>(cards.size()) -
                           std::count(days.begin(), days.end(), '-'))
        << specs;
  }
  freshStore(); // only sixty candidates per run
  for (int i = 1; i <= 61; ++i)
    card("Karte " + std::to_string(i));
  EXPECT_EQ(run(kWednesday, std::numeric_limits<double>::infinity()), 60);
}

// A run plans only pressing or flagged open cards, clears plans from today on
// (its own earlier ones too) and keeps past ones and those of archived cards.
TEST_F(WeekPlannerTest, OnlyPressingOrFlaggedCardsReplaceFuturePlans) {
  Goal &goal = seed->goal(seed->plan("Haus"), "Renovieren");
  goal.targetDate = at(5, 1, 12);
  seed->tag(card("Ziel", M), goal);
  card("Tag", L).isOnMyDay = true;
  card("Idee", L).isIdeaTask = true;
  Card &archived = card("Archiv");
  archived.isArchived = true;
  archived.plannedDate = at(3, 14, 9);
  card("Fertig").percentComplete = 100;
  card("Dringend");
  Card &important = card("Wichtig", Priority::important);
  card("Mittel", M).plannedDate = at(3, 20, 9);
  card("Niedrig", L).plannedDate = at(3, 11, 9);
  card("Mitternacht", L).plannedDate = at(3, 12, 0);
  EXPECT_EQ(run(kWednesday, 10), 5);
  important.setPriority(M);
  EXPECT_EQ(run(kWednesday, 10), 4);
  seed.reset();
  context.reset(); // the run saved itself: a new context sees the plans
  context = store.context();
  std::string plans;
  for (const Card *c : context->fetchAll<Card>())
    plans += c->title + " " + day(c->plannedDate) + ", ";
  EXPECT_EQ(plans, "Ziel Mi. 12.03., Tag Mi. 12.03., Idee Mi. 12.03., Archiv "
                   "Fr. 14.03., Fertig -, Dringend Mi. 12.03., Wichtig -, "
                   "Mittel -, Niedrig Di. 11.03., Mitternacht -, ");
}

TEST_F(WeekPlannerTest, ClaudeProjectsGetOneCardPerBucketADayAndIdeaTasks) {
  Plan &p = seed->plan("Assistent");
  p.isClaudeProject = true;
  Bucket &first = seed->bucket(p, "Backlog");
  Bucket &empty = seed->bucket(p, "Ideen", "#0078D4");
  Card &a = card("A", U, &first), &b = card("B", U, &first);
  Card &old = card("Alt", M, &empty);
  old.isArchived = true;
  auto ideas = [&] {
    return WeekPlanner::planCurrentWeek(*context, {3, false, true}, kWednesday,
                                        calendar)
        .ideaTasksCreated;
  };
  EXPECT_EQ(ideas(), 1);
  EXPECT_EQ(day(a.plannedDate) + day(b.plannedDate), "Mi. 12.03.Do. 13.03.")
      << "one a day per bucket";
  Card *idea = context->fetchAll<Card>().back();
  EXPECT_EQ(idea->notes,
            "Automatisch angelegt: Dieses Projekt hat gerade keine offenen "
            "Aufgaben. Zeit für ein kurzes Brainstorming — neue Features, "
            "Verbesserungen, Bugs, Ideen aus der Nutzung.");
  EXPECT_EQ(std::to_string(idea->priorityRaw) + idea->colorHex.value_or(""),
            "9#0078D4");
  EXPECT_EQ(idea->sortOrder, old.sortOrder + 1024) << "after the archived card";
  EXPECT_EQ(ideas(), 0);
}

// The store hands the planner only the rows that can make the cut, with the
// keys it orders them by. Over a board full of ties (dates, priorities,
// titles), the head of the order of every open card must be among those rows,
// with the keys the card itself gives, whatever the horizon.
TEST_F(WeekPlannerTest, StoreCandidatesHoldTheHeadOfTheFullOrder) {
  Plan &plan = seed->plan("P");
  Goal &early = seed->goal(plan, "früh"), &late = seed->goal(plan, "spät");
  early.targetDate = at(3, 13, 12);
  late.targetDate = at(3, 30);
  Goal &undated = seed->goal(plan, "offen");
  const Date dues[] = {at(3, 10, 17), at(3, 13, 17), at(3, 14, 17),
                       at(3, 20, 17), at(4, 2, 17)};
  const Priority priorities[] = {U, Priority::important, M, L};
  std::mt19937 random(5);
  for (int i = 0; i < 200; ++i) {
    Card &c = card("Karte " + std::to_string(random() % 40),
                   priorities[random() % 4]);
    if (random() % 2)
      c.dueDate = dues[random() % 5];
    if (random() % 5 == 0)
      seed->tag(c, random() % 3 == 0 ? undated : random() % 2 ? early : late);
    c.isIdeaTask = random() % 10 == 0;
    c.isOnMyDay = random() % 10 == 0;
    c.percentComplete = random() % 8 == 0 ? 100 : 0;
    c.isArchived = random() % 9 == 0;
  }

  const text::NaturalOrder titles;
  auto order = [&](std::vector<WeekPlanner::Candidate> &list) {
    std::stable_sort(list.begin(), list.end(), [&](auto &a, auto &b) {
      return WeekPlanner::comesBefore(a, b, titles);
    });
  };
  for (const Date horizonEnd : {at(3, 15), at(3, 22)}) {
    std::vector<WeekPlanner::Candidate> all;
    for (Card *c : context->fetchAll<Card>()) {
      if (c->isArchived || c->percentComplete >= 100)
        continue;
      WeekPlanner::Candidate x = candidateOf(*c, horizonEnd, *context);
      if (x.deadline || x.priorityRank < 2 || c->isIdeaTask || c->isOnMyDay)
        all.push_back(x);
    }
    order(all);
    for (std::size_t n : {1u, 7u, 40u, 500u}) {
      auto rows = BoardQueries(*context).planningCandidates(n);
      std::sort(rows.begin(), rows.end(),
                [](auto &a, auto &b) { return a.rowid < b.rowid; });
      std::vector<WeekPlanner::Candidate> found;
      for (const auto &row : rows) {
        found.push_back(
            candidateOf(*context->card(row.id), horizonEnd, *context));
        const WeekPlanner::Candidate &x = found.back();
        EXPECT_EQ(row.deadline, x.deadline) << row.title;
        EXPECT_EQ(row.due && *row.due < horizonEnd, x.hasDueDeadline);
        EXPECT_EQ(row.priorityRank, x.priorityRank) << row.title;
      }
      order(found);
      const std::size_t head = std::min(n, all.size());
      ASSERT_GE(found.size(), head) << n;
      for (std::size_t i = 0; i < head; ++i)
        EXPECT_EQ(found[i].card, all[i].card)
            << "place " << i << " of " << n << ": " << found[i].card->title
            << " instead of " << all[i].card->title;
    }
  }
}

// Each row: a candidate that must come before the other, and never the
// other way round (the order is strict).
TEST(WeekPlannerCandidates, OrderIsDueThenDeadlineThenPriorityThenTitle) {
  auto candidate = [](std::string title, bool due, std::optional<Date> deadline,
                      int64_t rank) {
    WeekPlanner::Candidate c;
    c.title = std::move(title);
    c.hasDueDeadline = due;
    c.deadline = deadline;
    c.priorityRank = rank;
    return c;
  };
  struct Case {
    std::string_view what;
    WeekPlanner::Candidate before, after;
  };
  const Case cases[] = {
      {"a due deadline beats any other", candidate("Aufgabe 10", true, 900, 3),
       candidate("Aufgabe 2", false, 100, 0)},
      {"the earlier deadline", candidate("Aufgabe 10", true, 100, 3),
       candidate("Aufgabe 2", true, 200, 0)},
      {"a deadline before none", candidate("Aufgabe 10", false, 900, 3),
       candidate("Aufgabe 2", false, std::nullopt, 0)},
      {"the higher priority", candidate("Aufgabe 10", false, 100, 0),
       candidate("Aufgabe 2", false, 100, 1)},
      {"titles in natural order",
       candidate("Aufgabe 2", false, std::nullopt, 2),
       candidate("Aufgabe 10", false, std::nullopt, 2)},
  };
  const text::NaturalOrder titles;
  for (const Case &c : cases) {
    EXPECT_TRUE(WeekPlanner::comesBefore(c.before, c.after, titles)) << c.what;
    EXPECT_FALSE(WeekPlanner::comesBefore(c.after, c.before, titles)) << c.what;
    EXPECT_FALSE(WeekPlanner::comesBefore(c.before, c.before, titles))
        << c.what << ": never before itself";
  }
}

} // namespace
} // namespace taskory
