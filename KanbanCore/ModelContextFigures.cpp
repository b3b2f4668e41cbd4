// The queries of ModelContext that answer with figures or light rows instead
// of entities: the overviews count tens of thousands of cards, and loading
// each of them as an entity costs time and memory that grow with the store
// rather than with the answer.
#include "KanbanCore/ModelContext.h"

#include "KanbanCore/Store/EntityTables.h"
#include "KanbanCore/Store/Sqlite.h"

#include <string>
#include <unordered_set>

namespace taskory {

using namespace store;

namespace {

// The stored values decoded as a loaded card decodes them (text where a
// number belongs reads as the field's initial value), so that a figure
// always agrees with what the entities would show.
const std::string &openCard() {
  static const std::string sql =
      integerExpression("Card.isArchived", 0) + " = 0 AND " +
      integerExpression("Card.percentComplete", 0) + " < 100";
  return sql;
}

const std::string &priorityRank() {
  static const std::string sql = [] {
    const std::string raw = integerExpression("Card.priorityRaw", 5);
    return "(CASE WHEN " + raw + " < 2 THEN 0 WHEN " + raw +
           " < 5 THEN 1 WHEN " + raw + " < 8 THEN 2 ELSE 3 END)";
  }();
  return sql;
}

constexpr std::string_view kNumericDue =
    "typeof(Card.dueDate) IN ('integer', 'real')";

std::optional<Date> optionalReal(const SqliteStatement &s, int column) {
  const SqliteType type = s.type(column);
  if (type == SqliteType::integer || type == SqliteType::real)
    return s.real(column);
  return std::nullopt;
}

ModelContext::PlanningCandidate candidateRow(const SqliteStatement &s) {
  ModelContext::PlanningCandidate row;
  row.id = std::string(s.bytes(0));
  row.title = std::string(s.bytes(1));
  row.rowid = s.int64(2);
  row.priorityRank = s.int64(3);
  return row;
}

} // namespace

ModelContext::BoardCounts ModelContext::boardCounts() {
  SqliteDatabase &db = flushedDatabase();
  // One walk of the (plan, bucket, state) index: the groups of (plan,
  // bucket) add up to the figures of each plan and of each bucket.
  auto stmt = db.statement("SELECT Card.plan, Card.bucket, count(*), sum(" +
                           integerExpression("Card.percentComplete", 0) +
                           " >= 100) FROM Card WHERE " +
                           integerExpression("Card.isArchived", 0) +
                           " = 0 GROUP BY Card.plan, Card.bucket");
  BoardCounts counts;
  while (stmt->step()) {
    const int64_t active = stmt->int64(2), completed = stmt->int64(3);
    auto add = [&](std::unordered_map<std::string, CardCounts> &into,
                   int column) {
      if (stmt->type(column) != SqliteType::text)
        return;
      CardCounts &entry = into[std::string(stmt->bytes(column))];
      entry.active += active;
      entry.completed += completed;
    };
    add(counts.byPlan, 0);
    add(counts.byBucket, 1);
  }
  return counts;
}

std::unordered_map<std::string, ModelContext::CardCounts>
ModelContext::goalCardCounts() {
  SqliteDatabase &db = flushedDatabase();
  auto stmt = db.statement(
      "SELECT CardGoal.goal, count(*), sum(" +
      integerExpression("Card.percentComplete", 0) +
      " >= 100) FROM CardGoal JOIN Card ON Card.id = CardGoal.card WHERE "
      "typeof(Card.id) = 'text' AND typeof(CardGoal.goal) = 'text' AND " +
      integerExpression("Card.isArchived", 0) + " = 0 GROUP BY CardGoal.goal");
  std::unordered_map<std::string, CardCounts> counts;
  while (stmt->step())
    counts[std::string(stmt->bytes(0))] = {stmt->int64(1), stmt->int64(2)};
  return counts;
}

bool ModelContext::hasOpenCard(const Bucket &bucket) {
  SqliteDatabase &db = flushedDatabase();
  auto stmt = db.statement("SELECT 1 FROM Card WHERE Card.bucket = ?1 AND "
                           "typeof(Card.id) = 'text' AND " +
                           openCard() + " LIMIT 1");
  stmt->bindText(1, bucket.id);
  return stmt->step();
}

// Three sources, each read in the planner's order so that reading can stop
// early: open cards with a goal target date (few; their deadline needs the
// goals), then the other open cards with a due date along the due-date index
// (their deadline is the due date, so that order is the planner's), and only
// when those run short the undated urgent, important, idea and My-Day cards.
std::vector<ModelContext::PlanningCandidate>
ModelContext::planningCandidates(std::size_t count) {
  SqliteDatabase &db = flushedDatabase();
  std::vector<PlanningCandidate> found;
  std::unordered_set<int64_t> withGoalDate;
  {
    auto stmt = db.statement(
        "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
        ", CASE WHEN " + std::string(kNumericDue) +
        " THEN Card.dueDate END, min(Goal.targetDate) FROM CardGoal JOIN "
        "Card ON Card.id = CardGoal.card JOIN Goal ON Goal.id = "
        "CardGoal.goal WHERE typeof(Card.id) = 'text' AND typeof(Goal.id) = "
        "'text' AND typeof(Goal.targetDate) IN ('integer', 'real') AND " +
        openCard() + " GROUP BY Card.rowid");
    while (stmt->step()) {
      PlanningCandidate row = candidateRow(*stmt);
      row.due = optionalReal(*stmt, 4);
      const Date goalDate = stmt->real(5);
      row.deadline = row.due && *row.due < goalDate ? *row.due : goalDate;
      withGoalDate.insert(row.rowid);
      found.push_back(std::move(row));
    }
  }

  // Past the count, only cards that tie with the last one taken.
  auto readUntilFull = [&](SqliteStatement &stmt, auto &&key, auto &&fill) {
    std::size_t taken = 0;
    std::optional<decltype(key(stmt))> lastKey;
    while (stmt.step()) {
      if (withGoalDate.count(stmt.int64(2)))
        continue;
      auto rowKey = key(stmt);
      if (taken >= count && rowKey != *lastKey)
        break;
      PlanningCandidate row = candidateRow(stmt);
      fill(stmt, row);
      found.push_back(std::move(row));
      lastKey = rowKey;
      ++taken;
    }
    return taken;
  };

  std::size_t dated = 0;
  {
    // Written as the due-order index's own terms (its first column fixed),
    // so that the rows come in due order from the index instead of a sort of
    // every dated card.
    auto stmt = db.statement(
        "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
        ", Card.dueDate FROM Card WHERE (Card.dueDate IS NULL) = 0 AND " +
        std::string(kNumericDue) + " AND typeof(Card.id) = 'text' AND " +
        openCard() + " ORDER BY Card.dueDate");
    dated = readUntilFull(
        *stmt, [](const SqliteStatement &s) { return s.real(4); },
        [](const SqliteStatement &s, PlanningCandidate &row) {
          row.due = s.real(4);
          row.deadline = row.due;
        });
  }
  if (withGoalDate.size() + dated >= count)
    return found;

  auto stmt = db.statement(
      "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
      " FROM Card WHERE typeof(Card.dueDate) NOT IN ('integer', 'real') AND "
      "typeof(Card.id) = 'text' AND " +
      openCard() + " AND (" + priorityRank() + " < 2 OR " +
      integerExpression("Card.isIdeaTask", 0) + " <> 0 OR " +
      integerExpression("Card.isOnMyDay", 0) + " <> 0) ORDER BY " +
      priorityRank() + ", Card.rowid");
  readUntilFull(
      *stmt, [](const SqliteStatement &s) { return s.int64(3); },
      [](const SqliteStatement &, PlanningCandidate &) {});
  return found;
}

} // namespace taskory
