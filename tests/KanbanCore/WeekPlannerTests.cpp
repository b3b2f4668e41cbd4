#include "KanbanCore/WeekPlanner.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Text.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string_view>

namespace taskory {
namespace {

constexpr Date kWednesday = test::TestStore::kNow; // 11:00 in Berlin
const Priority U = Priority::urgent, M = Priority::medium, L = Priority::low;

// The candidate a loaded card makes, computed from its own fields and its
// goals: the reference for what the store reads without loading the card.
WeekPlanner::Candidate candidateOf(Card &card, Date horizonEnd,
                                   ModelContext &context) {
  auto usable = [](std::optional<Date> date) {
    return date && !std::isnan(*date) ? date : std::nullopt;
  };
  WeekPlanner::Candidate c{&card, card.title, usable(card.dueDate)};
  for (const Goal *goal : context.goals(card))
    if (const auto target = usable(goal->targetDate);
        target && (!c.deadline || *target < *c.deadline))
      c.deadline = target;
  c.hasDueDeadline = usable(card.dueDate) && *card.dueDate < horizonEnd;
  c.priorityRank = priorityIndex(card.priority());
  return c;
}

class WeekPlannerTest : public test::SeededTest {
protected:
  const Calendar &calendar = store.calendar;

  Date at(int month, int day, int hour = 0) const {
    return calendar.date(2025, month, day, hour).value();
  }
  std::string day(std::optional<Date> date) const {
    return date ? calendar.format(*date, "EEE dd.MM.") : "-";
  }
  Card &card(std::string title, Priority priority = U, Bucket *in = nullptr) {
    Card &c = in ? seed->card(*in, std::move(title))
                 : seed->card(nullptr, std::move(title));
    c.setPriority(priority);
    return c;
  }
  int64_t run(Date now, double capacity = 3, bool weekend = false) {
    return WeekPlanner::planCurrentWeek(
               *context, WeekPlanner::Configuration(capacity, weekend, false),
               now, calendar)
        .plannedCount;
  }
};

// A card a planning scenario starts with: urgent, undated and without a
// checklist unless it says otherwise.
struct NewCard {
  std::string title = "";
  Priority priority = U;
  int dueOnMarch = 0; // at 17:00; 0 for none
  int open = 0, checked = 0;
};

class WeekPlannerDays : public WeekPlannerTest {
protected:
  // The weekday each card got on a fresh store, "-" for none; every plan
  // lands at 9:00 and the run counts exactly the cards it planned.
  std::vector<std::string> days(const std::vector<NewCard> &start, Date now,
                                double capacity) {
    seed.reset();
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    reopen();
    std::vector<Card *> cards;
    for (const NewCard &s : start) {
      Card &c = *cards.emplace_back(&card(s.title, s.priority));
      if (s.dueOnMarch)
        c.dueDate = at(3, s.dueOnMarch, 17);
      for (int i = 0; i < s.open + s.checked; ++i)
        seed->item(c, "Punkt", i >= s.open);
    }
    const int64_t planned = run(now, capacity);
    std::vector<std::string> days;
    for (const Card *c : cards) {
      days.push_back(c->plannedDate ? calendar.format(*c->plannedDate, "EEE")
                                    : "-");
      EXPECT_EQ(c->plannedDate ? calendar.components(*c->plannedDate).hour : 9,
                9)
          << c->title;
    }
    EXPECT_EQ(planned, std::count_if(days.begin(), days.end(),
                                     [](auto &d) { return d != "-"; }));
    return days;
  }
  using Days = std::vector<std::string>;
};

TEST_F(WeekPlannerDays, CardsFillTodayUpToTheCapacityThenTheNextDay) {
  EXPECT_EQ(days({{"A"}, {"B"}, {"C"}, {"D"}}, kWednesday, 3),
            (Days{"Mi.", "Mi.", "Mi.", "Do."}));
}

TEST_F(WeekPlannerDays, OpenChecklistItemsMakeACardHeavier) {
  EXPECT_EQ(days({{.title = "A", .open = 2, .checked = 5},
                  {.title = "B", .open = 2, .checked = 5},
                  {"C"}},
                 kWednesday, 3),
            (Days{"Mi.", "Mi.", "Mi."}))
      << "two open items weigh 1";
  EXPECT_EQ(days({{.title = "A", .open = 5}, {.title = "B", .open = 5}, {"C"}},
                 kWednesday, 3),
            (Days{"Mi.", "Do.", "Mi."}))
      << "five open items weigh 1.75";
}

TEST_F(WeekPlannerDays, ACardDueThisWeekIsPlannedEvenWhenItDoesNotFit) {
  EXPECT_EQ(days({{.title = "Schwer", .open = 4}, {"Fällig", M, 13, 4}},
                 kWednesday, 0.2),
            (Days{"-", "Do."}));
}

TEST_F(WeekPlannerDays, OverdueCardsGoOnTodayFirst) {
  EXPECT_EQ(days({{"A", M, 3}, {"B", L, 10}, {"C"}}, kWednesday, 1),
            (Days{"Mi.", "Mi.", "Do."}));
}

TEST_F(WeekPlannerDays, NoCardIsPlannedAfterItsDueDay) {
  std::vector<NewCard> dueThursday;
  for (int i = 1; i <= 5; ++i)
    dueThursday.push_back({"B" + std::to_string(i), M, 13});
  EXPECT_EQ(days(dueThursday, at(3, 10, 8), 1),
            (Days{"Mo.", "Di.", "Mi.", "Do.", "Do."}))
      << "five due Thursday, one a day from Monday";
}

TEST_F(WeekPlannerDays, FromSaturdayWithoutTheWeekendTheNextWeekIsPlanned) {
  EXPECT_EQ(days({{"A"}, {"B"}}, at(3, 15, 10), 1), (Days{"Mo.", "Di."}));
}

TEST_F(WeekPlannerTest, ARunPlansAtMostSixtyCards) {
  for (int i = 1; i <= 61; ++i)
    card("Karte " + std::to_string(i));
  EXPECT_EQ(run(kWednesday, std::numeric_limits<double>::infinity()), 60);
}

// Plans from today on are cleared (past ones and those of closed cards stay),
// and every plan set or cleared is journalled, even of cards never loaded.
TEST_F(WeekPlannerTest, OnlyPressingOrFlaggedCardsReplaceFuturePlans) {
  Goal &goal = seed->goal(seed->plan("Haus"), "Renovieren");
  goal.targetDate = at(5, 1, 12);
  seed->tag(card("Ziel", M), goal);
  card("Tag", L).isOnMyDay = true;
  card("Idee", L).isIdeaTask = true;
  Card &archived = card("Archiv");
  archived.isArchived = true;
  archived.plannedDate = at(3, 14, 9);
  Card &done = card("Fertig");
  done.percentComplete = 100;
  done.plannedDate = at(3, 13, 9);
  card("Dringend");
  Card &important = card("Wichtig", Priority::important);
  card("Mittel", M).plannedDate = at(3, 20, 9);
  card("Niedrig", L).plannedDate = at(3, 11, 9);
  card("Mitternacht", L).plannedDate = at(3, 12, 0);
  context->save(kWednesday);
  EXPECT_EQ(run(kWednesday, 10), 5);
  EXPECT_EQ(
      store.raw().text(
          "SELECT group_concat(title, ' ') FROM (SELECT title FROM Card WHERE "
          "id IN "
          "(SELECT entityID FROM StoreChange WHERE txn = 2) ORDER BY rowid)"),
      "Ziel Tag Idee Dringend Wichtig Mittel Mitternacht");
  important.setPriority(M);
  EXPECT_EQ(run(kWednesday, 10), 4);
  reopen(); // the run saved itself: a new context sees the plans
  std::string plans;
  for (const Card *c : context->fetchAll<Card>())
    plans += c->title + " " + day(c->plannedDate) + ", ";
  EXPECT_EQ(plans, "Ziel Mi. 12.03., Tag Mi. 12.03., Idee Mi. 12.03., Archiv "
                   "Fr. 14.03., Fertig Do. 13.03., "
                   "Dringend Mi. 12.03., Wichtig -, Mittel -, Niedrig Di. "
                   "11.03., Mitternacht -, ");
}

class ClaudeProjectWeek : public WeekPlannerTest {
protected:
  Plan &project = [this]() -> Plan & {
    Plan &p = seed->plan("Assistent");
    p.isClaudeProject = true;
    return p;
  }();
  int64_t ideaTasksCreated() {
    return WeekPlanner::planCurrentWeek(*context, {3, false, true}, kWednesday,
                                        calendar)
        .ideaTasksCreated;
  }
};

TEST_F(ClaudeProjectWeek, EachBucketGetsOneCardADay) {
  Bucket &backlog = seed->bucket(project, "Backlog");
  Card &a = card("A", U, &backlog), &b = card("B", U, &backlog);
  ideaTasksCreated();
  EXPECT_EQ(day(a.plannedDate) + ", " + day(b.plannedDate),
            "Mi. 12.03., Do. 13.03.");
}

TEST_F(ClaudeProjectWeek, ABucketWithNothingOpenGetsOneIdeaTask) {
  seed->bucket(project, "Backlog");
  card("A", U, &seed->bucket(project, "Laufend"));
  Bucket &empty = seed->bucket(project, "Ideen", "#0078D4");
  Card &old = card("Alt", M, &empty);
  old.isArchived = true;
  EXPECT_EQ(ideaTasksCreated(), 1)
      << "not the first bucket, nor one with an open card";
  Card *idea = context->fetchAll<Card>().back();
  EXPECT_EQ(idea->notes, "Automatisch angelegt: Dieses Projekt hat gerade "
                         "keine offenen Aufgaben. Zeit für ein "
                         "kurzes Brainstorming — neue Features, "
                         "Verbesserungen, Bugs, Ideen aus der Nutzung.");
  EXPECT_EQ(idea->priorityRaw, 9);
  EXPECT_EQ(idea->colorHex.value_or(""), "#0078D4");
  EXPECT_EQ(idea->sortOrder, old.sortOrder + 1024) << "after the archived card";
  EXPECT_EQ(ideaTasksCreated(), 0) << "the idea task is open now";
}

// Only the project plans are loaded for idea tasks, picked in SQL: that
// must miss no plan whose flag a loaded plan reads as set, whatever another
// program stored.
TEST_F(ClaudeProjectWeek, IdeaTasksGoToThePlansWhoseStoredFlagReadsAsSet) {
  const std::vector<std::pair<std::string, bool>> stored = {
      {"1", true},       {"2", true},      {"-1", true},     {"1.5", true},
      {"9e999", true},   {"0", false},     {"0.5", false},   {"-0.0", false},
      {"1e-300", false}, {"'ja'", false},   {"x'01'", false}};
  std::vector<UUID> ids;
  for (const auto &[value, set] : stored) {
    Plan &plan = seed->plan(value);
    seed->bucket(plan, "Backlog");
    seed->bucket(plan, "Ideen");
    ids.push_back(plan.id);
  }
  context->save(kWednesday);
  for (std::size_t i = 0; i < stored.size(); ++i)
    store.raw().exec("UPDATE Plan SET isClaudeProject = " + stored[i].first +
                     " WHERE id = '" + ids[i] + "'");
  reopen();

  ASSERT_EQ(ideaTasksCreated(), 5);
  std::set<std::string> withIdeas;
  for (Card *card : context->fetchAll<Card>())
    if (card->isIdeaTask)
      withIdeas.insert(context->planOf(*card)->title);
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const auto &[value, set] = stored[i];
    EXPECT_EQ(withIdeas.count(value), set ? 1u : 0u) << "stored " << value;
    EXPECT_EQ(context->plan(ids[i])->isClaudeProject, set)
        << "a loaded plan reads " << value << " otherwise";
  }
}

// The store hands the planner only the rows that can make the cut: over a
// board full of ties they must hold the head of the full order.
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
        const auto &x = found.emplace_back(
            candidateOf(*context->card(row.id), horizonEnd, *context));
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

// Each row: a candidate that comes before the other, never the other way
// round. Equal cards by their titles only here.
TEST(WeekPlannerCandidates, OrderIsDueThenDeadlineThenPriorityThenTitle) {
  auto candidate = [](std::string title, bool due, std::optional<Date> deadline,
                      int64_t rank) {
    return WeekPlanner::Candidate{nullptr, std::move(title), deadline, due,
                                  rank};
  };
  const std::tuple<std::string_view, WeekPlanner::Candidate,
                   WeekPlanner::Candidate>
      cases[] = {{"a due deadline beats any other",
                  candidate("Aufgabe 10", true, 900, 3),
                  candidate("Aufgabe 2", false, 100, 0)},
                 {"the earlier deadline", candidate("Aufgabe 10", true, 100, 3),
                  candidate("Aufgabe 2", true, 200, 0)},
                 {"a deadline before none",
                  candidate("Aufgabe 10", false, 900, 3),
                  candidate("Aufgabe 2", false, std::nullopt, 0)},
                 {"the higher priority", candidate("Aufgabe 10", false, 100, 0),
                  candidate("Aufgabe 2", false, 100, 1)},
                 {"titles in natural order",
                  candidate("Aufgabe 2", false, std::nullopt, 2),
                  candidate("Aufgabe 10", false, std::nullopt, 2)}};
  const text::NaturalOrder titles;
  for (const auto &[what, before, after] : cases) {
    EXPECT_TRUE(WeekPlanner::comesBefore(before, after, titles)) << what;
    EXPECT_FALSE(WeekPlanner::comesBefore(after, before, titles)) << what;
    EXPECT_FALSE(WeekPlanner::comesBefore(before, before, titles))
        << what << ": never before itself";
  }
}

TEST(WeekPlannerWeek, RunsMondayToSundayAcrossDaylightSavingChanges) {
  const Calendar calendar("Europe/Berlin", "de_DE");
  // Clocks go forward on Sunday 30 March and back on Sunday 26 October.
  const std::pair<Date, std::string> cases[] = {
      {*calendar.date(2025, 3, 26, 12),
       "24.03. 25.03. 26.03. 27.03. 28.03. 29.03. 30.03. "},
      {*calendar.date(2025, 3, 30, 23),
       "24.03. 25.03. 26.03. 27.03. 28.03. 29.03. 30.03. "},
      {*calendar.date(2025, 10, 27, 0),
       "27.10. 28.10. 29.10. 30.10. 31.10. 01.11. 02.11. "},
      {*calendar.date(2025, 10, 26, 2),
       "20.10. 21.10. 22.10. 23.10. 24.10. 25.10. 26.10. "}};
  for (const auto &[now, days] : cases) {
    std::string shown;
    for (Date day : WeekPlanner::weekOf(now, calendar))
      shown += calendar.format(day, "dd.MM. ") +
               (calendar.format(day, "HH:mm") == "00:00" ? "" : "(not 00:00) ");
    EXPECT_EQ(shown, days) << calendar.format(now, "yyyy-MM-dd HH:mm");
  }
}

} // namespace
} // namespace taskory
