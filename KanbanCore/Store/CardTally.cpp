#include "Store/CardTally.h"

#include "KanbanCore/Card.h"
#include "Store/EntityTables.h"
#include "Store/Sqlite.h"

#include <array>

namespace taskory::store::cardTally {

namespace {

// A changed definition needs new names: a store keeps the triggers of the
// build that made them, and the names are how a start finds them current.
constexpr std::array<std::string_view, 5> kTriggers = {
    "CardTally_added", "CardTally_removed", "CardTally_changed",
    "CardTally_insertMeetsRow", "CardTally_updateMeetsRow"};

struct Side {
  std::string plan, bucket, archived, done;
};

// The row's fields as the tally keeps them: `row` is NEW, OLD or empty for
// the Card row itself.
Side side(std::string_view row) {
  const std::string prefix = row.empty() ? "" : std::string(row) + ".";
  const auto key = [&](std::string_view column) {
    const std::string c = prefix + std::string(column);
    return "(CASE WHEN typeof(" + c + ") = 'text' THEN " + c +
           " ELSE x'' END)";
  };
  return {key("plan"), key("bucket"),
          "(" + integerExpression(prefix + "isArchived", 0) + " <> 0)",
          "(" + integerExpression(prefix + "percentComplete", 0) +
              " >= " + std::to_string(kCompletedFromPercent) + ")"};
}

std::string sameKey(const Side &s) {
  return "plan = " + s.plan + " AND bucket = " + s.bucket;
}

// No statement here can meet a conflict: the writer's own conflict
// resolution (INSERT OR REPLACE) would otherwise override the triggers'.
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

std::string buildRebuildSQL() {
  const Side added = side("NEW"), removed = side("OLD"), stored = side("");
  const std::string markStale = "INSERT INTO CardTallyStale VALUES (1);\n";
  std::string sql;
  for (std::string_view name : kTriggers)
    sql += "DROP TRIGGER IF EXISTS " + std::string(name) + ";\n";
  sql += "DROP TABLE IF EXISTS CardTally;\n"
         "DROP TABLE IF EXISTS CardTallyStale;\n"
         "CREATE TABLE CardTally (plan NOT NULL, bucket NOT NULL, active "
         "INTEGER NOT NULL DEFAULT 0, completed INTEGER NOT NULL DEFAULT 0, "
         "PRIMARY KEY (plan, bucket)) WITHOUT ROWID;\n"
         "CREATE TABLE CardTallyStale (mark INTEGER);\n";
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
  // unseen.
  sql += "CREATE TRIGGER CardTally_insertMeetsRow BEFORE INSERT ON Card WHEN "
         "EXISTS (SELECT 1 FROM Card WHERE id = NEW.id) OR EXISTS (SELECT 1 "
         "FROM Card WHERE rowid = NEW.rowid) BEGIN\n" +
         markStale + "END;\n";
  sql += "CREATE TRIGGER CardTally_updateMeetsRow BEFORE UPDATE ON Card WHEN "
         "(NEW.id IS NOT OLD.id AND EXISTS (SELECT 1 FROM Card WHERE id = "
         "NEW.id)) OR (NEW.rowid IS NOT OLD.rowid AND EXISTS (SELECT 1 FROM "
         "Card WHERE rowid = NEW.rowid)) BEGIN\n" +
         markStale + "END;\n";
  sql += "INSERT INTO CardTally (plan, bucket, active, completed) SELECT " +
         stored.plan + ", " + stored.bucket + ", count(*), sum(" +
         stored.done + ") FROM Card WHERE NOT " + stored.archived +
         " GROUP BY 1, 2;\n";
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
    return "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND "
           "tbl_name = 'Card' AND name IN (" +
           names + ")";
  }();
  std::set<std::string> found;
  auto stmt = db.statement(sql);
  while (stmt->step())
    found.emplace(stmt->bytes(0));
  return intact(db, found);
}

std::string_view rowsSQL() {
  return "SELECT plan, bucket, active, completed FROM CardTally";
}

} // namespace taskory::store::cardTally
