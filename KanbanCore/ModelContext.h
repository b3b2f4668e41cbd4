#pragma once

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ContextAccess.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/Types.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace taskory {

class ModelContainer;
class SqliteDatabase;
namespace store {
class Session;
}

// One unit of work on the store: a single SQLite transaction on the
// container's connection, begun in the constructor. A writing context begins
// with BEGIN IMMEDIATE, so a concurrent writer makes us wait (busy timeout) up
// front instead of failing half-way; a reading one with BEGIN DEFERRED, a
// snapshot that never waits for a writer. Reads see the store as of the
// start plus this context's own changes. save() commits everything at once
// with one history entry; destroying an unsaved context rolls everything
// back, so a throw anywhere leaves the store unchanged.
//
// The context owns every entity it loads or inserts and hands out stable
// pointers that stay valid for its lifetime (also after remove(), which only
// marks the object deleted). Callers change entities by assigning their
// fields; changes are written before the next query (so queries see them) and
// at save(). Relationship order and "the store's order" are insertion (rowid)
// order. All methods throw StoreError on a store failure.
//
// A context opened with Access::readOnly refuses every change (insert,
// remove, links, and changed fields at the next flush or save) with a
// StoreError and, as after any failed write, stays failed; a save without
// changes just ends its transaction.
class ModelContext {
public:
  using Access = ContextAccess;

  ModelContext(ModelContainer &container, std::string author,
               Access access = Access::readWrite);
  ~ModelContext();
  ModelContext(const ModelContext &) = delete;
  ModelContext &operator=(const ModelContext &) = delete;

  const std::string &author() const { return author_; }
  ModelContainer &container() { return container_; }

  // --- fetching (rowid order unless said otherwise) ---
  std::vector<Plan *> fetchPlans();
  std::vector<Bucket *> fetchBuckets();
  std::vector<Card *> fetchCards();
  // Cards that are not archived and below 100 percent.
  std::vector<Card *> fetchOpenCards();

  // Primary-key lookups; nothing when absent. `id` may be in any letter case.
  Plan *plan(std::string_view id);
  Bucket *bucket(std::string_view id);
  Card *card(std::string_view id);
  Goal *goal(std::string_view id);
  PlanLabel *label(std::string_view id);
  ChecklistItem *checklistItem(std::string_view id);

  // Cards whose canonical id starts with `prefix` (compared upper-case), by
  // a range scan on the primary key.
  std::vector<Card *> cardsWithIDPrefix(std::string_view prefix);

  // Cards of `query`, sorted by (due date, no due date last), sortOrder,
  // rowid; at most `limit` of them. `matched`, when given, receives the
  // number of all cards of the query (a text test runs once per row for
  // both).
  std::vector<Card *> queryCards(const CardQuery &query, std::size_t limit,
                                 int64_t *matched = nullptr);
  int64_t countCards(const CardQuery &query);

  // --- figures answered by the store, without loading what they count ---
  // Each is one query; links are matched by their exact stored text, as the
  // relationships above match them.
  struct CardCounts {
    int64_t active = 0;    // not archived
    int64_t completed = 0; // of those, at 100 percent or more
  };
  struct BoardCounts {
    std::unordered_map<std::string, CardCounts> byPlan;   // Card.plan
    std::unordered_map<std::string, CardCounts> byBucket; // Card.bucket
  };
  BoardCounts boardCounts();
  // Per goal id: the goal's linked cards, as cards(goal) yields them.
  std::unordered_map<std::string, CardCounts> goalCardCounts();
  // Every goal linked to a plan, and every bucket in a plan (rowid order);
  // for grouping by `plan` instead of one query per plan. Copies for the
  // overviews, read without loading them into this context: a board has
  // thousands of buckets, and changing a copy changes nothing.
  std::vector<Goal> planGoalCopies();
  std::vector<Bucket> planBucketCopies();
  // Whether the bucket holds a card that is not archived and below 100 %.
  bool hasOpenCard(const Bucket &bucket);
  // Open cards (not archived, below 100 %) whose planned date is at or after
  // `from`, by planned date, then rowid.
  std::vector<Card *> openCardsPlannedFrom(Date from);

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
  // The values are those the per-card relationships give (pending changes
  // are written first).
  struct CardPageFacts {
    int64_t checklistItems = 0;          // as checklistItemCount
    int64_t checkedItems = 0;            // as checkedItemCount
    std::vector<std::string> labelNames; // sortedLabels(card) order
    std::vector<std::string> goalTitles; // goals(card) order
    // The title and name of the plan and bucket that the card's links name
    // exactly; nothing when a link is absent or finds nothing so (planOf and
    // bucketOf then also try the id's other letter cases).
    std::optional<std::string> planTitle, bucketName;
  };
  // One entry per given card, keyed by its id, read in one query.
  std::unordered_map<std::string, CardPageFacts>
  pageFacts(const std::vector<const Card *> &cards);

  // --- relationships ---
  std::vector<Bucket *> buckets(const Plan &plan);
  std::vector<Card *> cards(const Plan &plan);
  std::vector<PlanLabel *> labels(const Plan &plan);
  std::vector<Goal *> goals(const Plan &plan);
  std::vector<Card *> cards(const Bucket &bucket);
  std::vector<ChecklistItem *> checklistItems(const Card &card);
  std::vector<CardAttachment *> attachments(const Card &card);
  std::vector<Goal *> goals(const Card &card);
  std::vector<PlanLabel *> labels(const Card &card);
  std::vector<Card *> cards(const Goal &goal);
  std::vector<Card *> cards(const PlanLabel &label);
  Plan *planOf(const Card &card);
  Bucket *bucketOf(const Card &card);
  Plan *planOf(const Bucket &bucket);
  Card *cardOf(const ChecklistItem &item);

  // Highest sortOrder among the plan's cards (all buckets, archived and
  // completed included); nothing when it has none.
  std::optional<double> maxCardSortOrder(const Plan &plan);

  // --- derived values that need relationships ---
  std::vector<Bucket *> sortedBuckets(const Plan &plan);  // sortOrder, stable
  std::vector<PlanLabel *> sortedLabels(const Plan &plan); // slotIndex, stable
  std::vector<Card *> activeCards(const Plan &plan);      // not archived
  std::vector<Card *> activeCards(const Bucket &bucket);
  std::vector<ChecklistItem *> sortedChecklist(const Card &card);
  std::vector<CardAttachment *> sortedAttachments(const Card &card);
  std::vector<PlanLabel *> sortedLabels(const Card &card);
  int64_t checklistItemCount(const Card &card);
  int64_t checkedItemCount(const Card &card);
  // Share of the goal's non-archived cards at 100 percent; 0 without any.
  double progressFraction(const Goal &goal);

  // --- changes ---
  // Inserts the object (visible to later fetches) and returns the context's
  // own copy.
  Plan &insert(Plan plan);
  Bucket &insert(Bucket bucket);
  Card &insert(Card card);
  ChecklistItem &insert(ChecklistItem item);
  CardAttachment &insert(CardAttachment attachment);
  Goal &insert(Goal goal);
  PlanLabel &insert(PlanLabel label);

  // Deletes with the delete rules: a plan takes its buckets, cards, labels and
  // goals; a bucket its cards; a card its checklist and attachments; a goal or
  // label only leaves its cards.
  void remove(Plan &plan);
  void remove(Bucket &bucket);
  void remove(Card &card);
  void remove(ChecklistItem &item);
  void remove(CardAttachment &attachment);
  void remove(Goal &goal);
  void remove(PlanLabel &label);
  bool isDeleted(const void *entity) const;

  // Many-to-many links; adding an existing link or removing a missing one
  // does nothing.
  void addGoal(Card &card, Goal &goal);
  void removeGoal(Card &card, Goal &goal);
  void addLabel(Card &card, PlanLabel &label);
  void removeLabel(Card &card, PlanLabel &label);

  // Commits every change with one history transaction stamped with author()
  // and `now` (no history when nothing changed). The context stays usable: the
  // next access begins a new transaction. Throws StoreError; after a failed
  // save the changes are rolled back.
  void save(Date now);
  bool hasChanges();

private:
  // The connection, with the context's pending changes written, for the
  // queries that read the tables directly.
  SqliteDatabase &flushedDatabase();

  ModelContainer &container_;
  std::string author_;
  std::unique_ptr<store::Session> session_;
};

} // namespace taskory
