#include "KanbanCore/Store/CardQuerySQL.h"

#include "KanbanCore/Store/EntityTables.h"
#include "KanbanCore/Store/Sqlite.h"

#include <utility>
#include <vector>

namespace taskory::store {

CardFilter cardFilter(const CardQuery &query) {
  CardFilter filter;
  std::vector<std::function<void(SqliteStatement &, int)>> binders;
  std::string where = "1";
  auto parameter = [&](auto &&bind) {
    binders.emplace_back(std::forward<decltype(bind)>(bind));
    return "?" + std::to_string(binders.size());
  };
  if (query.planID)
    where += " AND Card.plan = " +
             parameter([id = *query.planID](SqliteStatement &s, int i) {
               s.bindText(i, id);
             });
  if (query.bucketIDs) {
    if (query.bucketIDs->empty())
      filter.matchesNothing = true;
    std::string list;
    for (const UUID &id : *query.bucketIDs) {
      if (!list.empty())
        list += ", ";
      list += parameter([id](SqliteStatement &s, int i) { s.bindText(i, id); });
    }
    if (!list.empty())
      where += " AND Card.bucket IN (" + list + ")";
  }
  if (!query.includeArchived)
    where += " AND " + integerExpression("Card.isArchived", 0) + " = 0";
  if (query.minPercent)
    where += " AND " + integerExpression("Card.percentComplete", 0) + " >= " +
             parameter([v = *query.minPercent](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.maxPercent)
    where += " AND " + integerExpression("Card.percentComplete", 0) + " <= " +
             parameter([v = *query.maxPercent](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.dueAtOrBefore)
    // Written so that the order index serves it as a range: only numeric
    // due dates count, which is what a loaded card shows.
    where += " AND (Card.dueDate IS NULL) = 0 AND Card.dueDate <= " +
             parameter([v = *query.dueAtOrBefore](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.textMatches)
    where += " AND text_predicate(Card.title, Card.notes)";
  filter.where = std::move(where);
  filter.parameterCount = static_cast<int>(binders.size());
  filter.bind = [binders = std::move(binders)](SqliteStatement &s) {
    for (std::size_t i = 0; i < binders.size(); ++i)
      binders[i](s, static_cast<int>(i) + 1);
  };
  return filter;
}

std::string cardSelectSQL(const CardQuery &query, const CardFilter &filter) {
  // Under a due limit every row is dated, so the "undated last" key is
  // constant; leaving it out lets the order index deliver the rows in order
  // instead of sorting the whole range. A text test over the whole store is
  // cheaper as one pass over the table than as an index walk that looks up
  // every row.
  const bool wholeStore = !query.planID && !query.bucketIDs;
  return selectSQL<Card>() +
         (wholeStore && query.textMatches ? "NOT INDEXED " : "") + "WHERE " +
         filter.where +
         (query.dueAtOrBefore
              ? " ORDER BY Card.dueDate, Card.sortOrder, Card.rowid LIMIT ?"
              : " ORDER BY (Card.dueDate IS NULL), Card.dueDate, "
                "Card.sortOrder, Card.rowid LIMIT ?") +
         std::to_string(filter.parameterCount + 1);
}

std::string cardCountSQL(const CardQuery &query, const CardFilter &filter) {
  return std::string("SELECT count(*) FROM Card ") +
         (!query.planID && !query.bucketIDs &&
                  (query.textMatches || query.dueAtOrBefore)
              ? "NOT INDEXED "
              : "") +
         "WHERE " + filter.where;
}

const std::string &openCardCondition() {
  static const std::string sql =
      integerExpression("Card.isArchived", 0) + " = 0 AND " +
      integerExpression("Card.percentComplete", 0) + " < 100";
  return sql;
}

PredicateScope::PredicateScope(SqliteDatabase &db, const CardQuery &query)
    : db_(db) {
  db_.setTextPredicate(query.textMatches ? &query.textMatches : nullptr);
}

PredicateScope::~PredicateScope() { db_.setTextPredicate(nullptr); }

} // namespace taskory::store
