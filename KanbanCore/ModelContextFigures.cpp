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
  // One walk of the (plan, bucket, state) index, grouped by the stored
  // values themselves: a board has few distinct states, and decoding each
  // group here (as a loaded card decodes its fields) spares SQLite a
  // conversion per card. The groups add up to the figures of each plan and
  // of each bucket; they come in (plan, bucket) order, so each map is asked
  // once per plan and bucket.
  auto stmt = db.statement(
      "SELECT Card.plan, Card.bucket, Card.isArchived, Card.percentComplete, "
      "count(*) FROM Card GROUP BY Card.plan, Card.bucket, Card.isArchived, "
      "Card.percentComplete");
  BoardCounts counts;
  struct Running {
    std::unordered_map<std::string, CardCounts> &into;
    int column;
    std::string key;
    CardCounts *entry = nullptr;

    void add(const SqliteStatement &s, int64_t active, int64_t completed) {
      if (s.type(column) != SqliteType::text)
        return;
      if (!entry || s.bytes(column) != key) {
        key = std::string(s.bytes(column));
        entry = &into[key];
      }
      entry->active += active;
      entry->completed += completed;
    }
  } plan{counts.byPlan, 0, {}, nullptr},
      bucket{counts.byBucket, 1, {}, nullptr};
  while (stmt->step()) {
    bool archived = false;
    int64_t percent = 0;
    readColumn(*stmt, 2, archived);
    readColumn(*stmt, 3, percent);
    if (archived)
      continue;
    const int64_t cards = stmt->int64(4);
    plan.add(*stmt, cards, percent >= 100 ? cards : 0);
    bucket.add(*stmt, cards, percent >= 100 ? cards : 0);
  }
  return counts;
}

std::unordered_map<std::string, ModelContext::CardCounts>
ModelContext::goalCardCounts() {
  SqliteDatabase &db = flushedDatabase();
  // From the links to their cards (CROSS JOIN fixes that order); the
  // goal-state index answers each card's part without reading its row.
  auto stmt = db.statement(
      "SELECT CardGoal.goal, count(*), sum(" +
      integerExpression("Card.percentComplete", 0) +
      " >= 100) FROM CardGoal CROSS JOIN Card ON Card.id = CardGoal.card "
      "WHERE typeof(Card.id) = 'text' AND typeof(CardGoal.goal) = 'text' "
      "AND " +
      integerExpression("Card.isArchived", 0) + " = 0 GROUP BY CardGoal.goal");
  std::unordered_map<std::string, CardCounts> counts;
  while (stmt->step())
    counts[std::string(stmt->bytes(0))] = {stmt->int64(1), stmt->int64(2)};
  return counts;
}

namespace {

// The rows of a plan's children in rowid order, decoded as a loaded object
// decodes them (a row whose id is not text is left out there too).
template <class T> std::vector<T> planChildCopies(SqliteDatabase &db) {
  auto stmt = db.statement(selectSQL<T>() +
                           "WHERE typeof(plan) = 'text' AND typeof(id) = "
                           "'text' ORDER BY rowid");
  std::vector<T> copies;
  while (stmt->step())
    copies.push_back(readEntity<T>(*stmt));
  return copies;
}

} // namespace

std::vector<Goal> ModelContext::planGoalCopies() {
  return planChildCopies<Goal>(flushedDatabase());
}

std::vector<Bucket> ModelContext::planBucketCopies() {
  return planChildCopies<Bucket>(flushedDatabase());
}

bool ModelContext::hasOpenCard(const Bucket &bucket) {
  SqliteDatabase &db = flushedDatabase();
  auto stmt = db.statement("SELECT 1 FROM Card WHERE Card.bucket = ?1 AND "
                           "typeof(Card.id) = 'text' AND " +
                           openCard() + " LIMIT 1");
  stmt->bindText(1, bucket.id);
  return stmt->step();
}

// The planner's order puts earlier deadlines first, and a card's deadline is
// at most its due date. So: the open dated cards along the due-date index,
// each with the earliest target date of its goals, until `count` are read
// and the due date changes; then the cards whose goals' target dates reach
// back to that last due date (on a board with far-off goals, none); and only
// when the dated cards run short, every goal-dated card and the undated
// urgent, important, idea and My-Day ones. Every card left out has a later
// deadline than `count` cards returned, or none while they have one.
std::vector<ModelContext::PlanningCandidate>
ModelContext::planningCandidates(std::size_t count) {
  SqliteDatabase &db = flushedDatabase();
  std::vector<PlanningCandidate> found;
  if (count == 0)
    return found;
  std::unordered_set<int64_t> seen;
  static const std::string goalDate =
      "typeof(Goal.id) = 'text' AND typeof(Goal.targetDate) IN ('integer', "
      "'real')";

  std::optional<Date> lastDue;
  bool allDatedRead = true;
  {
    // Written as the due-order index's own terms (its first column fixed),
    // so that the rows come in due order from the index instead of a sort of
    // every dated card; the goal dates are looked up for the rows read only.
    auto stmt = db.statement(
        "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
        ", Card.dueDate, (SELECT min(Goal.targetDate) FROM CardGoal JOIN Goal "
        "ON Goal.id = CardGoal.goal WHERE CardGoal.card = Card.id AND " +
        goalDate + ") FROM Card WHERE (Card.dueDate IS NULL) = 0 AND " +
        std::string(kNumericDue) + " AND typeof(Card.id) = 'text' AND " +
        openCard() + " ORDER BY Card.dueDate");
    while (stmt->step()) {
      const Date due = stmt->real(4);
      if (found.size() >= count && due != *lastDue) {
        allDatedRead = false;
        break;
      }
      PlanningCandidate row = candidateRow(*stmt);
      row.due = due;
      const std::optional<Date> goal = optionalReal(*stmt, 5);
      row.deadline = goal && *goal < due ? *goal : due;
      seen.insert(row.rowid);
      found.push_back(std::move(row));
      lastDue = due;
    }
  }
  {
    // From the few goals to their links to the cards (CROSS JOIN fixes that
    // order): the other way round SQLite may walk every card.
    auto stmt = db.statement(
        "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
        ", CASE WHEN " + std::string(kNumericDue) +
        " THEN Card.dueDate END, min(Goal.targetDate) FROM Goal CROSS JOIN "
        "CardGoal ON CardGoal.goal = Goal.id CROSS JOIN Card ON Card.id = "
        "CardGoal.card WHERE " +
        goalDate + " AND (?1 IS NULL OR Goal.targetDate <= ?1) AND " +
        "typeof(Card.id) = 'text' AND " + openCard() + " GROUP BY Card.rowid");
    if (allDatedRead)
      stmt->bindNull(1);
    else
      stmt->bind(1, *lastDue);
    while (stmt->step()) {
      PlanningCandidate row = candidateRow(*stmt);
      if (!seen.insert(row.rowid).second)
        continue;
      row.due = optionalReal(*stmt, 4);
      const Date goal = stmt->real(5);
      row.deadline = row.due && *row.due < goal ? *row.due : goal;
      found.push_back(std::move(row));
    }
  }
  if (!allDatedRead || found.size() >= count)
    return found;

  auto stmt = db.statement(
      "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
      " FROM Card WHERE typeof(Card.dueDate) NOT IN ('integer', 'real') AND "
      "typeof(Card.id) = 'text' AND " +
      openCard() + " AND (" + priorityRank() + " < 2 OR " +
      integerExpression("Card.isIdeaTask", 0) + " <> 0 OR " +
      integerExpression("Card.isOnMyDay", 0) + " <> 0) ORDER BY " +
      priorityRank() + ", Card.rowid");
  // Past the count, only cards that tie with the last one on priority.
  std::size_t taken = 0;
  std::optional<int64_t> lastRank;
  while (stmt->step()) {
    if (seen.count(stmt->int64(2)))
      continue;
    const int64_t rank = stmt->int64(3);
    if (taken >= count && rank != *lastRank)
      break;
    found.push_back(candidateRow(*stmt));
    lastRank = rank;
    ++taken;
  }
  return found;
}

} // namespace taskory
