#pragma once

#include "KanbanCore/BoardQueries.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;

namespace taskory {

class SqliteDatabase;

namespace store {

// The overviews' figures of one connection, kept between calls so that an
// overview costs what its answer costs, not a walk of every card; and the
// plans' headings, so that naming a plan by its title costs a comparison of
// titles, not a read of every plan.
//
// Exact by construction, never by timing:
// - another connection's commit (another program, a second server, another
//   worker of the HTTP mode) moves PRAGMA data_version, and the next use
//   counts everything again (from the store's own tallies where it has
//   ones it can trust, CardTally.h);
// - this connection's own row changes reach the figures through SQLite's
//   pre-update hook, which sees every changed row with its old and new
//   values, also those of foreign-key actions: the plan, bucket and
//   whole-store figures move by each row's difference, and the goals of a
//   changed card or link are counted again when next asked;
// - a rollback after own changes, and any failed call on the connection
//   (a failed statement may have undone some of its rows without telling
//   the hook), drop every figure.
// Lives with its connection; installs its hooks on it and removes them.
class OverviewCache {
public:
  explicit OverviewCache(SqliteDatabase &db);
  ~OverviewCache();
  OverviewCache(const OverviewCache &) = delete;
  OverviewCache &operator=(const OverviewCache &) = delete;

  // The figures as of the connection's current snapshot, counted where
  // they are not known. Valid until the next change on the connection.
  const BoardQueries::BoardCounts &board();
  const std::unordered_map<std::string, BoardQueries::CardCounts> &goals();
  // Cards neither archived nor completed, in the whole store.
  int64_t openCards();
  // BoardQueries::planHeadings, read again after any change to a plan row.
  std::shared_ptr<const std::vector<BoardQueries::PlanHeading>> planHeadings();

  // For whoever replaces the connection's pages without row changes (the
  // backup API writing into it): neither the hook nor data_version sees
  // that.
  void forget();

private:
  struct CardRow;

  void findColumns();
  bool usable() const;
  void revalidate();
  void dropAll();
  void countBoard();
  // The board's figures from the store's tally, or, where the store has
  // none it can trust, from a walk of every card.
  void readTally();
  void walkCards();
  void countOpenCards();
  void readPlanHeadings();
  void countGoals();
  void walkGoalLinks(
      std::unordered_map<std::string, BoardQueries::CardCounts> &counts);
  void recountDirtyGoals();

  void rowChanging(int op, const char *table);
  void apply(const CardRow &row, int sign);

  static void preUpdate(void *self, sqlite3 *db, int op, const char *database,
                        const char *table, long long, long long);
  static int committing(void *self);
  static void rollingBack(void *self);

  SqliteDatabase &db_;
  bool hooked_ = false;
  bool columnsFound_ = false;
  // Table column positions the hook reads; -1 when the table lacks one (the
  // figures are then always counted afresh).
  int cardID_ = -1, cardPlan_ = -1, cardBucket_ = -1, cardArchived_ = -1,
      cardPercent_ = -1, linkCard_ = -1, linkGoal_ = -1;

  int64_t dataVersion_ = -1;
  uint64_t failures_ = 0;
  bool uncommitted_ = false;

  bool boardKnown_ = false;
  BoardQueries::BoardCounts board_;
  // Known with the board, or counted alone when a list asks first.
  bool openKnown_ = false;
  int64_t openCards_ = 0;

  // Null while unknown.
  std::shared_ptr<const std::vector<BoardQueries::PlanHeading>> headings_;

  bool goalsKnown_ = false;
  std::unordered_map<std::string, BoardQueries::CardCounts> goals_;
  std::unordered_set<std::string> dirtyGoals_, dirtyCards_;
};

} // namespace store
} // namespace taskory
