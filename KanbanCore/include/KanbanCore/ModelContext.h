#pragma once

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ContextAccess.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/Types.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace taskory {

class BoardQueries;
class ModelContainer;
namespace store {
class Session;
}

// The seven stored entities: what a context fetches, inserts and removes.
template <class T>
concept StoredEntity =
    std::same_as<T, Plan> || std::same_as<T, Bucket> || std::same_as<T, Card> ||
    std::same_as<T, ChecklistItem> || std::same_as<T, CardAttachment> ||
    std::same_as<T, Goal> || std::same_as<T, PlanLabel>;

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
// order. All methods throw StoreError on a store failure. Queries over a
// whole board (figures, pages, the planner's candidates) are BoardQueries'.
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

  // Commits every change with one history transaction stamped with author()
  // and `now` (no history when nothing changed). The context stays usable: the
  // next access begins a new transaction. Throws StoreError; after a failed
  // save the changes are rolled back.
  void save(Date now);
  bool hasChanges();

  // --- fetching ---
  // Every object of the entity, in the store's (rowid) order.
  template <StoredEntity T> std::vector<T *> fetchAll();

  // Primary-key lookups; nothing when absent. `id` may be in any letter case.
  Plan *plan(std::string_view id);
  Bucket *bucket(std::string_view id);
  Card *card(std::string_view id);
  Goal *goal(std::string_view id);
  PlanLabel *label(std::string_view id);

  // Cards whose canonical id starts with `prefix` (compared upper-case), by
  // a range scan on the primary key.
  std::vector<Card *> cardsWithIDPrefix(std::string_view prefix);

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

  // --- derived values that need relationships ---
  std::vector<Bucket *> sortedBuckets(const Plan &plan);   // sortOrder, stable
  std::vector<PlanLabel *> sortedLabels(const Plan &plan); // slotIndex, stable
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
  template <StoredEntity T> T &insert(T entity);
  // Deletes with the delete rules: a plan takes its buckets, cards, labels and
  // goals; a bucket its cards; a card its checklist and attachments; a goal or
  // label only leaves its cards.
  template <StoredEntity T> void remove(T &entity);
  bool isDeleted(const void *entity) const;

  // Many-to-many links; adding an existing link or removing a missing one
  // does nothing.
  void addGoal(Card &card, Goal &goal);
  void removeGoal(Card &card, Goal &goal);
  void addLabel(Card &card, PlanLabel &label);
  void removeLabel(Card &card, PlanLabel &label);

  // Clears the planned date of these cards (rowid and id as stored, as
  // BoardQueries reads them): a loaded card as any change, the others in
  // one statement with their history, so that clearing thousands of plans
  // loads none of them.
  void clearPlannedDates(const std::vector<std::pair<int64_t, UUID>> &cards);

private:
  // The board queries read the tables through the context's own transaction
  // and identity map.
  friend class BoardQueries;

  ModelContainer &container_;
  std::string author_;
  std::unique_ptr<store::Session> session_;
};

} // namespace taskory
