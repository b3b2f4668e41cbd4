#include "Store/OverviewCache.h"

#include "KanbanCore/Card.h"
#include "Store/BoardSQL.h"
#include "Store/CardTally.h"
#include "Store/EntityTables.h"
#include "Store/Sqlite.h"

// The pre-update hook is declared only for builds of SQLite that have it;
// Debian's has (ENABLE_PREUPDATE_HOOK), and the cache checks at run time.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include <cstring>
#include <sqlite3.h>
#include <strings.h>

#include <optional>

namespace taskory::store {
namespace {

std::optional<std::string> textOf(sqlite3_value *value) {
  if (!value || sqlite3_value_type(value) != SQLITE_TEXT)
    return std::nullopt;
  return std::string(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                     static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

// The field's value as a loaded card reads it (readColumn): a number
// converted as SQLite converts it, anything else the initial value 0.
int64_t integerOf(sqlite3_value *value) {
  if (!value)
    return 0;
  const int type = sqlite3_value_type(value);
  return type == SQLITE_INTEGER || type == SQLITE_FLOAT
             ? sqlite3_value_int64(value)
             : 0;
}

constexpr std::size_t kMostDirtyCards = 4096;

bool isTable(const char *name, const char *table) {
  return name && strcasecmp(name, table) == 0;
}

} // namespace

// One side of a changed Card row, decoded once.
struct OverviewCache::CardRow {
  std::optional<std::string> id, plan, bucket;
  bool archived = false;
  bool completed = false;
};

OverviewCache::OverviewCache(SqliteDatabase &db) : db_(db) {
  sqlite3 *handle = db_.handle();
  hooked_ = sqlite3_compileoption_used("ENABLE_PREUPDATE_HOOK") == 1;
  if (!hooked_)
    return;
  sqlite3_preupdate_hook(handle, &OverviewCache::preUpdate, this);
  sqlite3_commit_hook(handle, &OverviewCache::committing, this);
  sqlite3_rollback_hook(handle, &OverviewCache::rollingBack, this);
}

// Asked when figures are first needed, not at opening: until then no row
// change matters, and start-up stays as short as the store allows.
void OverviewCache::findColumns() {
  columnsFound_ = true;
  auto positions =
      db_.statement("SELECT cid, name FROM pragma_table_info(?1) ORDER BY cid");
  const auto find =
      [&](const char *table,
          std::initializer_list<std::pair<const char *, int *>> columns) {
        positions->bindText(1, table);
        while (positions->step())
          for (const auto &[name, slot] : columns)
            if (strcasecmp(std::string(positions->bytes(1)).c_str(), name) == 0)
              *slot = static_cast<int>(positions->int64(0));
        positions->reset();
      };
  find("Card", {{"id", &cardID_},
                {"plan", &cardPlan_},
                {"bucket", &cardBucket_},
                {"isArchived", &cardArchived_},
                {"percentComplete", &cardPercent_}});
  find("CardGoal", {{"card", &linkCard_}, {"goal", &linkGoal_}});
}

OverviewCache::~OverviewCache() {
  if (!hooked_)
    return;
  sqlite3 *handle = db_.handle();
  sqlite3_preupdate_hook(handle, nullptr, nullptr);
  sqlite3_commit_hook(handle, nullptr, nullptr);
  sqlite3_rollback_hook(handle, nullptr, nullptr);
}

bool OverviewCache::usable() const {
  return hooked_ && cardID_ >= 0 && cardPlan_ >= 0 && cardBucket_ >= 0 &&
         cardArchived_ >= 0 && cardPercent_ >= 0 && linkCard_ >= 0 &&
         linkGoal_ >= 0;
}

void OverviewCache::dropAll() {
  boardKnown_ = openKnown_ = goalsKnown_ = false;
  headings_.reset();
  board_ = {};
  goals_.clear();
  dirtyGoals_.clear();
  dirtyCards_.clear();
}

void OverviewCache::forget() {
  dropAll();
  dataVersion_ = -1;
}

void OverviewCache::revalidate() {
  if (!columnsFound_)
    findColumns();
  const int64_t version = db_.queryInteger("PRAGMA data_version");
  if (version != dataVersion_ || db_.failures() != failures_ || !usable())
    dropAll();
  dataVersion_ = version;
  failures_ = db_.failures();
}

const BoardQueries::BoardCounts &OverviewCache::board() {
  revalidate();
  if (!boardKnown_)
    countBoard();
  return board_;
}

int64_t OverviewCache::openCards() {
  revalidate();
  if (!openKnown_)
    countOpenCards();
  return openCards_;
}

std::shared_ptr<const std::vector<BoardQueries::PlanHeading>>
OverviewCache::planHeadings() {
  revalidate();
  if (!headings_)
    readPlanHeadings();
  return headings_;
}

void OverviewCache::readPlanHeadings() {
  auto stmt = db_.statement(planHeadingsSQL());
  auto headings = std::make_shared<std::vector<BoardQueries::PlanHeading>>();
  while (stmt->step()) {
    // A row whose id is not text is no plan to a context either.
    if (stmt->type(0) != SqliteType::text)
      continue;
    BoardQueries::PlanHeading &heading = headings->emplace_back();
    readColumn(*stmt, 0, heading.id);
    readColumn(*stmt, 1, heading.title);
    readColumn(*stmt, 2, heading.sortOrder);
  }
  headings_ = std::move(headings);
}

void OverviewCache::countOpenCards() {
  // The list's own count, far cheaper than the board's figures when only
  // this number is asked; cheaper still from the store's tally, whose few
  // thousand rows stand for every card (the count walks the closed ones).
  auto stmt = db_.statement(cardTally::intact(db_) ? cardTally::openCardsSQL()
                                                   : openCardCountSQL());
  openCards_ = stmt->step() ? stmt->int64(0) : 0;
  openKnown_ = true;
}

const std::unordered_map<std::string, BoardQueries::CardCounts> &
OverviewCache::goals() {
  revalidate();
  if (!goalsKnown_)
    countGoals();
  else
    recountDirtyGoals();
  return goals_;
}

void OverviewCache::countBoard() {
  if (cardTally::intact(db_))
    readTally();
  else
    walkCards();
  boardKnown_ = openKnown_ = true;
}

void OverviewCache::readTally() {
  auto stmt = db_.statement(cardTally::planBucketRowsSQL());
  BoardQueries::BoardCounts counts;
  int64_t open = 0;
  while (stmt->step()) {
    const int64_t active = stmt->int64(2), completed = stmt->int64(3);
    // A group whose last card left; a walk would not have met it.
    if (!active && !completed)
      continue;
    for (auto [column, into] :
         {std::pair{0, &counts.byPlan}, std::pair{1, &counts.byBucket}})
      if (stmt->type(column) == SqliteType::text) {
        auto &entry = (*into)[std::string(stmt->bytes(column))];
        entry.active += active;
        entry.completed += completed;
      }
    open += active - completed;
  }
  board_ = std::move(counts);
  openCards_ = open;
}

void OverviewCache::walkCards() {
  // The groups of stored values add up to the figures of each plan and of
  // each bucket, each group decoded as a loaded card decodes its fields;
  // they come in (plan, bucket) order, so each map is asked once per plan
  // and bucket.
  auto stmt = db_.statement(boardCountsSQL());
  BoardQueries::BoardCounts counts;
  int64_t open = 0;
  struct Running {
    std::unordered_map<std::string, BoardQueries::CardCounts> &into;
    int column;
    std::string key;
    BoardQueries::CardCounts *entry = nullptr;

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
    const int64_t completed = percent >= kCompletedFromPercent ? cards : 0;
    plan.add(*stmt, cards, completed);
    bucket.add(*stmt, cards, completed);
    open += cards - completed;
  }
  board_ = std::move(counts);
  openCards_ = open;
}

void OverviewCache::countGoals() {
  std::unordered_map<std::string, BoardQueries::CardCounts> counts;
  if (cardTally::intact(db_)) {
    auto stmt = db_.statement(cardTally::goalRowsSQL());
    while (stmt->step())
      if (stmt->type(0) == SqliteType::text &&
          (stmt->int64(1) || stmt->int64(2)))
        counts[std::string(stmt->bytes(0))] = {stmt->int64(1), stmt->int64(2)};
  } else {
    walkGoalLinks(counts);
  }
  goals_ = std::move(counts);
  dirtyGoals_.clear();
  dirtyCards_.clear();
  goalsKnown_ = true;
}

void OverviewCache::walkGoalLinks(
    std::unordered_map<std::string, BoardQueries::CardCounts> &counts) {
  auto stmt = db_.statement(goalLinkStatesSQL());
  std::string key;
  BoardQueries::CardCounts *entry = nullptr;
  while (stmt->step()) {
    int64_t percent = 0;
    readColumn(*stmt, 1, percent);
    if (!entry || stmt->bytes(0) != key) {
      key = std::string(stmt->bytes(0));
      entry = &counts[key];
    }
    ++entry->active;
    entry->completed += percent >= kCompletedFromPercent;
  }
}

void OverviewCache::recountDirtyGoals() {
  if (!dirtyCards_.empty()) {
    auto linked = db_.statement(goalsLinkedToCardSQL());
    for (const std::string &card : dirtyCards_) {
      linked->bindText(1, card);
      while (linked->step())
        dirtyGoals_.emplace(linked->bytes(0));
      linked->reset();
    }
    dirtyCards_.clear();
  }
  if (dirtyGoals_.empty())
    return;
  auto stmt = db_.statement(linkStatesOfGoalSQL());
  for (const std::string &goal : dirtyGoals_) {
    BoardQueries::CardCounts counts;
    stmt->bindText(1, goal);
    while (stmt->step()) {
      int64_t percent = 0;
      readColumn(*stmt, 0, percent);
      ++counts.active;
      counts.completed += percent >= kCompletedFromPercent;
    }
    stmt->reset();
    if (counts.active)
      goals_[goal] = counts;
    else
      goals_.erase(goal);
  }
  dirtyGoals_.clear();
}

void OverviewCache::apply(const CardRow &row, int sign) {
  if (row.archived)
    return;
  const int64_t completed = row.completed ? sign : 0;
  if (openKnown_)
    openCards_ += sign - completed;
  if (!boardKnown_)
    return;
  if (row.plan) {
    auto &entry = board_.byPlan[*row.plan];
    entry.active += sign;
    entry.completed += completed;
  }
  if (row.bucket) {
    auto &entry = board_.byBucket[*row.bucket];
    entry.active += sign;
    entry.completed += completed;
  }
}

void OverviewCache::rowChanging(int op, const char *table) {
  uncommitted_ = true;
  if (isTable(table, "Plan"))
    headings_.reset();
  if (!boardKnown_ && !openKnown_ && !goalsKnown_)
    return;
  sqlite3 *handle = db_.handle();
  const auto value = [&](bool old, int column) -> sqlite3_value * {
    sqlite3_value *v = nullptr;
    const int rc = old ? sqlite3_preupdate_old(handle, column, &v)
                       : sqlite3_preupdate_new(handle, column, &v);
    return rc == SQLITE_OK ? v : nullptr;
  };
  if (isTable(table, "Card")) {
    const auto rowOf = [&](bool old) {
      CardRow row;
      row.id = textOf(value(old, cardID_));
      row.plan = textOf(value(old, cardPlan_));
      row.bucket = textOf(value(old, cardBucket_));
      row.archived = integerOf(value(old, cardArchived_)) != 0;
      row.completed =
          integerOf(value(old, cardPercent_)) >= kCompletedFromPercent;
      return row;
    };
    std::optional<CardRow> before, after;
    if (op != SQLITE_INSERT)
      before = rowOf(true);
    if (op != SQLITE_DELETE)
      after = rowOf(false);
    if (before)
      apply(*before, -1);
    if (after)
      apply(*after, +1);
    // A goal counts its linked cards by their state; which goals a card is
    // linked to is asked when the goals are next read.
    if (goalsKnown_)
      for (const auto &row : {before, after})
        if (row && row->id)
          dirtyCards_.insert(*row->id);
    // Past this many, counting every goal again is the cheaper way.
    if (dirtyCards_.size() > kMostDirtyCards) {
      goalsKnown_ = false;
      goals_.clear();
      dirtyGoals_.clear();
      dirtyCards_.clear();
    }
  } else if (isTable(table, "CardGoal") && goalsKnown_) {
    for (bool old : {true, false}) {
      if ((old && op == SQLITE_INSERT) || (!old && op == SQLITE_DELETE))
        continue;
      if (auto goal = textOf(value(old, linkGoal_)))
        dirtyGoals_.insert(*goal);
    }
  }
}

void OverviewCache::preUpdate(void *self, sqlite3 *, int op,
                              const char *database, const char *table,
                              sqlite3_int64, sqlite3_int64) {
  auto &cache = *static_cast<OverviewCache *>(self);
  if (!database || std::strcmp(database, "main") != 0)
    return;
  try {
    cache.rowChanging(op, table);
  } catch (...) {
    // Out of memory while noting a change: forget everything instead.
    cache.forget();
  }
}

int OverviewCache::committing(void *self) {
  static_cast<OverviewCache *>(self)->uncommitted_ = false;
  return 0;
}

void OverviewCache::rollingBack(void *self) {
  auto &cache = *static_cast<OverviewCache *>(self);
  if (cache.uncommitted_)
    cache.dropAll();
  cache.uncommitted_ = false;
}

} // namespace taskory::store
