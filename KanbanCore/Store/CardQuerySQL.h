#pragma once

// A CardQuery as SQL: one WHERE clause with bound parameters, and the
// statements for the rows and for the count. Conditions on stored numbers
// go through the same tolerant conversions as loading an entity, so a card
// matches exactly when its loaded values would.

#include "KanbanCore/CardQuery.h"

#include <cstdint>
#include <functional>
#include <string>

namespace taskory {

class SqliteStatement;
class SqliteDatabase;

namespace store {

struct CardFilter {
  std::string where;
  // Binds parameters 1...parameterCount.
  std::function<void(SqliteStatement &)> bind;
  int parameterCount = 0;
  // An empty bucket list: no need to ask the store.
  bool matchesNothing = false;
};

CardFilter cardFilter(const CardQuery &query);

// The cards of `query` in the list order (due date, undated last,
// sortOrder, rowid), with the row limit as parameter parameterCount + 1.
std::string cardSelectSQL(const CardQuery &query, const CardFilter &filter);
std::string cardCountSQL(const CardQuery &query, const CardFilter &filter);
// rowid, dueDate, sortOrder of every card of `query`, in no particular order.
std::string cardMatchesSQL(const CardQuery &query, const CardFilter &filter);
// The cards whose rowids ?1 lists (a JSON array) in the list order, at most
// ?2 of them.
const std::string &cardsOfRowidsSQL();

// Not archived and below 100 percent.
const std::string &openCardCondition();

// Installs the query's text test as the SQL function text_predicate for
// the scope of one statement.
class PredicateScope {
public:
  PredicateScope(SqliteDatabase &db, const CardQuery &query);
  ~PredicateScope();
  PredicateScope(const PredicateScope &) = delete;
  PredicateScope &operator=(const PredicateScope &) = delete;

private:
  SqliteDatabase &db_;
};

} // namespace store
} // namespace taskory
