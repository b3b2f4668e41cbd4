#pragma once

// Questions about a whole board that the store answers in a few set queries
// instead of through a context's per-object relationships: the card lists,
// the overviews' figures, the week planner's candidates and what a page of
// cards shows. Each reads through the context it is given, its pending
// changes written first, and throws StoreError on a store failure.

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory {

class ModelContext;
namespace store {
class OverviewCache;
class Session;
} // namespace store

// Holds the context by reference and must not outlive it; the cards it
// returns belong to the context, the copies and figures to the caller.
class BoardQueries {
public:
  explicit BoardQueries(ModelContext &context) : context_(context) {}

  // Cards of `query`, sorted by (due date, no due date last), sortOrder,
  // rowid; at most `limit` of them, loaded into the context. `matched`, when
  // given, receives the number of all cards of the query (a text test runs
  // once per row for both).
  std::vector<Card *> queryCards(const CardQuery &query, std::size_t limit,
                                 int64_t *matched = nullptr);

  // --- figures, without loading what they count ---
  // Links are matched by their exact stored text, as the context's
  // relationships match them.
  struct CardCounts {
    int64_t active = 0;    // not archived
    int64_t completed = 0; // of those, at 100 percent or more
  };
  struct BoardCounts {
    std::unordered_map<std::string, CardCounts> byPlan;   // Card.plan
    std::unordered_map<std::string, CardCounts> byBucket; // Card.bucket
  };
  // Kept with the connection and exact for the store as this context sees
  // it; valid until the next change through this context.
  const BoardCounts &boardCounts();
  // Per goal id: the goal's linked cards, as cards(goal) yields them; a goal
  // without such cards has no entry.
  const std::unordered_map<std::string, CardCounts> &goalCardCounts();
  // Every goal linked to a plan (rowid order); for grouping by `plan`
  // instead of one query per plan. Copies for the overviews, not loaded into
  // the context: a board has thousands of goals, and changing a copy changes
  // nothing.
  std::vector<Goal> planGoalCopies();
  // What the plan overview shows of every bucket and goal in a plan (rowid
  // order), decoded as a loaded bucket or goal decodes it: rows this light,
  // because the overview of a large board reads tens of thousands.
  struct BucketLine {
    UUID id;
    UUID plan;
    std::string name;
    std::optional<std::string> colorHex;
    double sortOrder = 0;
  };
  std::vector<BucketLine> planBucketLines();
  struct GoalTitle {
    UUID plan;
    std::string title;
  };
  std::vector<GoalTitle> planGoalTitles();
  // Every plan's id, title and sort order, in rowid order and decoded as a
  // loaded plan decodes them, without loading the plans: what finding a plan
  // by its title compares on a board of thousands of plans. Kept with the
  // connection until a plan row changes, and shared: a change drops the
  // connection's copy, never the caller's.
  struct PlanHeading {
    UUID id;
    std::string title;
    double sortOrder = 0;
  };
  std::shared_ptr<const std::vector<PlanHeading>> planHeadings();
  // A card's changes as the store's history records them, newest first, at
  // most `limit`: who made them ("mcp", "app", another program's name), when,
  // and whether the card was inserted, updated or deleted.
  struct HistoryEntry {
    std::string author;
    Date timestamp = 0;
    std::string kind;
  };
  std::vector<HistoryEntry> cardHistory(const UUID &cardID, std::size_t limit);
  // The cards that transactions of `author` changed after `since`, each
  // with the time of the last such change.
  std::unordered_map<std::string, Date> cardsChangedBy(std::string_view author,
                                                       Date since);
  // The plans marked as projects (`isClaudeProject` as a loaded plan
  // decodes it), loaded, in rowid order: the week planner adds idea tasks to
  // those alone, and loading the thousands of other plans of a large board
  // was a third of its run.
  std::vector<Plan *> projectPlans();
  // Whether the bucket holds a card that is not archived and below 100 %.
  bool hasOpenCard(const Bucket &bucket);
  // Highest sortOrder among the plan's cards (all buckets, archived and
  // completed included); nothing when it has none.
  std::optional<double> maxCardSortOrder(const Plan &plan);
  // Open cards (not archived, below 100 %) whose planned date is at or after
  // `from`, by planned date, then rowid; loaded into the context.
  std::vector<Card *> openCardsPlannedFrom(Date from);
  // The rowids and ids of those cards, without loading them: what a week
  // plan clears on a board with thousands of cards planned ahead.
  std::vector<std::pair<int64_t, UUID>> openCardRowsPlannedFrom(Date from);

  // What the week planner orders its candidates by, read without loading
  // the cards: an open card that has a deadline (its due date or a linked
  // goal's target date), is urgent or important, an idea task or on My Day.
  struct PlanningCandidate {
    UUID id;
    std::string title;
    int64_t rowid = 0;
    std::optional<Date> due;      // a numeric due date only
    std::optional<Date> deadline; // earliest of due and goal target dates
    int64_t priorityRank = 2;     // 0 urgent ... 3 low
  };
  // The candidates that can be among the first `count` in the planner's
  // order (due before the horizon end first, then earlier deadline, then
  // priority, then title, then rowid), in no particular order; any horizon
  // end gives the same set, because due dates before it come first in due
  // order anyway. Reads only as far as that needs: every candidate that ties
  // on (deadline, priority) with a returned one is returned too, so the
  // caller's title order decides the cut.
  std::vector<PlanningCandidate> planningCandidates(std::size_t count);

  // --- a page of cards to show, in one set query ---
  // What a card's line, detail text or JSON reads beyond the card's own
  // fields, loaded for many cards at once instead of a few queries per card.
  // The values are those the per-card relationships give.
  struct CardPageFacts {
    int64_t checklistItems = 0;          // as checklistItemCount
    int64_t checkedItems = 0;            // as checkedItemCount
    std::vector<std::string> labelNames; // sortedLabels(card) order
    std::vector<int64_t> labelSlots;     // the slotIndex of each label name
    std::vector<std::string> goalTitles; // goals(card) order
    // The title and name of the plan and bucket that the card's links name
    // exactly; nothing when a link is absent or finds nothing so (planOf and
    // bucketOf then also try the id's other letter cases).
    std::optional<std::string> planTitle, bucketName;
  };
  // One entry per given card, keyed by its id.
  std::unordered_map<std::string, CardPageFacts>
  pageFacts(const std::vector<const Card *> &cards);

private:
  int64_t countCards(const CardQuery &query);
  store::Session &session();
  store::OverviewCache &overview();
  // The session with the context's pending changes to these entities
  // written, for the queries that read their tables directly (links are
  // written at once). Only those: checking every loaded object for changes
  // costs more than the query when thousands of plans are loaded and the
  // week planner asks about hundreds of buckets.
  template <class... T> store::Session &flushed();

  ModelContext &context_;
};

} // namespace taskory
