#include "KanbanCore/BoardQueries.h"

#include "KanbanCore/ModelContext.h"
#include "Store/BoardSQL.h"
#include "Store/CardQuerySQL.h"
#include "Store/ContainerConnection.h"
#include "Store/ListOrderTop.h"
#include "Store/OverviewCache.h"
#include "Store/Session.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <utility>

namespace taskory {

using namespace store;

store::Session &BoardQueries::session() { return *context_.session_; }

template <class... T> store::Session &BoardQueries::flushed() {
  (session().flush<T>(), ...);
  return session();
}
template store::Session &
BoardQueries::flushed<Plan, Bucket, ChecklistItem, PlanLabel, Goal>();

// --- card lists ---

std::vector<Card *> BoardQueries::queryCards(const CardQuery &query,
                                             std::size_t limit,
                                             int64_t *matched) {
  Session &s = session();
  s.flush<Card>();
  if (matched)
    *matched = 0;
  CardFilter filter = cardFilter(query);
  if (filter.matchesNothing || limit == 0)
    return {};
  int64_t sqlLimit =
      limit > static_cast<std::size_t>(std::numeric_limits<int64_t>::max())
          ? -1
          : static_cast<int64_t>(limit);

  if (query.textMatches) {
    // The text test is the expensive part: it runs once per row, in one
    // pass that counts every match and keeps the first of the list order;
    // only those are then loaded.
    ListOrderTop first(limit);
    int64_t count = 0;
    {
      PredicateScope scope(s.db(), query);
      auto stmt = s.db().statement(cardMatchesSQL(query, filter));
      filter.bind(*stmt);
      while (stmt->step()) {
        ++count;
        first.offer(*stmt, 0);
      }
    }
    if (matched)
      *matched = count;
    if (count == 0)
      return {};
    return s.fetch<Card>(cardsOfRowidsSQL(), [&](SqliteStatement &stmt) {
      stmt.bindText(1, first.rowidsJSON());
      stmt.bind(2, sqlLimit);
    });
  }

  std::vector<Card *> cards =
      s.fetch<Card>(cardSelectSQL(query, filter), [&](SqliteStatement &stmt) {
        filter.bind(stmt);
        stmt.bind(filter.parameterCount + 1, sqlLimit);
      });
  // Counting costs a second pass, needed only when the list may be cut.
  if (matched)
    *matched = cards.size() < limit ? static_cast<int64_t>(cards.size())
                                    : countCards(query);
  return cards;
}

int64_t BoardQueries::countCards(const CardQuery &query) {
  Session &s = session();
  s.flush<Card>();
  // Every open card of the store, the question of a list without filters,
  // is a figure the overviews keep.
  const bool everyOpenCard =
      !query.planID && !query.bucketIDs && !query.includeArchived &&
      !query.minPercent && query.maxPercent == kCompletedFromPercent - 1 &&
      !query.dueAtOrBefore && !query.onlyOnMyDay && !query.textMatches;
  if (everyOpenCard)
    return overview().openCards();
  CardFilter filter = cardFilter(query);
  if (filter.matchesNothing)
    return 0;
  PredicateScope scope(s.db(), query);
  auto stmt = s.db().statement(cardCountSQL(query, filter));
  filter.bind(*stmt);
  return stmt->step() ? stmt->int64(0) : 0;
}

std::vector<Card *> BoardQueries::openCardsPlannedFrom(Date from) {
  session().flush<Card>();
  return session().fetch<Card>(cardsPlannedFromSQL(),
                               [&](SqliteStatement &s) { s.bind(1, from); });
}

std::vector<std::pair<int64_t, UUID>>
BoardQueries::openCardRowsPlannedFrom(Date from) {
  auto stmt = flushed<Card>().db().statement(cardRowsPlannedFromSQL());
  stmt->bind(1, from);
  std::vector<std::pair<int64_t, UUID>> rows;
  while (stmt->step())
    rows.emplace_back(stmt->int64(0), std::string(stmt->bytes(1)));
  return rows;
}

// --- figures ---

OverviewCache &BoardQueries::overview() {
  return *context_.container_.connection().overview;
}

const BoardQueries::BoardCounts &BoardQueries::boardCounts() {
  flushed<Card>();
  return overview().board();
}

const std::unordered_map<std::string, BoardQueries::CardCounts> &
BoardQueries::goalCardCounts() {
  flushed<Card>();
  return overview().goals();
}

namespace {

// A row of planChildRowsSQL (or of the light rows' SQL, whose first two
// columns are id and plan) that names a plan: a row whose id is not text is
// no object to a context either.
bool isPlanChild(const SqliteStatement &stmt, int id, int plan) {
  return stmt.type(id) == SqliteType::text &&
         stmt.type(plan) == SqliteType::text;
}

template <class T> int columnOf(std::string_view name) {
  const auto &fields = EntityTable<T>::fields;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].column == name)
      return static_cast<int>(i);
  return -1;
}

// Decoded as a loaded object decodes them.
template <class T> std::vector<T> planChildCopies(SqliteDatabase &db) {
  static const int id = columnOf<T>("id");
  static const int plan = columnOf<T>("plan");
  auto stmt = db.statement(planChildRowsSQL<T>());
  std::vector<T> copies;
  while (stmt->step())
    if (isPlanChild(*stmt, id, plan))
      copies.push_back(readEntity<T>(*stmt));
  return copies;
}

} // namespace

std::vector<Goal> BoardQueries::planGoalCopies() {
  return planChildCopies<Goal>(flushed<Goal>().db());
}

namespace {

// The light rows of a statement whose first two columns are id and plan,
// each row that names a plan read by `read`.
template <class Row, class Read>
std::vector<Row> planChildLines(SqliteDatabase &db, std::string_view sql,
                                Read read) {
  auto stmt = db.statement(sql);
  std::vector<Row> rows;
  while (stmt->step())
    if (isPlanChild(*stmt, 0, 1))
      read(*stmt, rows.emplace_back());
  return rows;
}

} // namespace

std::vector<BoardQueries::BucketLine> BoardQueries::planBucketLines() {
  return planChildLines<BucketLine>(
      flushed<Bucket>().db(), planBucketLinesSQL(),
      [](const SqliteStatement &s, BucketLine &line) {
        readColumn(s, 0, line.id);
        readColumn(s, 1, line.plan);
        readColumn(s, 2, line.name);
        readColumn(s, 3, line.colorHex);
        readColumn(s, 4, line.sortOrder);
      });
}

std::vector<BoardQueries::GoalTitle> BoardQueries::planGoalTitles() {
  return planChildLines<GoalTitle>(
      flushed<Goal>().db(), planGoalTitlesSQL(),
      [](const SqliteStatement &s, GoalTitle &title) {
        readColumn(s, 1, title.plan);
        readColumn(s, 2, title.title);
      });
}

std::shared_ptr<const std::vector<BoardQueries::PlanHeading>>
BoardQueries::planHeadings() {
  flushed<Plan>();
  return overview().planHeadings();
}

std::vector<BoardQueries::HistoryEntry>
BoardQueries::cardHistory(const UUID &cardID, std::size_t limit) {
  auto stmt = flushed<Card>().db().statement(cardHistorySQL());
  stmt->bindText(1, cardID);
  stmt->bind(2, static_cast<int64_t>(std::min<std::size_t>(
                    limit, std::numeric_limits<int64_t>::max())));
  std::vector<HistoryEntry> entries;
  while (stmt->step()) {
    HistoryEntry entry;
    readColumn(*stmt, 0, entry.author);
    readColumn(*stmt, 1, entry.timestamp);
    readColumn(*stmt, 2, entry.kind);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::unordered_map<std::string, Date>
BoardQueries::cardsChangedBy(std::string_view author, Date since) {
  auto stmt = flushed<Card>().db().statement(cardsChangedBySQL());
  stmt->bindText(1, author);
  stmt->bind(2, since);
  std::unordered_map<std::string, Date> changed;
  while (stmt->step()) {
    std::string id;
    Date when = 0;
    readColumn(*stmt, 0, id);
    readColumn(*stmt, 1, when);
    changed[id] = when;
  }
  return changed;
}

bool BoardQueries::hasOpenCard(const Bucket &bucket) {
  SqliteDatabase &db = flushed<Card>().db();
  auto stmt = db.statement(openCardInBucketSQL());
  stmt->bindText(1, bucket.id);
  return stmt->step();
}

std::vector<Plan *> BoardQueries::projectPlans() {
  // Flushed first, so that a plan this context marked counts as the store
  // would show it.
  return flushed<Plan>().fetch<Plan>(projectPlansSQL());
}

std::optional<double> BoardQueries::maxCardSortOrder(const Plan &plan) {
  session().flush<Card>();
  // Three walks of the (plan, sortOrder) index instead of a scan of the
  // plan's cards on every new card. A value another program stored as NULL,
  // text or blob reads as 0 (as readEntity reads it).
  auto isNumber = [](SqliteType type) {
    return type == SqliteType::integer || type == SqliteType::real;
  };
  auto edge = [&](std::string_view sql)
      -> std::optional<std::pair<SqliteType, double>> {
    auto stmt = session().db().statement(sql);
    stmt->bindText(1, plan.id);
    if (!stmt->step())
      return std::nullopt;
    const SqliteType type = stmt->type(0);
    return std::pair{type, isNumber(type) ? stmt->real(0) : 0.0};
  };
  const auto lowest = edge(lowestCardSortOrderSQL());
  if (!lowest)
    return std::nullopt; // no cards
  const auto highest = edge(highestCardSortOrderSQL());
  std::optional<double> result;
  if (highest && isNumber(highest->first)) {
    result = highest->second;
  } else if (const auto number = edge(highestNumericCardSortOrderSQL())) {
    result = number->second;
  }
  const bool hasNonNumber =
      !isNumber(lowest->first) || (highest && !isNumber(highest->first));
  if (hasNonNumber && (!result || *result < 0))
    result = 0.0;
  return result;
}

// --- the week planner's candidates ---

namespace {

std::optional<Date> optionalReal(const SqliteStatement &s, int column) {
  const SqliteType type = s.type(column);
  if (type == SqliteType::integer || type == SqliteType::real)
    return s.real(column);
  return std::nullopt;
}

BoardQueries::PlanningCandidate candidateRow(const SqliteStatement &s) {
  BoardQueries::PlanningCandidate row;
  row.id = std::string(s.bytes(0));
  row.title = std::string(s.bytes(1));
  row.rowid = s.int64(2);
  row.priorityRank = s.int64(3);
  return row;
}

} // namespace

// The planner's order puts earlier deadlines first, and a card's deadline is
// at most its due date. So: the open dated cards along the due-date index,
// each with the earliest target date of its goals, until `count` are read
// and the due date changes; then the cards whose goals' target dates reach
// back to that last due date (on a board with far-off goals, none); and only
// when the dated cards run short, every goal-dated card and the undated
// urgent, important, idea and My-Day ones. Every card left out has a later
// deadline than `count` cards returned, or none while they have one.
std::vector<BoardQueries::PlanningCandidate>
BoardQueries::planningCandidates(std::size_t count) {
  SqliteDatabase &db = flushed<Card, Goal>().db();
  std::vector<PlanningCandidate> found;
  if (count == 0)
    return found;
  std::unordered_set<int64_t> seen;

  std::optional<Date> lastDue;
  bool allDatedRead = true;
  {
    auto stmt = db.statement(datedCandidatesSQL());
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
    auto stmt = db.statement(goalDatedCandidatesSQL());
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

  auto stmt = db.statement(undatedCandidatesSQL());
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
