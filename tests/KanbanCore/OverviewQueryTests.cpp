#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/StoreError.h"
#include "Store/BoardSQL.h"
#include "Store/CardQuerySQL.h"
#include "Store/CardTally.h"
#include "support/OverviewFigures.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <map>
#include <random>

namespace taskory {
namespace {

constexpr Date kNow = test::TestStore::kNow;

// One connection keeps its figures across calls. After every kind of change
// it must report what a connection that counts afresh reports: its own
// changes (moves across plans, odd stored values, cascades, links), its own
// rolled-back and failed changes, and another program's commits.
// `tallied`: the store keeps its tallies, which fresh connections then read.
void stayExact(bool tallied) {
  test::TempDir dir;
  const auto file = dir / "Taskory.store";
  auto kept = KanbanStore::makeContainer(file);
  if (tallied)
    test::RawConnection(file).exec(store::cardTally::rebuildSQL());
  const Calendar calendar("Europe/Berlin", "de_DE");
  std::vector<std::string> plans, buckets, goals, cards;
  {
    ModelContext context(*kept, "mcp");
    test::Seed seed(context, calendar, kNow);
    for (int p = 0; p < 3; ++p) {
      Plan &plan = seed.plan("P" + std::to_string(p));
      plans.push_back(plan.id);
      goals.push_back(seed.goal(plan, "Ziel").id);
      for (int b = 0; b < 2; ++b)
        buckets.push_back(seed.bucket(plan, "B" + std::to_string(b)).id);
    }
    for (int c = 0; c < 30; ++c)
      cards.push_back(
          seed.card(*context.bucket(buckets[c % buckets.size()]), "K").id);
    context.save(kNow);
  }
  // The kept connection's own SQL, as the store runs it.
  SqliteDatabase &own = *kept->connection().db;
  test::RawConnection other(file);
  std::mt19937 random(7);
  auto pick = [&](const std::vector<std::string> &from) {
    return "'" + from[random() % from.size()] + "'";
  };
  const std::vector<std::string> archived{"0", "1", "'ja'", "0.5", "2.5"},
      percent{"0", "99", "100", "100.7", "150", "'x'", "99.9"};
  const std::vector<std::pair<const char *, std::function<void()>>> steps{
      {"state",
       [&] {
         own.exec("UPDATE Card SET isArchived = " + archived[random() % 5] +
                  ", percentComplete = " + percent[random() % 7] +
                  " WHERE id = " + pick(cards));
       }},
      {"move across plans",
       [&] {
         own.exec("UPDATE Card SET plan = " + pick(plans) +
                  ", bucket = " + pick(buckets) + " WHERE id = " + pick(cards));
       }},
      {"bucket cleared",
       [&] {
         own.exec("UPDATE Card SET bucket = NULL WHERE id = " + pick(cards));
       }},
      {"link",
       [&] {
         own.exec("INSERT OR IGNORE INTO CardGoal (card, goal) VALUES (" +
                  pick(cards) + ", " + pick(goals) + ")");
       }},
      {"unlink",
       [&] {
         own.exec("DELETE FROM CardGoal WHERE rowid IN (SELECT rowid FROM "
                  "CardGoal ORDER BY random() LIMIT 1)");
       }},
      {"new card",
       [&] {
         ModelContext context(*kept, "mcp");
         test::Seed seed(context, calendar, kNow);
         const auto left = context.fetchAll<Bucket>();
         Card &card = left.empty()
                          ? seed.card(context.plan(plans[random() % 3]), "N")
                          : seed.card(*left[random() % left.size()], "N");
         card.percentComplete = 100;
         seed.tag(card, *context.goal(goals[random() % 3]));
         cards.push_back(card.id);
         context.save(kNow);
       }},
      {"card deleted",
       [&] { own.exec("DELETE FROM Card WHERE id = " + pick(cards)); }},
      {"bucket deleted with its cards",
       [&] { own.exec("DELETE FROM Bucket WHERE id = " + pick(buckets)); }},
      {"rolled back",
       [&] {
         own.exec("BEGIN; UPDATE Card SET isArchived = 0, percentComplete = 0;"
                  "DELETE FROM CardGoal; ROLLBACK");
       }},
      {"failed half-way, then committed",
       [&] {
         // The NOT NULL column fails the statement after it changed some
         // rows; SQLite undoes those, the transaction goes on.
         own.exec("BEGIN; UPDATE Card SET isArchived = 1 WHERE id = " +
                  pick(cards));
         EXPECT_THROW(own.exec("UPDATE Card SET percentComplete = CASE WHEN "
                               "rowid > 5 THEN NULL ELSE 100 END"),
                      StoreError);
         own.exec("COMMIT");
       }},
      {"another program",
       [&] {
         other.exec("UPDATE Card SET bucket = 'verwaist', plan = 42, "
                    "isArchived = 0 WHERE id = " +
                    pick(cards));
       }},
  };
  for (int i = 0; i < 300; ++i) {
    const auto &[name, step] = steps[random() % steps.size()];
    try {
      step();
    } catch (const StoreError &) {
      // A link to a card or bucket an earlier step deleted: one more failed
      // statement for the figures to survive.
      if (own.inTransaction())
        own.exec("ROLLBACK");
    }
    auto fresh = KanbanStore::makeContainer(file);
    // Some stretches ask only the list's count, which then moves alone.
    const bool onlyOpen = i % 40 < 10;
    ASSERT_EQ(test::overviewFigures(*kept, onlyOpen),
              test::overviewFigures(*fresh, onlyOpen))
        << "after step " << i << ": " << name;
  }
}

TEST(OverviewFigures, StayExactThroughOwnChangesRollbacksAndOtherWriters) {
  stayExact(false);
}

TEST(OverviewFigures, StayExactWithTheStoresTallies) { stayExact(true); }

struct Walk {
  std::string plan;
  int sorts = 0, autoIndexes = 0, vmSteps = 0, rows = 0;
};

// The plan SQLite chose and what running the statement cost it, the
// statement's parameters bound by `bind`.
Walk walk(sqlite3 *db, std::string_view sql,
          const std::function<void(sqlite3_stmt *)> &bind) {
  Walk w;
  sqlite3_stmt *stmt = nullptr;
  const std::string explain = "EXPLAIN QUERY PLAN " + std::string(sql);
  EXPECT_EQ(sqlite3_prepare_v2(db, explain.c_str(), -1, &stmt, nullptr),
            SQLITE_OK);
  while (sqlite3_step(stmt) == SQLITE_ROW)
    w.plan += reinterpret_cast<const char *>(sqlite3_column_text(stmt, 3)) +
              std::string("; ");
  sqlite3_finalize(stmt);
  EXPECT_EQ(
      sqlite3_prepare_v2(db, std::string(sql).c_str(), -1, &stmt, nullptr),
      SQLITE_OK);
  bind(stmt);
  while (sqlite3_step(stmt) == SQLITE_ROW)
    ++w.rows;
  w.sorts = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_SORT, 0);
  w.autoIndexes = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_AUTOINDEX, 0);
  w.vmSteps = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 0);
  sqlite3_finalize(stmt);
  return w;
}

Walk walk(sqlite3 *db, std::string_view sql, const char *bound = nullptr) {
  return walk(db, sql, [bound](sqlite3_stmt *stmt) {
    if (bound)
      sqlite3_bind_text(stmt, 1, bound, -1, SQLITE_TRANSIENT);
  });
}

// The overviews' statements walk indexes in their own order: a change that
// makes SQLite read the table, sort, or build an index on the fly fails
// here by name, as does one that makes each row cost many more steps.
TEST(OverviewQueries, WalkIndexesWithoutSortingOrReadingTheTable) {
  test::TestStore store;
  store.raw().exec(store::cardTally::rebuildSQL());
  {
    auto context = store.context();
    test::Seed seed(*context, store.calendar, kNow);
    Plan &plan = seed.plan("P");
    Bucket &bucket = seed.bucket(plan, "B");
    Goal &goal = seed.goal(plan, "Z");
    for (int i = 0; i < 200; ++i)
      seed.tag(seed.card(bucket, "K"), goal);
    context->save(kNow);
  }
  const std::string goal = *store.raw().text("SELECT id FROM Goal");
  const std::string card = *store.raw().text("SELECT id FROM Card");
  const struct {
    const char *name;
    std::string_view sql;
    const char *bound;
    int rows, stepsPerRow;
  } statements[] = {
      {"board figures", store::boardCountsSQL(), nullptr, 1, 0},
      // One row a plan and bucket, read as the store keeps it.
      {"board tally", store::cardTally::planBucketRowsSQL(), nullptr, 1, 30},
      {"goal tally", store::cardTally::goalRowsSQL(), nullptr, 1, 30},
      {"open cards from the tally", store::cardTally::openCardsSQL(), nullptr,
       1, 30},
      // Every card counted from index pages, none of the 200 open ones
      // stepped through.
      {"open cards", store::openCardCountSQL(), nullptr, 1, 30},
      {"goal links", store::goalLinkStatesSQL(), nullptr, 200, 30},
      {"one goal's links", store::linkStatesOfGoalSQL(), goal.c_str(), 200, 30},
      {"a card's goals", store::goalsLinkedToCardSQL(), card.c_str(), 1, 30},
  };
  for (const auto &s : statements) {
    const Walk w = walk(handleOf(*store.container), s.sql, s.bound);
    EXPECT_EQ(w.rows, s.rows) << s.name;
    EXPECT_EQ(w.plan.find("TEMP B-TREE"), std::string::npos)
        << s.name << ": " << w.plan;
    EXPECT_EQ(w.plan.find("SCAN Card;"), std::string::npos)
        << s.name << ": " << w.plan;
    EXPECT_EQ(w.plan.find("SCAN CardGoal;"), std::string::npos)
        << s.name << ": " << w.plan;
    EXPECT_EQ(w.sorts, 0) << s.name;
    EXPECT_EQ(w.autoIndexes, 0) << s.name;
    // The board figures group 200 cards into one row: bounded by the cards.
    const int perRow = s.stepsPerRow ? s.stepsPerRow : 30 * 200;
    EXPECT_LE(w.vmSteps, perRow * s.rows + 100) << s.name;
  }
}

// A store's done cards pile up at its early due dates. The lists of its open
// cards, the first page of all and those due within a week, the latter's
// count and the week planner's dated cards walk only open cards: walking past
// the closed ones first made them grow with the store.
TEST(OverviewQueries, OpenCardListsNeverWalkPastClosedCards) {
  constexpr int kClosed = 1000, kOpen = 60;
  test::TestStore store;
  {
    auto context = store.context();
    test::Seed seed(*context, store.calendar, kNow);
    Bucket &bucket = seed.bucket(seed.plan("P"), "B");
    for (int i = 0; i < kClosed + kOpen; ++i) {
      Card &card = seed.card(bucket, "K");
      card.dueDate = kNow - 86400.0 * (kClosed + kOpen - i);
      if (i < kClosed && i % 2)
        card.percentComplete = 100;
      else if (i < kClosed)
        card.isArchived = true;
    }
    context->save(kNow);
  }
  CardQuery open;
  open.maxPercent = kCompletedFromPercent - 1;
  CardQuery dueSoon = open;
  dueSoon.dueAtOrBefore = kNow + 7 * 86400.0;
  const auto binding = [](const store::CardFilter &filter, int64_t last) {
    return [&filter, last](sqlite3_stmt *stmt) {
      // A due bound is the only parameter these filters may have.
      for (int i = 1; i <= filter.parameterCount; ++i)
        sqlite3_bind_double(stmt, i, kNow + 7 * 86400.0);
      if (last)
        sqlite3_bind_int64(stmt, filter.parameterCount + 1, last);
    };
  };
  sqlite3 *db = handleOf(*store.container);
  for (const CardQuery *query : {&open, &dueSoon}) {
    const store::CardFilter filter = store::cardFilter(*query);
    const char *name = query == &open ? "open cards" : "due within a week";
    const Walk list =
        walk(db, store::cardSelectSQL(*query, filter), binding(filter, 50));
    EXPECT_EQ(list.rows, 50) << name;
    // A card's columns and its place among the ties of its due date are
    // some 90 steps; each closed card passed on the way is about ten more.
    EXPECT_LE(list.vmSteps, 50 * 100 + 500) << name << ": " << list.plan;
    const Walk count =
        walk(db, store::cardCountSQL(*query, filter), binding(filter, 0));
    EXPECT_EQ(count.rows, 1) << name;
    // A few steps an open card: the index holds only those, and its
    // condition is not tested again for each.
    EXPECT_LE(count.vmSteps, kOpen * 4 + 60) << name << ": " << count.plan;
  }
  // The week planner's dated cards, in due order, read as far as it needs.
  const Walk dated = walk(db, store::datedCandidatesSQL());
  EXPECT_EQ(dated.rows, kOpen);
  // About fifty steps an open card with its goal dates; each closed card
  // passed on the way is some twenty more.
  EXPECT_LE(dated.vmSteps, kOpen * 60 + 500) << dated.plan;
}

} // namespace
} // namespace taskory
