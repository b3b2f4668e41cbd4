#include "Store/CardTally.h"

#include "KanbanCore/Card.h"
#include "Store/EntityTables.h"
#include "Store/Sqlite.h"

#include <array>
#include <system_error>

namespace taskory::store::cardTally {

namespace {

// A changed definition needs new names: a store keeps the triggers of the
// build that made them, and the names are how a start finds them current.
constexpr std::array<std::string_view, 12> kTriggers = {
    "CardTally_cardInserted",    "CardTally_cardDeleting",
    "CardTally_cardLeaving",     "CardTally_cardArriving",
    "CardTally_linkInserted",    "CardTally_linkDeleted",
    "CardTally_linkLeaving",     "CardTally_linkArriving",
    "CardTally_cardInsertMarks", "CardTally_cardUpdateMarks",
    "CardTally_linkInsertMarks", "CardTally_linkUpdateMarks"};

// Triggers of earlier versions: a start that finds one builds the tallies
// anew without it.
constexpr std::array<std::string_view, 17> kRetiredTriggers = {
    "CardTally_cardInsertMeets",
    "CardTally_cardUpdateMeets",
    "CardTally_linkInsertMeets",
    "CardTally_linkUpdateMeets",
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

// Every trigger name a tally of any version may have left.
template <class F> void forEachTriggerName(F f) {
  for (std::string_view name : kTriggers)
    f(name);
  for (std::string_view name : kRetiredTriggers)
    f(name);
}

bool anyOf(const auto &names, const std::set<std::string> &found) {
  for (std::string_view name : names)
    if (found.count(std::string(name)))
      return true;
  return false;
}

// SQLite parses every trigger each time a connection reads the schema, at
// every start, at about 300 instructions a byte: the texts are kept short.
// A card's two fields are decoded as a loaded card decodes them (a number
// converted as SQLite converts it, anything else 0), by comparisons: text
// and blobs sort after every number, NULL compares as nothing. Keys are the
// stored values themselves, matched with IS; only text keys are a plan's,
// bucket's or goal's.

// The card `c` (NEW, OLD or Card) is not archived: its number truncates to
// 0.
std::string counts(const std::string &c) {
  const std::string a = c + ".isArchived";
  return "NOT ifnull(" + a + " BETWEEN 1 AND 9e999 OR " + a + " <= -1, 0)";
}

// The card `c` is done: a number of at least the completed percentage.
std::string done(const std::string &c) {
  return "ifnull(" + c + ".percentComplete BETWEEN " +
         std::to_string(kCompletedFromPercent) + " AND 9e999, 0)";
}

std::string sameBoardKey(const std::string &c) {
  return "plan IS " + c + ".plan AND bucket IS " + c + ".bucket";
}

// Moves the figures of the rows of `table` that `where` selects by one
// card, done or not as `isDone` says; `sign` is '+' or '-'.
std::string move(std::string_view table, char sign, const std::string &isDone,
                 const std::string &where) {
  const std::string by(1, sign);
  return "UPDATE " + std::string(table) + " SET active = active " + by +
         " 1, completed = completed " + by + " " + isDone + " WHERE " + where +
         ";\n";
}

std::string linkedGoals(const std::string &c) {
  return "goal IN (SELECT goal FROM CardGoal WHERE card = " + c +
         ".id AND typeof(" + c + ".id) = 'text')";
}

// A card that counts arrives (inserted, or updated into counting). Every
// goal with a link has its row already (linkArrives), whether the link
// counts or not.
std::string cardArrives(const std::string &c) {
  return move("CardTally", '+', done(c), sameBoardKey(c)) +
         "INSERT INTO CardTally SELECT " + c + ".plan, " + c + ".bucket, 1, " +
         done(c) + " WHERE changes() = 0;\n" +
         move("CardGoalTally", '+', done(c), linkedGoals(c));
}

// A card that counted leaves (deleted, or updated out of counting). A
// deleted card leaves before its row goes: the cascade that removes its
// links runs when the card is already gone.
std::string cardLeaves(const std::string &c) {
  return move("CardTally", '-', done(c), sameBoardKey(c)) +
         "DELETE FROM CardTally WHERE active = 0 AND " + sameBoardKey(c) +
         ";\n" + move("CardGoalTally", '-', done(c), linkedGoals(c));
}

// The state of the link `l`'s card when the link counts (the card exists
// with a text id and is not archived): 1 done, 0 not; NULL when it does not
// count.
std::string linkDone(const std::string &l) {
  return "(SELECT " + done("Card") + " FROM Card WHERE id = " + l +
         ".card AND typeof(id) = 'text' AND " + counts("Card") + ")";
}

std::string linkArrives(const std::string &l) {
  const std::string goal = "goal IS " + l + ".goal";
  return "INSERT INTO CardGoalTally SELECT " + l +
         ".goal, 0, 0 WHERE NOT EXISTS (SELECT 1 FROM CardGoalTally WHERE " +
         goal + ");\n" +
         move("CardGoalTally", '+', linkDone(l),
              goal + " AND " + linkDone(l) + " IS NOT NULL");
}

std::string linkLeaves(const std::string &l) {
  return move("CardGoalTally", '-', linkDone(l), "goal IS " + l + ".goal");
}

std::string trigger(std::string_view name, std::string_view event,
                    const std::string &when, const std::string &body) {
  return "CREATE TRIGGER " + std::string(name) + " " + std::string(event) +
         (when.empty() ? "" : " WHEN " + when) + " BEGIN\n" + body + "END;\n";
}

std::string buildRebuildSQL() {
  std::string sql;
  forEachTriggerName([&](std::string_view name) {
    sql += "DROP TRIGGER IF EXISTS " + std::string(name) + ";\n";
  });
  // No constraint on the keys: a conflict in a trigger would be resolved by
  // the writer's own OR REPLACE or OR IGNORE, not by the trigger.
  sql += "DROP TABLE IF EXISTS CardTally;\n"
         "DROP TABLE IF EXISTS CardGoalTally;\n"
         "DROP TABLE IF EXISTS CardTallyStale;\n"
         "CREATE TABLE CardTally (plan, bucket, active, completed);\n"
         "CREATE INDEX CardTally_key ON CardTally (plan, bucket);\n"
         "CREATE TABLE CardGoalTally (goal, active, completed);\n"
         "CREATE INDEX CardGoalTally_key ON CardGoalTally (goal);\n"
         "CREATE TABLE CardTallyStale (mark);\n";

  const std::string cardColumns =
      "OF id, plan, bucket, isArchived, percentComplete ON Card";
  const std::string cardChanged =
      "(OLD.id IS NOT NEW.id OR OLD.plan IS NOT NEW.plan OR OLD.bucket IS NOT "
      "NEW.bucket OR OLD.isArchived IS NOT NEW.isArchived OR "
      "OLD.percentComplete IS NOT NEW.percentComplete)";
  sql += trigger("CardTally_cardInserted", "AFTER INSERT ON Card",
                 counts("NEW"), cardArrives("NEW"));
  sql += trigger("CardTally_cardDeleting", "BEFORE DELETE ON Card",
                 counts("OLD"), cardLeaves("OLD"));
  sql += trigger("CardTally_cardLeaving", "AFTER UPDATE " + cardColumns,
                 counts("OLD") + " AND " + cardChanged, cardLeaves("OLD"));
  sql += trigger("CardTally_cardArriving", "AFTER UPDATE " + cardColumns,
                 counts("NEW") + " AND " + cardChanged, cardArrives("NEW"));

  const std::string linkColumns = "OF card, goal ON CardGoal";
  sql += trigger("CardTally_linkInserted", "AFTER INSERT ON CardGoal", "",
                 linkArrives("NEW"));
  sql += trigger("CardTally_linkDeleted", "AFTER DELETE ON CardGoal",
                 linkDone("OLD") + " IS NOT NULL", linkLeaves("OLD"));
  sql += trigger("CardTally_linkLeaving", "AFTER UPDATE " + linkColumns,
                 linkDone("OLD") + " IS NOT NULL", linkLeaves("OLD"));
  sql += trigger("CardTally_linkArriving", "AFTER UPDATE " + linkColumns, "",
                 linkArrives("NEW"));

  // Where a row with the same key or rowid exists, a REPLACE would remove it
  // unseen, and a card's links by a cascade the tally cannot follow.
  // One mark is enough, however often a writer meets a row.
  const std::string markStale = "INSERT INTO CardTallyStale SELECT 1 WHERE NOT "
                                "EXISTS (SELECT 1 FROM CardTallyStale);\n";
  // Each test is one index seek, and an update that keeps its keys makes
  // none.
  const std::string cardMeets = "EXISTS (SELECT 1 FROM Card WHERE id = NEW.id)",
                    linkMeets = "EXISTS (SELECT 1 FROM CardGoal WHERE card = "
                                "NEW.card AND goal = NEW.goal)";
  const auto rowMeets = [](std::string_view table) {
    return "EXISTS (SELECT 1 FROM " + std::string(table) +
           " WHERE rowid = NEW.rowid)";
  };
  sql += trigger("CardTally_cardInsertMarks", "BEFORE INSERT ON Card",
                 cardMeets + " OR " + rowMeets("Card"), markStale);
  sql += trigger("CardTally_cardUpdateMarks", "BEFORE UPDATE ON Card",
                 "NEW.id IS NOT OLD.id AND " + cardMeets +
                     " OR NEW.rowid IS NOT OLD.rowid AND " + rowMeets("Card"),
                 markStale);
  sql += trigger("CardTally_linkInsertMarks", "BEFORE INSERT ON CardGoal",
                 linkMeets + " OR " + rowMeets("CardGoal"), markStale);
  sql += trigger("CardTally_linkUpdateMarks", "BEFORE UPDATE ON CardGoal",
                 "(NEW.card IS NOT OLD.card OR NEW.goal IS NOT OLD.goal) AND " +
                     linkMeets + " OR NEW.rowid IS NOT OLD.rowid AND " +
                     rowMeets("CardGoal"),
                 markStale);

  sql += "INSERT INTO CardTally SELECT plan, bucket, count(*), sum(" +
         done("Card") + ") FROM Card WHERE " + counts("Card") +
         " GROUP BY plan, bucket;\n";
  // A row for every goal with a link, as linkArrives leaves it. The archived
  // test is written as the goal-state index's column, which lets SQLite
  // answer each link from that index instead of the card's row.
  sql += "INSERT INTO CardGoalTally SELECT CardGoal.goal, count(Card.id), "
         "ifnull(sum(" +
         done("Card") +
         "), 0) FROM CardGoal LEFT JOIN Card ON Card.id = CardGoal.card AND "
         "typeof(Card.id) = 'text' AND " +
         integerExpression("Card.isArchived", 0) +
         " = 0 GROUP BY CardGoal.goal;\n";
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
  if (anyOf(kRetiredTriggers, triggerNames))
    return false;
  return db.hasTable("CardTally") && db.hasTable("CardTallyStale") &&
         db.queryInteger("SELECT EXISTS (SELECT 1 FROM CardTallyStale)") == 0;
}

bool wanted(SqliteDatabase &db, const std::set<std::string> &triggerNames,
            const std::filesystem::path &file) {
  if (intact(db, triggerNames))
    return false;
  if (anyOf(kTriggers, triggerNames) || anyOf(kRetiredTriggers, triggerNames))
    return true;
  // A card takes more than 100 bytes of the store (its id alone is stored
  // twice).
  std::uintmax_t bytes = 0;
  for (const std::string suffix : {"", "-wal"}) {
    std::error_code unknown;
    const std::uintmax_t size =
        std::filesystem::file_size(file.string() + suffix, unknown);
    bytes += unknown ? 0 : size;
  }
  if (bytes < static_cast<std::uintmax_t>(kMinCards) * 100)
    return false;
  // Counted no further than the threshold: a store's first start with this
  // build reads at most that many index entries.
  return db.queryInteger("SELECT count(*) FROM (SELECT 1 FROM Card LIMIT " +
                         std::to_string(kMinCards) + ")") >= kMinCards;
}

bool intact(SqliteDatabase &db) {
  static const std::string sql = [] {
    std::string names;
    forEachTriggerName([&](std::string_view name) {
      names += (names.empty() ? "'" : ", '") + std::string(name) + "'";
    });
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

std::string_view openCardsSQL() {
  return "SELECT ifnull(sum(active - completed), 0) FROM CardTally";
}

std::string_view goalRowsSQL() {
  return "SELECT goal, active, completed FROM CardGoalTally";
}

} // namespace taskory::store::cardTally
