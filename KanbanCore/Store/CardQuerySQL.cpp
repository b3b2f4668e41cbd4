#include "Store/CardQuerySQL.h"

#include "KanbanCore/Card.h"
#include "Store/EntityTables.h"
#include "Store/Schema.h"
#include "Store/Sqlite.h"

#include <limits>
#include <utility>
#include <vector>

namespace taskory::store {

namespace {

// Conditions on an integer field whose initial value is 0, as a loaded
// entity decodes it (a real truncated toward zero, anything that is not a
// number as 0), written as plain comparisons instead of a CASE on typeof():
// that CASE compares type names on every row, which dominates a count over
// a large store. SQLite orders NULL first, then numbers, then text, then
// blobs, so "x >= ''" holds exactly for text and blobs and "x < ''" exactly
// for numbers.
std::string notANumber(const std::string &x) {
  return x + " IS NULL OR " + x + " >= ''";
}

std::string decodesToZero(const std::string &x) {
  return "(" + x + " > -1 AND " + x + " < 1 OR " + notANumber(x) + ")";
}

// `bound` is the value that `parameter` holds; its sign decides the form.
// It must not be the end of the 64-bit range (the bound plus or minus one
// would not be an integer), where the condition holds for every card anyway.
std::string decodesAtMost(const std::string &x, int64_t bound,
                          const std::string &parameter) {
  if (bound < 0)
    return x + " <= " + parameter;
  return "(" + x + " < " + parameter + " + 1 OR " + notANumber(x) + ")";
}

std::string decodesAtLeast(const std::string &x, int64_t bound,
                           const std::string &parameter) {
  if (bound > 0)
    return "(" + x + " >= " + parameter + " AND " + x + " < '')";
  return "(" + x + " > " + parameter + " - 1 OR " + notANumber(x) + ")";
}

constexpr int64_t kNoLowerBound = std::numeric_limits<int64_t>::min();
constexpr int64_t kNoUpperBound = std::numeric_limits<int64_t>::max();

} // namespace

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
  // The open cards of the whole store are a range of the open-card index.
  // Their condition is then written exactly as that index's, which is what
  // lets SQLite take it and skip the test for each card it holds. A text
  // test reads every row anyway, in table order, and keeps the cheaper form.
  const bool openOfWholeStore =
      !query.planID && !query.bucketIDs && !query.includeArchived &&
      !query.minPercent && query.maxPercent == kCompletedFromPercent - 1 &&
      !query.textMatches;
  if (openOfWholeStore)
    where += " AND " + std::string(schema::kOpenCardCondition);
  if (!query.includeArchived && !openOfWholeStore)
    where += " AND " + decodesToZero("Card.isArchived");
  auto integer = [&](int64_t v) {
    return parameter([v](SqliteStatement &s, int i) { s.bind(i, v); });
  };
  if (query.minPercent && *query.minPercent > kNoLowerBound)
    where += " AND " + decodesAtLeast("Card.percentComplete", *query.minPercent,
                                      integer(*query.minPercent));
  if (query.maxPercent && *query.maxPercent < kNoUpperBound &&
      !openOfWholeStore)
    where += " AND " + decodesAtMost("Card.percentComplete", *query.maxPercent,
                                     integer(*query.maxPercent));
  if (query.dueAtOrBefore)
    // Written so that the order index serves it as a range: only numeric
    // due dates count, which is what a loaded card shows.
    where += " AND (Card.dueDate IS NULL) = 0 AND Card.dueDate <= " +
             parameter([v = *query.dueAtOrBefore](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.onlyOnMyDay)
    where += " AND " + integerExpression("Card.isOnMyDay", 0) + " <> 0";
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

// A text test must read every row anyway: over the whole store that is
// cheapest in table order. A due limit alone is a range of the (due, state)
// index, which covers the count without reading the rows.
std::string cardCountSQL(const CardQuery &query, const CardFilter &filter) {
  return std::string("SELECT count(*) FROM Card ") +
         (!query.planID && !query.bucketIDs && query.textMatches
              ? "NOT INDEXED "
              : "") +
         "WHERE " + filter.where;
}

std::string cardMatchesSQL(const CardQuery &query, const CardFilter &filter) {
  return std::string(
             "SELECT Card.rowid, Card.dueDate, Card.sortOrder FROM Card ") +
         (!query.planID && !query.bucketIDs ? "NOT INDEXED " : "") + "WHERE " +
         filter.where;
}

const std::string &cardsOfRowidsSQL() {
  static const std::string sql =
      selectSQL<Card>() +
      "WHERE Card.rowid IN (SELECT value FROM json_each(?1)) ORDER BY "
      "(Card.dueDate IS NULL), Card.dueDate, Card.sortOrder, Card.rowid "
      "LIMIT ?2";
  return sql;
}

const std::string &openCardCondition() {
  static const std::string sql = integerExpression("Card.isArchived", 0) +
                                 " = 0 AND " +
                                 integerExpression("Card.percentComplete", 0) +
                                 " < " + std::to_string(kCompletedFromPercent);
  return sql;
}

PredicateScope::PredicateScope(SqliteDatabase &db, const CardQuery &query)
    : db_(db) {
  db_.setTextPredicate(query.textMatches ? &query.textMatches : nullptr);
}

PredicateScope::~PredicateScope() { db_.setTextPredicate(nullptr); }

} // namespace taskory::store
