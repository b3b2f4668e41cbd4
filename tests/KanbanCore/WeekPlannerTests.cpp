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

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace taskory {
namespace {

using WeekPlanner::Candidate;
using WeekPlanner::Configuration;

class WeekPlannerTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  const Calendar &calendar = store.calendar;

  Date local(int month, int day, int hour = 0, int minute = 0) const {
    return calendar.date(2025, month, day, hour, minute).value();
  }
  std::string day(Date date) const {
    return calendar.format(date, "EEE dd.MM.");
  }
  std::string stamp(Date date) const {
    return calendar.format(date, "yyyy-MM-dd HH:mm");
  }

  Plan &plan(std::string title, bool claude = false) {
    Plan p(std::move(title), 1024, TestStoreNow());
    p.isClaudeProject = claude;
    return context->insert(std::move(p));
  }
  Bucket &bucket(Plan &owner, std::string name, double sortOrder) {
    Bucket b(std::move(name), sortOrder, TestStoreNow());
    b.plan = owner.id;
    return context->insert(std::move(b));
  }
  Card &card(std::string title, Priority priority = Priority::urgent,
             Bucket *in = nullptr, std::optional<Date> due = std::nullopt) {
    Card c(std::move(title), 1024, TestStoreNow());
    c.setPriority(priority);
    c.dueDate = due;
    if (in) {
      c.bucket = in->id;
      c.plan = in->plan;
    }
    return context->insert(std::move(c));
  }
  void checklist(Card &owner, int open, int checked = 0) {
    for (int i = 0; i < open + checked; ++i) {
      ChecklistItem item("Punkt " + std::to_string(i), 1024.0 * (i + 1),
                         TestStoreNow());
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
  // Planned day of the card, or "-" when it has none.
  std::string plannedDay(const Card &c) const {
    return c.plannedDate ? day(*c.plannedDate) : "-";
  }

  void freshStore() {
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    context = store.context();
  }

  static Date TestStoreNow() { return test::TestStore::kNow; }
  // Wednesday 2025-03-12, 11:00 in Berlin.
  static constexpr Date wednesday = test::TestStore::kNow;
};

TEST_F(WeekPlannerTest, PlanningDaysRunToTheEndOfTheMondayFirstWeek) {
  Calendar monday = calendar;
  monday.setFirstWeekday(2);
  struct Row {
    int month, day, hour;
    bool weekend;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {3, 12, 11, false, {"Mi. 12.03.", "Do. 13.03.", "Fr. 14.03."}},
      {3,
       12,
       11,
       true,
       {"Mi. 12.03.", "Do. 13.03.", "Fr. 14.03.", "Sa. 15.03.", "So. 16.03."}},
      {3,
       15,
       10,
       false,
       {"Mo. 17.03.", "Di. 18.03.", "Mi. 19.03.", "Do. 20.03.", "Fr. 21.03."}},
      {3, 15, 10, true, {"Sa. 15.03.", "So. 16.03."}},
      {3,
       16,
       23,
       false,
       {"Mo. 17.03.", "Di. 18.03.", "Mi. 19.03.", "Do. 20.03.", "Fr. 21.03."}},
      {3,
       10,
       0,
       false,
       {"Mo. 10.03.", "Di. 11.03.", "Mi. 12.03.", "Do. 13.03.", "Fr. 14.03."}},
      {3, 14, 23, false, {"Fr. 14.03."}},
      // The week in which the clocks go forward, and the one they go back.
      {3, 28, 10, true, {"Fr. 28.03.", "Sa. 29.03.", "So. 30.03."}},
      {10, 26, 12, true, {"So. 26.10."}},
      {10,
       27,
       12,
       false,
       {"Mo. 27.10.", "Di. 28.10.", "Mi. 29.10.", "Do. 30.10.", "Fr. 31.10."}},
  };
  for (const auto &row : rows) {
    const Date now = local(row.month, row.day, row.hour);
    auto days = WeekPlanner::planningDays(now, monday,
                                          Configuration(3, row.weekend, false));
    std::vector<std::string> names;
    for (Date d : days) {
      names.push_back(day(d));
      EXPECT_EQ(d, calendar.startOfDay(d)) << stamp(now);
    }
    EXPECT_EQ(names, row.expected) << stamp(now) << " weekend=" << row.weekend;
  }
}

TEST_F(WeekPlannerTest, WeeksRunMondayToSundayWhateverTheUsersCalendarSays) {
  Calendar sundayFirst("Europe/Berlin", "en_US");
  card("A");
  // Sunday with weekends: only the Sunday is left of a Monday-first week.
  auto summary = WeekPlanner::planCurrentWeek(
      *context, Configuration(3, true, false), local(3, 16, 10), sundayFirst);
  ASSERT_TRUE(summary.firstDay && summary.lastDay);
  EXPECT_EQ(day(*summary.firstDay), "So. 16.03.");
  EXPECT_EQ(day(*summary.lastDay), "So. 16.03.");
  EXPECT_EQ(summary.plannedCount, 1);
}

TEST_F(WeekPlannerTest, CapacityFillsTheFirstDayBeforeTheNext) {
  Card &a = card("A"), &b = card("B"), &c = card("C"), &d = card("D");
  auto summary = run(wednesday);
  EXPECT_EQ(summary.plannedCount, 4);
  EXPECT_EQ(day(*summary.firstDay), "Mi. 12.03.");
  EXPECT_EQ(day(*summary.lastDay), "Fr. 14.03.");
  EXPECT_EQ(plannedDay(a), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(b), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(c), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(d), "Do. 13.03.");
  EXPECT_EQ(stamp(*d.plannedDate), "2025-03-13 09:00");
}

TEST_F(WeekPlannerTest, OpenChecklistItemsBeyondTwoAddAQuarterPointUpToTwo) {
  struct Row {
    int open, checked;
    std::vector<std::string> expected; // days of A, B, C at capacity 3
  };
  // A and B carry the checklist; C weighs 1 and shows the room left.
  const std::vector<Row> rows = {
      {2, 5, {"Mi. 12.03.", "Mi. 12.03.", "Mi. 12.03."}},  // 1 + 1 + 1
      {4, 2, {"Mi. 12.03.", "Mi. 12.03.", "Do. 13.03."}},  // 1.5 + 1.5
      {5, 0, {"Mi. 12.03.", "Do. 13.03.", "Mi. 12.03."}},  // 1.75 + 1
      {6, 0, {"Mi. 12.03.", "Do. 13.03.", "Mi. 12.03."}},  // 2 + 1
      {10, 0, {"Mi. 12.03.", "Do. 13.03.", "Mi. 12.03."}}, // capped at 2
  };
  for (const auto &row : rows) {
    freshStore();
    Card &a = card("A"), &b = card("B"), &c = card("C");
    checklist(a, row.open, row.checked);
    checklist(b, row.open, row.checked);
    run(wednesday);
    EXPECT_EQ(
        (std::vector<std::string>{plannedDay(a), plannedDay(b), plannedDay(c)}),
        row.expected)
        << row.open << " open, " << row.checked << " checked";
  }
}

TEST_F(WeekPlannerTest, HeavyCardFitsNoDayAtMinimumCapacityUnlessItIsDue) {
  Card &heavy = card("Schwer");
  checklist(heavy, 4);
  Card &due = card("Fällig", Priority::medium, nullptr, local(3, 13, 17));
  checklist(due, 4);
  auto summary = run(wednesday, 0.2);
  EXPECT_EQ(summary.plannedCount, 1);
  EXPECT_EQ(plannedDay(heavy), "-");
  EXPECT_EQ(plannedDay(due), "Do. 13.03.");
}

TEST_F(WeekPlannerTest, OverdueCardsGoOnTheFirstDayEvenWhenItIsFull) {
  Card &a = card("A", Priority::medium, nullptr, local(3, 3, 17));
  Card &b = card("B", Priority::low, nullptr, local(3, 10, 17));
  Card &c = card("C", Priority::urgent);
  run(wednesday, 1);
  EXPECT_EQ(plannedDay(a), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(b), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(c), "Do. 13.03.");
}

TEST_F(WeekPlannerTest, CardDueThursdayIsNeverPlannedAfterThursday) {
  const Date monday = local(3, 10, 8);
  std::vector<Card *> cards;
  for (int i = 1; i <= 5; ++i)
    cards.push_back(&card("Bericht " + std::to_string(i), Priority::medium,
                          nullptr, local(3, 13, 17)));
  run(monday, 1);
  std::vector<std::string> days;
  for (Card *c : cards)
    days.push_back(plannedDay(*c));
  EXPECT_EQ(days,
            (std::vector<std::string>{"Mo. 10.03.", "Di. 11.03.", "Mi. 12.03.",
                                      "Do. 13.03.", "Do. 13.03."}));
}

TEST_F(WeekPlannerTest, DueDeadlinesComeBeforeDistantDeadlines) {
  // Due in three weeks: a deadline, but not a due deadline.
  Card &later = card("A später", Priority::urgent, nullptr, local(4, 2, 17));
  Card &soon = card("Z bald", Priority::low, nullptr, local(3, 14, 17));
  run(wednesday, 1);
  EXPECT_EQ(plannedDay(soon), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(later), "Do. 13.03.");
}

TEST_F(WeekPlannerTest, GoalTargetDatesMakeMediumCardsCandidates) {
  Plan &p = plan("Haus");
  Bucket &b = bucket(p, "Zu erledigen", 1024);
  Card &withGoal = card("Mit Ziel", Priority::medium, &b);
  Card &plain = card("Ohne alles", Priority::medium, &b);
  Goal goal("Renovieren", 1024, TestStoreNow());
  goal.plan = p.id;
  goal.targetDate = local(5, 1, 12);
  Goal &g = context->insert(std::move(goal));
  context->addGoal(withGoal, g);
  auto summary = run(wednesday);
  EXPECT_EQ(summary.plannedCount, 1);
  EXPECT_EQ(plannedDay(withGoal), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(plain), "-");
}

TEST_F(WeekPlannerTest, OnlyFlaggedOrPressingCardsAreCandidates) {
  Card &urgent = card("Dringend", Priority::urgent);
  Card &important = card("Wichtig", Priority::important);
  Card &medium = card("Mittel", Priority::medium);
  Card &low = card("Niedrig", Priority::low);
  Card &myDay = card("Mein Tag", Priority::low);
  myDay.isOnMyDay = true;
  Card &idea = card("Idee", Priority::low);
  idea.isIdeaTask = true;
  Card &archived = card("Archiviert", Priority::urgent);
  archived.isArchived = true;
  Card &done = card("Erledigt", Priority::urgent);
  done.percentComplete = 100;
  auto summary = run(wednesday, 10);
  EXPECT_EQ(summary.plannedCount, 4);
  for (const Card *c : {&urgent, &important, &myDay, &idea})
    EXPECT_EQ(plannedDay(*c), "Mi. 12.03.") << c->title;
  for (const Card *c : {&medium, &low, &archived, &done})
    EXPECT_EQ(plannedDay(*c), "-") << c->title;
}

TEST_F(WeekPlannerTest, FuturePlannedDatesAreClearedAndPastOnesKept) {
  Card &past = card("Vergangen", Priority::medium);
  past.plannedDate = local(3, 11, 9);
  Card &earlierToday = card("Heute früh", Priority::medium);
  earlierToday.plannedDate = local(3, 12, 0);
  Card &future = card("Zukunft", Priority::medium);
  future.plannedDate = local(3, 20, 9);
  Card &archived = card("Archiv", Priority::medium);
  archived.isArchived = true;
  archived.plannedDate = local(3, 14, 9);
  run(wednesday);
  EXPECT_EQ(stamp(*past.plannedDate), "2025-03-11 09:00");
  EXPECT_FALSE(earlierToday.plannedDate);
  EXPECT_FALSE(future.plannedDate);
  EXPECT_EQ(stamp(*archived.plannedDate), "2025-03-14 09:00");
}

TEST_F(WeekPlannerTest, RepeatedRunsReplaceTheEarlierPlan) {
  Card &a = card("A"), &b = card("B"), &c = card("C");
  EXPECT_EQ(run(wednesday, 1).plannedCount, 3);
  EXPECT_EQ(plannedDay(c), "Fr. 14.03.");
  a.setPriority(Priority::medium);
  auto second = run(wednesday, 1);
  EXPECT_EQ(second.plannedCount, 2);
  EXPECT_EQ(plannedDay(a), "-");
  EXPECT_EQ(plannedDay(b), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(c), "Do. 13.03.");
}

TEST_F(WeekPlannerTest, OnlySixtyCandidatesAreConsideredInNaturalTitleOrder) {
  std::vector<Card *> cards;
  for (int i = 61; i >= 1; --i)
    cards.push_back(&card("Karte " + std::to_string(i)));
  auto summary = run(wednesday, std::numeric_limits<double>::infinity());
  EXPECT_EQ(summary.plannedCount, 60);
  for (Card *c : cards)
    EXPECT_EQ(plannedDay(*c), c->title == "Karte 61" ? "-" : "Mi. 12.03.")
        << c->title;
}

TEST_F(WeekPlannerTest, TitlesOrderNaturallyAndIgnoringCase) {
  const Date friday = local(3, 14, 10);
  Card &ten = card("Aufgabe 10");
  Card &two = card("aufgabe 2");
  run(friday, 1);
  EXPECT_EQ(plannedDay(two), "Fr. 14.03.");
  EXPECT_EQ(plannedDay(ten), "-");
}

TEST_F(WeekPlannerTest, ClaudeProjectCardsOfOneBucketSpreadOverTheDays) {
  Plan &p = plan("Assistent", true);
  Bucket &first = bucket(p, "Backlog", 1024);
  Bucket &second = bucket(p, "Doing", 2048);
  Card &a = card("A", Priority::urgent, &first);
  Card &b = card("B", Priority::urgent, &first);
  Card &c = card("C", Priority::urgent, &second);
  Card &d = card("D", Priority::urgent, &first);
  auto summary = run(wednesday, 1);
  EXPECT_EQ(summary.plannedCount, 4);
  EXPECT_EQ(plannedDay(a), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(b), "Do. 13.03.");
  EXPECT_EQ(plannedDay(c), "Mi. 12.03."); // 0.5 + 0.5 fit capacity 1
  EXPECT_EQ(plannedDay(d), "Fr. 14.03.");
}

TEST_F(WeekPlannerTest, IdeaTasksGoIntoEmptyLaterBucketsOfClaudeProjects) {
  Plan &p = plan("Assistent", true);
  Bucket &first = bucket(p, "Eingang", 1024);
  Bucket &empty = bucket(p, "Ideen", 2048);
  empty.colorHex = "#0078D4";
  Bucket &busy = bucket(p, "Doing", 3072);
  Bucket &finished = bucket(p, "Fertig", 4096);
  Card &open = card("Offen", Priority::medium, &busy);
  open.sortOrder = 5000;
  Card &archived = card("Alt", Priority::medium, &empty);
  archived.isArchived = true;
  archived.sortOrder = 9000;
  card("Erledigt", Priority::medium, &finished).percentComplete = 100;
  Plan &other = plan("Privat");
  bucket(other, "Eingang", 1024);
  bucket(other, "Leer", 2048);
  (void)first;

  auto summary = run(wednesday, 3, false, true);
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
  EXPECT_EQ(idea->plan, std::optional<UUID>(p.id));
  EXPECT_EQ(idea->bucket, std::optional<UUID>(empty.id));
  Card *second = ideas.at("Feature-Ideen sammeln: Fertig");
  EXPECT_EQ(second->sortOrder, 11048);
  EXPECT_FALSE(second->colorHex);
  // Idea tasks are planned in the same run (low priority, but flagged).
  EXPECT_EQ(summary.plannedCount, 2);
  EXPECT_EQ(plannedDay(*idea), "Mi. 12.03.");
  EXPECT_EQ(plannedDay(*second), "Mi. 12.03.");

  // The buckets are no longer empty, so the next run adds nothing.
  EXPECT_EQ(run(wednesday, 3, false, true).ideaTasksCreated, 0);
}

TEST_F(WeekPlannerTest, PlanWithOnlyOneBucketGetsNoIdeaTask) {
  Plan &p = plan("Assistent", true);
  bucket(p, "Eingang", 1024);
  EXPECT_EQ(WeekPlanner::createIdeaTasks({&p}, *context, wednesday), 0);
  EXPECT_TRUE(context->fetchCards().empty());
}

TEST_F(WeekPlannerTest, PlannedHourStaysNineAcrossClockChanges) {
  struct Row {
    int month, day;
    std::vector<std::string> stamps; // of A, B, C at capacity 1
    std::vector<double> hoursAfterMidnight;
  };
  const std::vector<Row> rows = {
      {3,
       28,
       {"2025-03-28 09:00", "2025-03-29 09:00", "2025-03-30 09:00"},
       {9, 9, 8}},
      {10,
       24,
       {"2025-10-24 09:00", "2025-10-25 09:00", "2025-10-26 09:00"},
       {9, 9, 10}},
  };
  for (const auto &row : rows) {
    freshStore();
    Card &a = card("A"), &b = card("B"), &c = card("C");
    run(local(row.month, row.day, 8), 1, true);
    std::vector<std::string> stamps;
    std::vector<double> hours;
    for (const Card *x : {&a, &b, &c}) {
      ASSERT_TRUE(x->plannedDate) << row.month << "/" << row.day;
      stamps.push_back(stamp(*x->plannedDate));
      hours.push_back((*x->plannedDate - calendar.startOfDay(*x->plannedDate)) /
                      3600);
    }
    EXPECT_EQ(stamps, row.stamps);
    EXPECT_EQ(hours, row.hoursAfterMidnight);
  }
}

TEST_F(WeekPlannerTest, PlannerSavesItsOwnWork) {
  Card &a = card("A");
  const UUID id = a.id;
  run(wednesday);
  context.reset(); // an unsaved context would roll back here
  context = store.context();
  Card *reread = context->card(id);
  ASSERT_TRUE(reread);
  ASSERT_TRUE(reread->plannedDate);
  EXPECT_EQ(stamp(*reread->plannedDate), "2025-03-12 09:00");
}

TEST(WeekPlannerConfiguration, CapacityIsAtLeastOne) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<double, double>> rows = {
      {3, 3},  {2.5, 2.5}, {1, 1},   {0.5, 1},   {0, 1},
      {-7, 1}, {-inf, 1},  {nan, 1}, {inf, inf}, {1e300, 1e300}};
  for (auto [given, expected] : rows)
    EXPECT_EQ(Configuration(given, false, false).dailyCapacity, expected)
        << given;
}

TEST_F(WeekPlannerTest, DeadlineDayIsTheLastPlanningDayBeforeTheDueDay) {
  const std::vector<Date> days = {local(3, 12), local(3, 13), local(3, 14)};
  const Date horizonEnd = local(3, 15);
  struct Row {
    std::optional<Date> due;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {local(3, 13, 17), "Do. 13.03."},
      {local(3, 14, 23, 59), "Fr. 14.03."},
      {local(3, 12, 0), "Mi. 12.03."},
      {local(3, 1, 17), "Mi. 12.03."},
      {local(3, 15, 0), "-"},
      {local(3, 16, 17), "-"},
      {std::nullopt, "-"},
  };
  for (const auto &row : rows) {
    Card &c = card("X", Priority::medium, nullptr, row.due);
    Candidate candidate(c, horizonEnd, *context);
    auto limit = candidate.deadlineDay(days, calendar);
    EXPECT_EQ(limit ? day(*limit) : "-", row.expected)
        << (row.due ? stamp(*row.due) : "none");
    EXPECT_EQ(candidate.hasDueDeadline, row.expected != "-");
  }
}

TEST(WeekPlannerCandidate, OrderingDecidesByDueDeadlineDeadlinePriorityTitle) {
  Card cards[2];
  auto make = [&](int i, bool due, std::optional<Date> deadline, int rank,
                  std::string title) {
    cards[i].title = std::move(title);
    cards[i].id = std::to_string(i);
    Candidate c;
    c.card = &cards[i];
    c.hasDueDeadline = due;
    c.deadline = deadline;
    c.priorityRank = rank;
    return c;
  };
  struct Row {
    bool dueA;
    std::optional<Date> deadlineA;
    int rankA;
    std::string titleA;
    bool dueB;
    std::optional<Date> deadlineB;
    int rankB;
    std::string titleB;
    bool aFirst, bFirst;
  };
  const std::vector<Row> rows = {
      {true, 500, 3, "Z", false, 100, 0, "A", true, false},
      {false, 100, 3, "Z", false, 200, 0, "A", true, false},
      {false, 100, 3, "Z", false, std::nullopt, 0, "A", true, false},
      {false, std::nullopt, 3, "A", false, std::nullopt, 2, "Z", false, true},
      {false, std::nullopt, 1, "Titel 2", false, std::nullopt, 1, "Titel 10",
       true, false},
      {true, 100, 1, "apfel", true, 100, 1, "Birne", true, false},
      {true, 100, 1, "Gleich", true, 100, 1, "gleich", false, false},
  };
  text::NaturalOrder titles;
  for (const auto &row : rows) {
    Candidate a = make(0, row.dueA, row.deadlineA, row.rankA, row.titleA);
    Candidate b = make(1, row.dueB, row.deadlineB, row.rankB, row.titleB);
    EXPECT_EQ(WeekPlanner::comesBefore(a, b, titles), row.aFirst)
        << row.titleA << " vs " << row.titleB;
    EXPECT_EQ(WeekPlanner::comesBefore(b, a, titles), row.bFirst)
        << row.titleB << " vs " << row.titleA;
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a == make(0, false, std::nullopt, 3, "anders"));
  }
}

} // namespace
} // namespace taskory
