#include "KanbanCore/ModelContext.h"

#include "Store/ContainerConnection.h"
#include "Store/RelationSQL.h"
#include "Store/Session.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

namespace taskory {

using namespace store;

namespace {

// The smallest string above every string that starts with `prefix`; nothing
// when there is none (a prefix of 0xFF bytes only).
std::optional<std::string> prefixEnd(std::string prefix) {
  while (!prefix.empty()) {
    auto last = static_cast<unsigned char>(prefix.back());
    if (last < 0xff) {
      prefix.back() = static_cast<char>(last + 1);
      return prefix;
    }
    prefix.pop_back();
  }
  return std::nullopt;
}

template <class T, class Key>
std::vector<T *> stableSorted(std::vector<T *> entities, Key key) {
  std::stable_sort(entities.begin(), entities.end(),
                   [&](const T *a, const T *b) { return key(*a) < key(*b); });
  return entities;
}

} // namespace

ModelContext::ModelContext(ModelContainer &container, std::string author,
                           Access access)
    : container_(container), author_(std::move(author)),
      session_(
          std::make_unique<Session>(*container.connection().db, author_, access)) {
  session_->begin();
}

ModelContext::~ModelContext() {
  if (session_->inTransaction())
    session_->rollback();
}

void ModelContext::save(Date now) { session_->commit(now); }

bool ModelContext::hasChanges() { return session_->hasChanges(); }

// --- fetching ---

template <StoredEntity T> std::vector<T *> ModelContext::fetchAll() {
  session_->begin();
  return session_->fetch<T>(allRowsSQL<T>());
}

Plan *ModelContext::plan(std::string_view id) {
  return session_->lookup<Plan>(id);
}
Bucket *ModelContext::bucket(std::string_view id) {
  return session_->lookup<Bucket>(id);
}
Card *ModelContext::card(std::string_view id) {
  return session_->lookup<Card>(id);
}
Goal *ModelContext::goal(std::string_view id) {
  return session_->lookup<Goal>(id);
}
PlanLabel *ModelContext::label(std::string_view id) {
  return session_->lookup<PlanLabel>(id);
}

std::vector<Card *> ModelContext::cardsWithIDPrefix(std::string_view prefix) {
  session_->begin();
  // Two ranges of the primary key: ids are canonical upper case, but other
  // programs may have written them in lower case. Never a scan of all rows.
  std::string upper = canonicalID(prefix),
              lower = text::asciiLowercased(prefix);
  std::vector<std::pair<std::string, std::optional<std::string>>> ranges;
  ranges.emplace_back(upper, prefixEnd(upper));
  if (lower != upper)
    ranges.emplace_back(lower, prefixEnd(lower));
  std::vector<bool> bounded;
  for (const auto &range : ranges)
    bounded.push_back(range.second.has_value());
  auto stmt = session_->db().statement(cardsInIDRangesSQL(bounded));
  int parameter = 1;
  for (const auto &range : ranges) {
    stmt->bindText(parameter++, range.first);
    if (range.second)
      stmt->bindText(parameter++, *range.second);
  }
  const int rowidColumn = static_cast<int>(EntityTable<Card>::fields.size());
  std::vector<std::pair<int64_t, Card *>> found;
  while (stmt->step())
    if (Card *card = session_->objects().of<Card>().materialize(*stmt))
      found.emplace_back(stmt->int64(rowidColumn), card);
  std::sort(found.begin(), found.end());
  std::vector<Card *> cards;
  for (const auto &entry : found)
    cards.push_back(entry.second);
  return cards;
}

// --- relationships ---

std::vector<Bucket *> ModelContext::buckets(const Plan &plan) {
  session_->flush<Bucket>();
  return session_->fetchBy<Bucket>(childRowsSQL<Bucket>(Link::plan), plan.id);
}

std::vector<Card *> ModelContext::cards(const Plan &plan) {
  session_->flush<Card>();
  return session_->fetchBy<Card>(childRowsSQL<Card>(Link::plan), plan.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Plan &plan) {
  session_->flush<PlanLabel>();
  return session_->fetchBy<PlanLabel>(childRowsSQL<PlanLabel>(Link::plan),
                                      plan.id);
}

std::vector<Goal *> ModelContext::goals(const Plan &plan) {
  session_->flush<Goal>();
  return session_->fetchBy<Goal>(childRowsSQL<Goal>(Link::plan), plan.id);
}

std::vector<Card *> ModelContext::cards(const Bucket &bucket) {
  session_->flush<Card>();
  return session_->fetchBy<Card>(childRowsSQL<Card>(Link::bucket), bucket.id);
}

std::vector<ChecklistItem *> ModelContext::checklistItems(const Card &card) {
  session_->flush<ChecklistItem>();
  return session_->fetchBy<ChecklistItem>(
      childRowsSQL<ChecklistItem>(Link::card), card.id);
}

std::vector<CardAttachment *> ModelContext::attachments(const Card &card) {
  session_->flush<CardAttachment>();
  return session_->fetchBy<CardAttachment>(
      childRowsSQL<CardAttachment>(Link::card), card.id);
}

std::vector<Goal *> ModelContext::goals(const Card &card) {
  session_->begin();
  return session_->fetchBy<Goal>(goalsOfCardSQL(), card.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Card &card) {
  session_->begin();
  return session_->fetchBy<PlanLabel>(labelsOfCardSQL(), card.id);
}

std::vector<Card *> ModelContext::cards(const Goal &goal) {
  session_->begin();
  return session_->fetchBy<Card>(cardsOfGoalSQL(), goal.id);
}

std::vector<Card *> ModelContext::cards(const PlanLabel &label) {
  session_->begin();
  return session_->fetchBy<Card>(cardsOfLabelSQL(), label.id);
}

Plan *ModelContext::planOf(const Card &card) {
  return card.plan ? plan(*card.plan) : nullptr;
}

Bucket *ModelContext::bucketOf(const Card &card) {
  return card.bucket ? bucket(*card.bucket) : nullptr;
}

Plan *ModelContext::planOf(const Bucket &bucket) {
  return bucket.plan ? plan(*bucket.plan) : nullptr;
}

Card *ModelContext::cardOf(const ChecklistItem &item) {
  return item.card ? card(*item.card) : nullptr;
}

// --- derived values ---

std::vector<Bucket *> ModelContext::sortedBuckets(const Plan &plan) {
  return stableSorted(buckets(plan),
                      [](const Bucket &b) { return b.sortOrder; });
}

std::vector<PlanLabel *> ModelContext::sortedLabels(const Plan &plan) {
  return stableSorted(labels(plan),
                      [](const PlanLabel &l) { return l.slotIndex; });
}

std::vector<ChecklistItem *> ModelContext::sortedChecklist(const Card &card) {
  return stableSorted(checklistItems(card),
                      [](const ChecklistItem &i) { return i.sortOrder; });
}

std::vector<CardAttachment *>
ModelContext::sortedAttachments(const Card &card) {
  return stableSorted(attachments(card),
                      [](const CardAttachment &a) { return a.sortOrder; });
}

std::vector<PlanLabel *> ModelContext::sortedLabels(const Card &card) {
  return stableSorted(labels(card),
                      [](const PlanLabel &l) { return l.slotIndex; });
}

int64_t ModelContext::checklistItemCount(const Card &card) {
  session_->flush<ChecklistItem>();
  auto stmt = session_->db().statement(checklistItemCountSQL());
  stmt->bindText(1, card.id);
  return stmt->step() ? stmt->int64(0) : 0;
}

int64_t ModelContext::checkedItemCount(const Card &card) {
  session_->flush<ChecklistItem>();
  auto stmt = session_->db().statement(checkedItemCountSQL());
  stmt->bindText(1, card.id);
  return stmt->step() ? stmt->int64(0) : 0;
}

double ModelContext::progressFraction(const Goal &goal) {
  int64_t active = 0, done = 0;
  for (const Card *card : cards(goal)) {
    if (card->isArchived)
      continue;
    ++active;
    if (card->percentComplete >= 100)
      ++done;
  }
  return active == 0 ? 0.0
                     : static_cast<double>(done) / static_cast<double>(active);
}

// --- changes ---

template <StoredEntity T> T &ModelContext::insert(T entity) {
  return session_->insert(std::move(entity));
}

template <StoredEntity T> void ModelContext::remove(T &entity) {
  session_->remove(entity);
}

bool ModelContext::isDeleted(const void *entity) const {
  return session_->objects().isDeleted(entity);
}

void ModelContext::addGoal(Card &card, Goal &goal) {
  if (session_->objects().isDeleted(&card) ||
      session_->objects().isDeleted(&goal))
    return;
  session_->link(addCardGoalSQL(), card, goal.id);
}

void ModelContext::removeGoal(Card &card, Goal &goal) {
  session_->link(removeCardGoalSQL(), card, goal.id);
}

void ModelContext::addLabel(Card &card, PlanLabel &label) {
  if (session_->objects().isDeleted(&card) ||
      session_->objects().isDeleted(&label))
    return;
  session_->link(addCardLabelSQL(), card, label.id);
}

void ModelContext::removeLabel(Card &card, PlanLabel &label) {
  session_->link(removeCardLabelSQL(), card, label.id);
}

void ModelContext::clearPlannedDates(
    const std::vector<std::pair<int64_t, UUID>> &cards) {
  auto &loaded = session_->objects().of<Card>();
  std::vector<std::pair<int64_t, UUID>> unloaded;
  for (const auto &entry : cards) {
    if (Card *card = loaded.live(entry.second))
      card->plannedDate.reset();
    else
      unloaded.push_back(entry);
  }
  session_->clearColumn<Card>("plannedDate", unloaded);
}

// The entity operations exist for exactly the stored entities; their bodies
// need the session, which the header does not show.
#define TASKORY_ENTITY_OPERATIONS(T)                                           \
  template std::vector<T *> ModelContext::fetchAll<T>();                       \
  template T &ModelContext::insert<T>(T);                                      \
  template void ModelContext::remove<T>(T &);
TASKORY_ENTITY_OPERATIONS(Plan)
TASKORY_ENTITY_OPERATIONS(Bucket)
TASKORY_ENTITY_OPERATIONS(Card)
TASKORY_ENTITY_OPERATIONS(ChecklistItem)
TASKORY_ENTITY_OPERATIONS(CardAttachment)
TASKORY_ENTITY_OPERATIONS(Goal)
TASKORY_ENTITY_OPERATIONS(PlanLabel)
#undef TASKORY_ENTITY_OPERATIONS

} // namespace taskory
