#include "Store/CardTally.h"

#include "KanbanCore/Card.h"
#include "Store/EntityTables.h"
#include "Store/Sqlite.h"

#include <array>

namespace taskory::store::cardTally {

namespace {

// A changed definition needs new names: a store keeps the triggers of the
// build that made them, and the names are how a start finds them current.
constexpr std::array<std::string_view, 13> kTriggers = {
    "CardTally_added",
    "CardTally_removed",
    "CardTally_changed",
    "CardTally_insertMeetsRow",
    "CardTally_updateMeetsRow",
    "CardGoalTally_cardAdded",
    "CardGoalTally_cardRemoved",
    "CardGoalTally_cardChanged",
    "CardGoalTally_linkAdded",
    "CardGoalTally_linkRemoved",
    "CardGoalTally_linkChanged",
    "CardGoalTally_insertMeetsRow",
    "CardGoalTally_updateMeetsRow"};

// A card row's fields as the tallies keep them: `row` is NEW, OLD or empty
// for the Card row itself.
struct Side {
  std::string id, plan, bucket, archived, done;
};

Side side(std::string_view row) {
  const std::string prefix = row.empty() ? "" : std::string(row) + ".";
  const auto key = [&](std::string_view column) {
    const std::string c = prefix + std::string(column);
    return "(CASE WHEN typeof(" + c + ") = 'text' THEN " + c +
           " ELSE x'' END)";
  };
  return {prefix + "id", key("plan"), key("bucket"),
          "(" + integerExpression(prefix + "isArchived", 0) + " <> 0)",
          "(" + integerExpression(prefix + "percentComplete", 0) +
              " >= " + std::to_string(kCompletedFromPercent) + ")"};
}

// No statement here can meet a conflict: the writer's own conflict
// resolution (INSERT OR REPLACE) would otherwise override the triggers'.
std::string sameKey(const Side &s) {
  return "plan = " + s.plan + " AND bucket = " + s.bucket;
}

std::string add(const Side &s, const std::string &when) {
  return "INSERT INTO CardTally (plan, bucket) SELECT " + s.plan + ", " +
         s.bucket + " WHERE " + when + " AND NOT EXISTS (SELECT 1 FROM " +
         "CardTally WHERE " + sameKey(s) + ");\n" +
         "UPDATE CardTally SET active = active + 1, completed = completed + " +
         s.done + " WHERE " + sameKey(s) + " AND " + when + ";\n";
}

std::string subtract(const Side &s, const std::string &when) {
  return "UPDATE CardTally SET active = active - 1, completed = completed - " +
         s.done + " WHERE " + sameKey(s) + " AND " + when + ";\n" +
         "DELETE FROM CardTally WHERE " + sameKey(s) +
         " AND active = 0 AND " + when + ";\n";
}

// The goals the links in `links` (a condition on CardGoal) name, each
// counting one card that is `done`; `sign` "+" or "-".
std::string countLinks(const std::string &links, const std::string &done,
                       char sign) {
  const std::string goals =
      "(SELECT goal FROM CardGoal WHERE " + links + " AND typeof(goal) = 'text')";
  std::string sql;
  if (sign == '+')
    sql += "INSERT INTO CardGoalTally (goal) SELECT goal FROM " + goals +
           " AS linked WHERE NOT EXISTS (SELECT 1 FROM CardGoalTally WHERE "
           "CardGoalTally.goal = linked.goal);\n";
  sql += "UPDATE CardGoalTally SET active = active " + std::string(1, sign) +
         " 1, completed = completed " + std::string(1, sign) + " " + done +
         " WHERE goal IN " + goals + ";\n";
  if (sign == '-')
    sql += "DELETE FROM CardGoalTally WHERE active = 0 AND goal IN " + goals +
           ";\n";
  return sql;
}

// The card a link names, when it counts: a card with a text id that is not
// archived. `link` is NEW or OLD.
std::string linkedCard(const std::string &link, const std::string &what) {
  const Side card = side("Card");
  return "(SELECT " + what + " FROM Card WHERE Card.id = " + link +
         ".card AND typeof(Card.id) = 'text' AND NOT " + card.archived + ")";
}

std::string countLink(const std::string &link, char sign) {
  const Side card = side("Card");
  const std::string counts = "typeof(" + link + ".goal) = 'text' AND EXISTS " +
                             linkedCard(link, "1");
  const std::string goal = "goal = " + link + ".goal";
  std::string sql;
  if (sign == '+')
    sql += "INSERT INTO CardGoalTally (goal) SELECT " + link + ".goal WHERE " +
           counts + " AND NOT EXISTS (SELECT 1 FROM CardGoalTally WHERE " +
           goal + ");\n";
  sql += "UPDATE CardGoalTally SET active = active " + std::string(1, sign) +
         " 1, completed = completed " + std::string(1, sign) + " " +
         linkedCard(link, card.done) + " WHERE " + goal + " AND " + counts +
         ";\n";
  if (sign == '-')
    sql += "DELETE FROM CardGoalTally WHERE " + goal + " AND active = 0;\n";
  return sql;
}

std::string buildRebuildSQL() {
  const Side added = side("NEW"), removed = side("OLD"), stored = side("");
  const std::string markStale = "INSERT INTO CardTallyStale VALUES (1);\n";
  std::string sql;
  for (std::string_view name : kTriggers)
    sql += "DROP TRIGGER IF EXISTS " + std::string(name) + ";\n";
  sql += "DROP TABLE IF EXISTS CardTally;\n"
         "DROP TABLE IF EXISTS CardGoalTally;\n"
         "DROP TABLE IF EXISTS CardTallyStale;\n"
         "CREATE TABLE CardTally (plan NOT NULL, bucket NOT NULL, active "
         "INTEGER NOT NULL DEFAULT 0, completed INTEGER NOT NULL DEFAULT 0, "
         "PRIMARY KEY (plan, bucket)) WITHOUT ROWID;\n"
         "CREATE TABLE CardGoalTally (goal NOT NULL PRIMARY KEY, active "
         "INTEGER NOT NULL DEFAULT 0, completed INTEGER NOT NULL DEFAULT 0) "
         "WITHOUT ROWID;\n"
         "CREATE TABLE CardTallyStale (mark INTEGER);\n";

  // Plans and buckets.
  sql += "CREATE TRIGGER CardTally_added AFTER INSERT ON Card BEGIN\n" +
         add(added, "NOT " + added.archived) + "END;\n";
  sql += "CREATE TRIGGER CardTally_removed AFTER DELETE ON Card BEGIN\n" +
         subtract(removed, "NOT " + removed.archived) + "END;\n";
  sql += "CREATE TRIGGER CardTally_changed AFTER UPDATE OF plan, bucket, "
         "isArchived, percentComplete ON Card WHEN OLD.plan IS NOT NEW.plan "
         "OR OLD.bucket IS NOT NEW.bucket OR OLD.isArchived IS NOT "
         "NEW.isArchived OR OLD.percentComplete IS NOT NEW.percentComplete "
         "BEGIN\n" +
         subtract(removed, "NOT " + removed.archived) +
         add(added, "NOT " + added.archived) + "END;\n";
  // Where a row with the same id or rowid exists, a REPLACE would remove it
  // unseen, and its links by a cascade the goal tally cannot follow.
  sql += "CREATE TRIGGER CardTally_insertMeetsRow BEFORE INSERT ON Card WHEN "
         "EXISTS (SELECT 1 FROM Card WHERE id = NEW.id) OR EXISTS (SELECT 1 "
         "FROM Card WHERE rowid = NEW.rowid) BEGIN\n" +
         markStale + "END;\n";
  sql += "CREATE TRIGGER CardTally_updateMeetsRow BEFORE UPDATE ON Card WHEN "
         "(NEW.id IS NOT OLD.id AND EXISTS (SELECT 1 FROM Card WHERE id = "
         "NEW.id)) OR (NEW.rowid IS NOT OLD.rowid AND EXISTS (SELECT 1 FROM "
         "Card WHERE rowid = NEW.rowid)) BEGIN\n" +
         markStale + "END;\n";

  // Goals: a link counts while its card exists with a text id and is not
  // archived. A deleted card's links are counted off before the row goes:
  // the cascade that removes them runs when the card is already gone.
  const auto cardCounts = [](const Side &card) {
    return "typeof(" + card.id + ") = 'text' AND NOT " + card.archived;
  };
  const auto linksOf = [](const Side &card) { return "card = " + card.id; };
  const auto hasLinks = [](const Side &card) {
    return "EXISTS (SELECT 1 FROM CardGoal WHERE card = " + card.id + ")";
  };
  sql += "CREATE TRIGGER CardGoalTally_cardAdded AFTER INSERT ON Card WHEN " +
         cardCounts(added) + " AND " + hasLinks(added) + " BEGIN\n" +
         countLinks(linksOf(added), added.done, '+') + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_cardRemoved BEFORE DELETE ON Card "
         "WHEN " +
         cardCounts(removed) + " AND " + hasLinks(removed) + " BEGIN\n" +
         countLinks(linksOf(removed), removed.done, '-') + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_cardChanged AFTER UPDATE OF id, "
         "isArchived, percentComplete ON Card WHEN (OLD.id IS NOT NEW.id OR "
         "OLD.isArchived IS NOT NEW.isArchived OR OLD.percentComplete IS NOT "
         "NEW.percentComplete) AND (" +
         hasLinks(removed) + " OR " + hasLinks(added) + ") BEGIN\n" +
         countLinks(linksOf(removed) + " AND " + cardCounts(removed),
                    removed.done, '-') +
         countLinks(linksOf(added) + " AND " + cardCounts(added), added.done,
                    '+') +
         "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_linkAdded AFTER INSERT ON CardGoal "
         "BEGIN\n" +
         countLink("NEW", '+') + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_linkRemoved AFTER DELETE ON CardGoal "
         "BEGIN\n" +
         countLink("OLD", '-') + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_linkChanged AFTER UPDATE OF card, goal "
         "ON CardGoal BEGIN\n" +
         countLink("OLD", '-') + countLink("NEW", '+') + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_insertMeetsRow BEFORE INSERT ON "
         "CardGoal WHEN EXISTS (SELECT 1 FROM CardGoal WHERE card = NEW.card "
         "AND goal = NEW.goal) OR EXISTS (SELECT 1 FROM CardGoal WHERE rowid = "
         "NEW.rowid) BEGIN\n" +
         markStale + "END;\n";
  sql += "CREATE TRIGGER CardGoalTally_updateMeetsRow BEFORE UPDATE ON "
         "CardGoal WHEN ((NEW.card IS NOT OLD.card OR NEW.goal IS NOT "
         "OLD.goal) AND EXISTS (SELECT 1 FROM CardGoal WHERE card = NEW.card "
         "AND goal = NEW.goal)) OR (NEW.rowid IS NOT OLD.rowid AND EXISTS "
         "(SELECT 1 FROM CardGoal WHERE rowid = NEW.rowid)) BEGIN\n" +
         markStale + "END;\n";

  sql += "INSERT INTO CardTally (plan, bucket, active, completed) SELECT " +
         stored.plan + ", " + stored.bucket + ", count(*), sum(" +
         stored.done + ") FROM Card WHERE NOT " + stored.archived +
         " GROUP BY 1, 2;\n";
  const Side card = side("Card");
  sql += "INSERT INTO CardGoalTally (goal, active, completed) SELECT "
         "CardGoal.goal, count(*), sum(" +
         card.done +
         ") FROM CardGoal JOIN Card ON Card.id = CardGoal.card WHERE "
         "typeof(CardGoal.goal) = 'text' AND " +
         cardCounts(card) + " GROUP BY 1;\n";
  return sql;
}

} // namespace

const std::string &rebuildSQL() {
  static const std::string sql = buildRebuildSQL();
  return sql;
}

bool intact(SqliteDatabase &db, const std::set<std::string> &triggerNames) {
  for (std::string_view name : kTriggers)
    if (!triggerNames.count(std::string(name)))
      return false;
  return db.hasTable("CardTally") && db.hasTable("CardTallyStale") &&
         db.queryInteger("SELECT EXISTS (SELECT 1 FROM CardTallyStale)") == 0;
}

bool intact(SqliteDatabase &db) {
  static const std::string sql = [] {
    std::string names;
    for (std::string_view name : kTriggers)
      names += (names.empty() ? "'" : ", '") + std::string(name) + "'";
    return "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND name "
           "IN (" +
           names + ")";
  }();
  std::set<std::string> found;
  auto stmt = db.statement(sql);
  while (stmt->step())
    found.emplace(stmt->bytes(0));
  return intact(db, found);
}

std::string_view planBucketRowsSQL() {
  return "SELECT plan, bucket, active, completed FROM CardTally";
}

std::string_view goalRowsSQL() {
  return "SELECT goal, active, completed FROM CardGoalTally";
}

} // namespace taskory::store::cardTally
