#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/StoreError.h"
#include "Store/CardTally.h"
#include "support/OverviewFigures.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>

namespace taskory {
namespace {

constexpr Date kNow = test::TestStore::kNow;

using Figures = test::OverviewFigures;

std::optional<std::string> textAt(sqlite3_stmt *stmt, int column) {
  if (sqlite3_column_type(stmt, column) != SQLITE_TEXT)
    return std::nullopt;
  return reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
}

void add(Figures &f, sqlite3_stmt *stmt, int64_t active, int64_t completed) {
  for (auto [column, into] : {std::pair{0, &f.plans}, std::pair{1, &f.buckets}})
    if (auto key = textAt(stmt, column)) {
      (*into)[*key].first += active;
      (*into)[*key].second += completed;
    }
  f.open += active - completed;
}

sqlite3_stmt *prepared(sqlite3 *db, const char *sql) {
  sqlite3_stmt *stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db);
  return stmt;
}

// Every card's and link's stored values, decoded here as a loaded card reads
// them: a number converted by SQLite, anything else 0. A link counts for a
// card with a text id that is not archived.
Figures fromCards(sqlite3 *db) {
  Figures f;
  std::map<std::string, bool> openCardDone;
  sqlite3_stmt *stmt = prepared(
      db, "SELECT plan, bucket, isArchived, percentComplete, id FROM Card");
  const auto number = [&](int column) -> int64_t {
    const int type = sqlite3_column_type(stmt, column);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT
               ? sqlite3_column_int64(stmt, column)
               : 0;
  };
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    if (number(2) != 0)
      continue;
    const bool done = number(3) >= kCompletedFromPercent;
    add(f, stmt, 1, done);
    if (auto id = textAt(stmt, 4))
      openCardDone[*id] = done;
  }
  sqlite3_finalize(stmt);
  stmt = prepared(db, "SELECT card, goal FROM CardGoal");
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const auto card = textAt(stmt, 0), goal = textAt(stmt, 1);
    if (card && goal && openCardDone.count(*card)) {
      ++f.goals[*goal].first;
      f.goals[*goal].second += openCardDone[*card];
    }
  }
  sqlite3_finalize(stmt);
  return f;
}

Figures fromTally(sqlite3 *db) {
  Figures f;
  sqlite3_stmt *stmt =
      prepared(db, "SELECT plan, bucket, active, completed FROM CardTally");
  // Groups whose last card left may stay behind at zero.
  while (sqlite3_step(stmt) == SQLITE_ROW)
    if (sqlite3_column_int64(stmt, 2) || sqlite3_column_int64(stmt, 3))
      add(f, stmt, sqlite3_column_int64(stmt, 2),
          sqlite3_column_int64(stmt, 3));
  sqlite3_finalize(stmt);
  stmt = prepared(db, "SELECT goal, active, completed FROM CardGoalTally");
  while (sqlite3_step(stmt) == SQLITE_ROW)
    if (auto goal = textAt(stmt, 0); goal && (sqlite3_column_int64(stmt, 1) ||
                                              sqlite3_column_int64(stmt, 2)))
      f.goals[*goal] = {sqlite3_column_int64(stmt, 1),
                        sqlite3_column_int64(stmt, 2)};
  sqlite3_finalize(stmt);
  return f;
}

// A store file with a connection that stays open across the other
// program's writes, seeded by `seed`.
struct KeptStore {
  template <class F> explicit KeptStore(F seedWith) {
    ModelContext context(*kept, "mcp");
    test::Seed seed(context, calendar, kNow);
    seedWith(seed);
    context.save(kNow);
  }

  test::TempDir dir;
  std::filesystem::path file = dir / "Taskory.store";
  std::unique_ptr<ModelContainer> kept = KanbanStore::makeContainer(file);
  Calendar calendar{"Europe/Berlin", "de_DE"};
};

// Writes of another program that knows nothing of the tally, one after the
// other on one store. After each, the tally must agree with the cards, or,
// where the writer removed a row unseen (REPLACE) or took the triggers away,
// say it cannot be trusted; the overview is then exact by a walk, and the
// next start builds the tally again.
TEST(CardTally, AgreesWithTheCardsAfterEveryKindOfWrite) {
  KeptStore store([](test::Seed &seed) {
    for (const char *name : {"P0", "P1"}) {
      Plan &plan = seed.plan(name);
      Goal &first = seed.goal(plan, "Z0"), &second = seed.goal(plan, "Z1");
      for (const char *bucketName : {"B0", "B1"}) {
        Bucket &bucket = seed.bucket(plan, bucketName);
        for (int c = 0; c < 3; ++c) {
          Card &card = seed.card(bucket, "K");
          card.percentComplete = c == 2 ? 100 : 10 * c;
          seed.tag(card, c ? first : second);
          if (c == 2)
            seed.tag(card, second);
        }
      }
    }
  });
  const auto &[file, kept] = std::tie(store.file, store.kept);
  test::RawConnection other(file);
  other.exec(store::cardTally::rebuildSQL());
  const std::string plan0 = "(SELECT id FROM Plan WHERE title = 'P0')",
                    bucket0 = "(SELECT id FROM Bucket ORDER BY rowid LIMIT 1)",
                    bucket3 = "(SELECT id FROM Bucket ORDER BY rowid DESC "
                              "LIMIT 1)",
                    someCard = "(SELECT id FROM Card ORDER BY rowid LIMIT 1)",
                    goal0 = "(SELECT id FROM Goal ORDER BY rowid LIMIT 1)",
                    columns = "INSERT INTO Card (id, title, sortOrder, "
                              "createdAt, modifiedAt, plan, bucket, "
                              "isArchived, percentComplete) VALUES ";
  const struct {
    const char *name;
    std::string sql;
    bool trusted;
    bool fails = false;
  } writes[] = {
      {"new cards with odd values",
       columns + "('N1', 'n', 0, 0, 0, " + plan0 + ", " + bucket0 +
           ", 0, 100), ('N2', 'n', 0, 0, 0, 42, NULL, 'ja', 100.7), ('N3', "
           "'n', 0, 0, 0, " +
           plan0 +
           ", x'01', 0.5, 99.9), ('N4', 'n', 0, 0, 0, NULL, NULL, "
           "2.5, 0)",
       true},
      {"new cards with numbers at the edges and text that reads as one",
       columns + "('N5', 'n', 0, 0, 0, " + plan0 + ", " + bucket0 +
           ", '5abc', '150x'), ('N6', 'n', 0, 0, 0, " + plan0 + ", " + bucket0 +
           ", -0.5, 9e999), ('N7', 'n', 0, 0, 0, " + plan0 +
           ", NULL, -1.5, 100), ('N8', 'n', 0, 0, 0, " + plan0 +
           ", NULL, x'01', -9e999)",
       true},
      {"state changed",
       "UPDATE Card SET isArchived = 0, percentComplete = 150 "
       "WHERE id IN ('N4', " +
           someCard + ")",
       true},
      {"moved",
       "UPDATE Card SET plan = 'fremd', bucket = " + bucket3 +
           " WHERE rowid % 3 = 0",
       true},
      {"archived as text and as a fraction",
       "UPDATE Card SET isArchived = CASE rowid % 2 WHEN 0 THEN '1' ELSE 1.0 "
       "END WHERE rowid % 4 = 1",
       true},
      {"other columns only", "UPDATE Card SET title = 'neu', sortOrder = 3",
       true},
      {"deleted", "DELETE FROM Card WHERE id = 'N1'", true},
      {"failed half-way",
       "UPDATE Card SET percentComplete = CASE WHEN rowid > 3 THEN NULL ELSE "
       "100 END",
       true, true},
      {"bucket deleted with its cards",
       "PRAGMA foreign_keys = ON; DELETE FROM Bucket WHERE id = " + bucket0 +
           "; PRAGMA foreign_keys = OFF",
       true},
      {"insert of an existing id refused",
       columns + "('N3', 'n', 0, 0, 0, NULL, NULL, 0, 0)", true, true},
      {"card replaced",
       "INSERT OR REPLACE INTO Card (id, title, sortOrder, "
       "createdAt, modifiedAt, plan) VALUES ('N3', 'r', 0, 0, "
       "0, " +
           plan0 + ")",
       false},
      {"inserts ignored, twice",
       "INSERT OR IGNORE INTO Card (id, title, sortOrder, createdAt, "
       "modifiedAt) VALUES ('N3', 'r', 0, 0, 0), ('N3', 's', 0, 0, 0)",
       false},
      {"upsert",
       "INSERT INTO Card (id, title, sortOrder, createdAt, "
       "modifiedAt) VALUES ('N3', 'r', 0, 0, 0) ON CONFLICT (id) "
       "DO UPDATE SET percentComplete = 100",
       false},
      {"id replaced by an update",
       "UPDATE OR REPLACE Card SET id = 'N3' WHERE id = 'N4'", false},
      {"rowid replaced",
       "INSERT OR REPLACE INTO Card (rowid, id, title, "
       "sortOrder, createdAt, modifiedAt) VALUES ((SELECT "
       "max(rowid) FROM Card), 'N9', 'r', 0, 0, 0)",
       false},
      {"links to a card, to none, and with a number for a goal",
       "INSERT INTO CardGoal (card, goal) VALUES ('N3', " + goal0 +
           "), ('N3', 17), ('fehlt', " + goal0 + "), ('N2', " + goal0 +
           "), ('verwaist', " + goal0 + "), ('später', " + goal0 + ")",
       true},
      {"link moved to another goal",
       "UPDATE CardGoal SET goal = 'woanders' WHERE rowid = (SELECT "
       "min(rowid) FROM CardGoal)",
       true},
      {"linked cards archived and done",
       "UPDATE Card SET isArchived = rowid % 2, percentComplete = 100 WHERE "
       "id IN (SELECT card FROM CardGoal)",
       true},
      {"linked card deleted with its links",
       "PRAGMA foreign_keys = ON; DELETE FROM Card WHERE id = 'N3'; PRAGMA "
       "foreign_keys = OFF",
       true},
      {"linked card deleted, its links left behind",
       "DELETE FROM Card WHERE id = (SELECT card FROM CardGoal WHERE card IN "
       "(SELECT id FROM Card) ORDER BY rowid LIMIT 1)",
       true},
      {"card arriving for links left behind",
       columns + "('fehlt', 'n', 0, 0, 0, NULL, NULL, 0, 100)", true},
      {"linked card given the id of links left behind",
       "UPDATE Card SET id = 'verwaist' WHERE id = 'fehlt'", true},
      {"card without links given the id of links left behind",
       columns + "('ohne', 'n', 0, 0, 0, NULL, NULL, 0, 0); UPDATE Card SET "
                 "id = 'später' WHERE id = 'ohne'",
       true},
      {"goal deleted with its links",
       "PRAGMA foreign_keys = ON; DELETE FROM Goal WHERE id = " + goal0 +
           "; PRAGMA foreign_keys = OFF",
       true},
      {"link replaced",
       "INSERT OR REPLACE INTO CardGoal (card, goal) SELECT card, goal FROM "
       "CardGoal LIMIT 1",
       false},
      {"link replaced by an update",
       "UPDATE OR REPLACE CardGoal SET goal = (SELECT goal FROM CardGoal "
       "ORDER BY rowid DESC LIMIT 1) WHERE rowid = (SELECT min(rowid) FROM "
       "CardGoal WHERE goal IS NOT (SELECT goal FROM CardGoal ORDER BY rowid "
       "DESC LIMIT 1)) AND card = (SELECT card FROM CardGoal ORDER BY rowid "
       "DESC LIMIT 1)",
       false},
      {"triggers taken away",
       "DROP TRIGGER CardTally_cardDeleting; DELETE FROM Card WHERE rowid % 2 "
       "= 0",
       false},
      {"every card deleted", "DELETE FROM Card", true},
  };
  for (const auto &write : writes) {
    // A failing statement undoes its own rows, triggers' included.
    EXPECT_EQ(sqlite3_exec(other.handle(), write.sql.c_str(), nullptr, nullptr,
                           nullptr) != SQLITE_OK,
              write.fails)
        << write.name << ": " << sqlite3_errmsg(other.handle());
    const Figures cards = fromCards(other.handle());
    EXPECT_EQ(test::overviewFigures(*kept), cards) << write.name;
    // One mark however often a writer meets a row.
    EXPECT_LE(other.integer("SELECT count(*) FROM CardTallyStale"), 1)
        << write.name;
    const bool trusted =
        other.integer("SELECT count(*) FROM sqlite_schema WHERE type = "
                      "'trigger' AND name GLOB 'CardTally_*'") == 12 &&
        other.integer("SELECT count(*) FROM CardTallyStale") == 0;
    EXPECT_EQ(trusted, write.trusted) << write.name;
    if (trusted) {
      EXPECT_EQ(fromTally(other.handle()), cards) << write.name;
    } else {
      auto restarted = KanbanStore::makeContainer(file);
      EXPECT_EQ(other.integer("SELECT count(*) FROM CardTallyStale"), 0)
          << write.name;
      EXPECT_EQ(fromTally(other.handle()), cards) << write.name;
      EXPECT_EQ(test::overviewFigures(*restarted), cards) << write.name;
    }
  }
}

// Where the tallies are intact, the overviews read them instead of walking
// the cards: what a writer puts into them is what the overviews show.
TEST(CardTally, IsWhatTheOverviewsReadWhileIntact) {
  KeptStore store([](test::Seed &seed) {
    Plan &plan = seed.plan("P");
    seed.tag(seed.card(seed.bucket(plan, "B"), "K"), seed.goal(plan, "Z"));
  });
  const auto &[file, kept] = std::tie(store.file, store.kept);
  test::RawConnection other(file);
  other.exec(store::cardTally::rebuildSQL());
  const Figures before = test::overviewFigures(*kept);
  other.exec("UPDATE CardTally SET active = active + 2; UPDATE CardGoalTally "
             "SET completed = completed + 1");
  const Figures onlyOpen = test::overviewFigures(*kept, true),
                after = test::overviewFigures(*kept),
                tally = fromTally(other.handle());
  EXPECT_NE(after.plans, before.plans);
  EXPECT_EQ(after.plans, tally.plans);
  EXPECT_EQ(after.buckets, tally.buckets);
  EXPECT_EQ(after.goals, tally.goals);
  EXPECT_EQ(onlyOpen.open, tally.open) << "the list's count read alone";
  EXPECT_EQ(after.open, tally.open);
}

// The server's own writes go through the same triggers: the tallies agree
// with the cards after the tools' changes, and linking a card to a goal it
// is already linked to does not make them stale.
TEST(CardTally, IsKeptThroughOwnChanges) {
  test::TestStore store;
  store.raw().exec(store::cardTally::rebuildSQL());
  {
    auto context = store.context();
    test::Seed seed(*context, store.calendar, kNow);
    Plan &plan = seed.plan("P");
    Bucket &bucket = seed.bucket(plan, "B");
    Goal &goal = seed.goal(plan, "Z");
    for (int i = 0; i < 20; ++i) {
      Card &card = seed.card(bucket, "K");
      card.percentComplete = i % 3 ? 0 : 100;
      card.isArchived = i % 5 == 0;
      if (i % 2)
        seed.tag(card, goal);
    }
    context->save(kNow);
  }
  {
    auto context = store.context();
    auto cards = context->fetchAll<Card>();
    Goal &goal = *context->fetchAll<Goal>().front();
    cards[1]->percentComplete = 100;
    cards[2]->isArchived = true;
    context->addGoal(*cards[1], goal);
    context->addGoal(*cards[4], goal);
    context->removeGoal(*cards[3], goal);
    context->remove(*cards[5]);
    context->save(kNow);
  }
  sqlite3 *db = handleOf(*store.container);
  EXPECT_EQ(fromTally(db), fromCards(db));
  EXPECT_FALSE(fromCards(db).goals.empty());
  EXPECT_EQ(
      test::RawConnection(db).integer("SELECT count(*) FROM CardTallyStale"),
      0);
}

// A store gets the tallies at the start that finds it holding the
// threshold's cards, not before: below it the triggers cost every start more
// than a walk costs an overview. One that holds any part of them, whatever
// its size, has them built anew.
TEST(CardTally, IsBuiltAtStartForLargeStoresAndWhereAPartIsLeft) {
  test::TempDir dir;
  const auto file = dir / "Taskory.store";
  KanbanStore::makeContainer(file);
  test::RawConnection raw(file);
  const auto addCards = [&](int64_t count) {
    raw.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
             "WHERE i < " +
             std::to_string(count) +
             ") INSERT INTO Card (id, title, sortOrder, createdAt, "
             "modifiedAt, percentComplete) SELECT 'K' || (SELECT count(*) "
             "FROM Card) || '-' || i, 'K', 0, 0, 0, 100 * (i % 3 = 0) FROM n");
  };
  const auto hasTally = [&] {
    return raw.integer("SELECT count(*) FROM sqlite_schema WHERE name GLOB "
                       "'CardTally*'") > 0;
  };
  addCards(store::cardTally::kMinCards - 1);
  KanbanStore::makeContainer(file);
  EXPECT_FALSE(hasTally());
  addCards(1);
  {
    // Another program holding the write lock delays no start for them.
    test::RawConnection holder(file);
    holder.exec("BEGIN IMMEDIATE");
    KanbanStore::makeContainer(file);
    EXPECT_FALSE(hasTally());
    holder.exec("ROLLBACK");
  }
  KanbanStore::makeContainer(file);
  ASSERT_TRUE(hasTally());
  EXPECT_EQ(fromTally(raw.handle()), fromCards(raw.handle()));
  EXPECT_EQ(fromTally(raw.handle()).open,
            store::cardTally::kMinCards - store::cardTally::kMinCards / 3);

  raw.exec("DELETE FROM Card WHERE rowid > 10; DROP TRIGGER "
           "CardTally_cardLeaving; UPDATE Card SET isArchived = 1");
  KanbanStore::makeContainer(file);
  EXPECT_EQ(raw.integer("SELECT count(*) FROM sqlite_schema WHERE name = "
                        "'CardTally_cardLeaving'"),
            1);
  EXPECT_EQ(fromTally(raw.handle()), fromCards(raw.handle()));
  EXPECT_EQ(fromTally(raw.handle()).open, 0);
}

} // namespace
} // namespace taskory
