#include "KanbanCore/ModelContext.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Store/CardQuerySQL.h"
#include "KanbanCore/Store/Session.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"

#include <algorithm>
#include <cstdint>
#include <limits>
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

} // namespace

ModelContext::ModelContext(ModelContainer &container, std::string author,
                           Access access)
    : container_(container), author_(std::move(author)),
      session_(
          std::make_unique<Session>(container.database(), author_, access)) {
  session_->begin();
}

ModelContext::~ModelContext() {
  if (session_->inTransaction())
    session_->rollback();
}

// --- fetching ---

std::vector<Plan *> ModelContext::fetchPlans() {
  session_->begin();
  return session_->fetch<Plan>(selectSQL<Plan>() + "ORDER BY rowid");
}

std::vector<Bucket *> ModelContext::fetchBuckets() {
  session_->begin();
  return session_->fetch<Bucket>(selectSQL<Bucket>() + "ORDER BY rowid");
}

std::vector<Card *> ModelContext::fetchCards() {
  session_->begin();
  return session_->fetch<Card>(selectSQL<Card>() + "ORDER BY rowid");
}

std::vector<Card *> ModelContext::fetchOpenCards() {
  session_->flush<Card>();
  return session_->fetch<Card>(selectSQL<Card>() + "WHERE " +
                               openCardCondition() + " ORDER BY rowid");
}

std::vector<Card *> ModelContext::openCardsPlannedFrom(Date from) {
  session_->flush<Card>();
  // A range of the planned-date index; text another program stored there
  // sorts after every number and is left out, as a loaded card shows no
  // planned date for it.
  return session_->fetch<Card>(
      selectSQL<Card>() +
          "WHERE Card.plannedDate >= ?1 AND typeof(Card.plannedDate) IN "
          "('integer', 'real') AND " +
          openCardCondition() + " ORDER BY Card.plannedDate, Card.rowid",
      [&](SqliteStatement &s) { s.bind(1, from); });
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
ChecklistItem *ModelContext::checklistItem(std::string_view id) {
  return session_->lookup<ChecklistItem>(id);
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
  std::string where;
  int index = 1;
  for (const auto &range : ranges) {
    if (!where.empty())
      where += " OR ";
    where += "(id >= ?" + std::to_string(index++);
    if (range.second)
      where += " AND id < ?" + std::to_string(index++);
    where += ")";
  }
  // The rowid comes along and orders the few matches here: ORDER BY rowid
  // would make SQLite build a sorter for every lookup.
  static const std::string columns = [] {
    std::string sql = selectSQL<Card>();
    sql.insert(sql.rfind(" FROM "), ", Card.rowid");
    return sql;
  }();
  auto stmt = session_->db().statement(columns + "WHERE " + where);
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

std::vector<Card *> ModelContext::queryCards(const CardQuery &query,
                                             std::size_t limit,
                                             int64_t *matched) {
  session_->flush<Card>();
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
    // pass that yields every match (and so their count); only the matches
    // are then ordered and cut.
    std::string rowids = "[";
    int64_t count = 0;
    {
      PredicateScope scope(session_->db(), query);
      auto stmt = session_->db().statement(cardMatchesSQL(query, filter));
      filter.bind(*stmt);
      while (stmt->step()) {
        if (count++ > 0)
          rowids += ',';
        rowids += std::to_string(stmt->int64(0));
      }
    }
    rowids += ']';
    if (matched)
      *matched = count;
    if (count == 0)
      return {};
    return session_->fetch<Card>(cardsOfRowidsSQL(), [&](SqliteStatement &s) {
      s.bindText(1, rowids);
      s.bind(2, sqlLimit);
    });
  }

  std::vector<Card *> cards = session_->fetch<Card>(
      cardSelectSQL(query, filter), [&](SqliteStatement &s) {
        filter.bind(s);
        s.bind(filter.parameterCount + 1, sqlLimit);
      });
  // Counting costs a second pass, needed only when the list may be cut.
  if (matched)
    *matched = cards.size() < limit ? static_cast<int64_t>(cards.size())
                                    : countCards(query);
  return cards;
}

int64_t ModelContext::countCards(const CardQuery &query) {
  session_->flush<Card>();
  CardFilter filter = cardFilter(query);
  if (filter.matchesNothing)
    return 0;
  PredicateScope scope(session_->db(), query);
  auto stmt = session_->db().statement(cardCountSQL(query, filter));
  filter.bind(*stmt);
  return stmt->step() ? stmt->int64(0) : 0;
}

SqliteDatabase &ModelContext::flushedDatabase() {
  session_->flushAll();
  return session_->db();
}

// --- relationships ---

std::vector<Bucket *> ModelContext::buckets(const Plan &plan) {
  session_->flush<Bucket>();
  return session_->fetchBy<Bucket>(
      selectSQL<Bucket>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Card *> ModelContext::cards(const Plan &plan) {
  session_->flush<Card>();
  return session_->fetchBy<Card>(
      selectSQL<Card>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Plan &plan) {
  session_->flush<PlanLabel>();
  return session_->fetchBy<PlanLabel>(
      selectSQL<PlanLabel>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Goal *> ModelContext::goals(const Plan &plan) {
  session_->flush<Goal>();
  return session_->fetchBy<Goal>(
      selectSQL<Goal>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Card *> ModelContext::cards(const Bucket &bucket) {
  session_->flush<Card>();
  return session_->fetchBy<Card>(
      selectSQL<Card>() + "WHERE bucket = ?1 ORDER BY rowid", bucket.id);
}

std::vector<ChecklistItem *> ModelContext::checklistItems(const Card &card) {
  session_->flush<ChecklistItem>();
  return session_->fetchBy<ChecklistItem>(
      selectSQL<ChecklistItem>() + "WHERE card = ?1 ORDER BY rowid", card.id);
}

std::vector<CardAttachment *> ModelContext::attachments(const Card &card) {
  session_->flush<CardAttachment>();
  return session_->fetchBy<CardAttachment>(
      selectSQL<CardAttachment>() + "WHERE card = ?1 ORDER BY rowid", card.id);
}

// Many-to-many links come in the order they were made (the link row's rowid).
std::vector<Goal *> ModelContext::goals(const Card &card) {
  session_->begin();
  return session_->fetchBy<Goal>(
      selectSQL<Goal>() + "JOIN CardGoal ON CardGoal.goal = Goal.id "
                          "WHERE CardGoal.card = ?1 ORDER BY CardGoal.rowid",
      card.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Card &card) {
  session_->begin();
  return session_->fetchBy<PlanLabel>(
      selectSQL<PlanLabel>() +
          "JOIN CardLabel ON CardLabel.label = PlanLabel.id "
          "WHERE CardLabel.card = ?1 ORDER BY CardLabel.rowid",
      card.id);
}

std::vector<Card *> ModelContext::cards(const Goal &goal) {
  session_->begin();
  return session_->fetchBy<Card>(
      selectSQL<Card>() + "JOIN CardGoal ON CardGoal.card = Card.id "
                          "WHERE CardGoal.goal = ?1 ORDER BY CardGoal.rowid",
      goal.id);
}

std::vector<Card *> ModelContext::cards(const PlanLabel &label) {
  session_->begin();
  return session_->fetchBy<Card>(
      selectSQL<Card>() + "JOIN CardLabel ON CardLabel.card = Card.id "
                          "WHERE CardLabel.label = ?1 ORDER BY CardLabel.rowid",
      label.id);
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

std::optional<double> ModelContext::maxCardSortOrder(const Plan &plan) {
  session_->flush<Card>();
  // Three walks of the (plan, sortOrder) index instead of a scan of the
  // plan's cards on every new card. A value another program stored as NULL,
  // text or blob reads as 0 (as readEntity reads it); in the index NULLs come
  // first and text and blobs after every number, so the two ends tell
  // whether there is one.
  auto edge =
      [&](const char *sql) -> std::optional<std::pair<SqliteType, double>> {
    auto stmt = session_->db().statement(sql);
    stmt->bindText(1, plan.id);
    if (!stmt->step())
      return std::nullopt;
    const SqliteType type = stmt->type(0);
    const bool number = type == SqliteType::integer || type == SqliteType::real;
    return std::pair{type, number ? stmt->real(0) : 0.0};
  };
  auto isNumber = [](SqliteType type) {
    return type == SqliteType::integer || type == SqliteType::real;
  };
  const auto lowest = edge(
      "SELECT sortOrder FROM Card WHERE plan = ?1 ORDER BY sortOrder LIMIT 1");
  if (!lowest)
    return std::nullopt; // no cards
  const auto highest = edge("SELECT sortOrder FROM Card WHERE plan = ?1 "
                            "ORDER BY sortOrder DESC LIMIT 1");
  std::optional<double> result;
  if (highest && isNumber(highest->first)) {
    result = highest->second;
  } else if (const auto number =
                 edge("SELECT sortOrder FROM Card WHERE plan = ?1 AND "
                      "typeof(sortOrder) IN ('integer', 'real') ORDER BY "
                      "sortOrder DESC LIMIT 1")) {
    result = number->second;
  }
  const bool hasNonNumber =
      !isNumber(lowest->first) || (highest && !isNumber(highest->first));
  if (hasNonNumber && (!result || *result < 0))
    result = 0.0;
  return result;
}

// --- derived values ---

std::vector<Bucket *> ModelContext::sortedBuckets(const Plan &plan) {
  auto result = buckets(plan);
  std::stable_sort(result.begin(), result.end(),
                   [](const Bucket *a, const Bucket *b) {
                     return a->sortOrder < b->sortOrder;
                   });
  return result;
}

std::vector<PlanLabel *> ModelContext::sortedLabels(const Plan &plan) {
  auto result = labels(plan);
  std::stable_sort(result.begin(), result.end(),
                   [](const PlanLabel *a, const PlanLabel *b) {
                     return a->slotIndex < b->slotIndex;
                   });
  return result;
}

std::vector<Card *> ModelContext::activeCards(const Plan &plan) {
  auto result = cards(plan);
  std::erase_if(result, [](const Card *c) { return c->isArchived; });
  return result;
}

std::vector<Card *> ModelContext::activeCards(const Bucket &bucket) {
  auto result = cards(bucket);
  std::erase_if(result, [](const Card *c) { return c->isArchived; });
  return result;
}

std::vector<ChecklistItem *> ModelContext::sortedChecklist(const Card &card) {
  auto result = checklistItems(card);
  std::stable_sort(result.begin(), result.end(),
                   [](const ChecklistItem *a, const ChecklistItem *b) {
                     return a->sortOrder < b->sortOrder;
                   });
  return result;
}

std::vector<CardAttachment *>
ModelContext::sortedAttachments(const Card &card) {
  auto result = attachments(card);
  std::stable_sort(result.begin(), result.end(),
                   [](const CardAttachment *a, const CardAttachment *b) {
                     return a->sortOrder < b->sortOrder;
                   });
  return result;
}

std::vector<PlanLabel *> ModelContext::sortedLabels(const Card &card) {
  auto result = labels(card);
  std::stable_sort(result.begin(), result.end(),
                   [](const PlanLabel *a, const PlanLabel *b) {
                     return a->slotIndex < b->slotIndex;
                   });
  return result;
}

int64_t ModelContext::checklistItemCount(const Card &card) {
  session_->flush<ChecklistItem>();
  auto stmt = session_->db().statement(
      "SELECT count(*) FROM ChecklistItem WHERE card = ?1 AND typeof(id) = "
      "'text'");
  stmt->bindText(1, card.id);
  return stmt->step() ? stmt->int64(0) : 0;
}

int64_t ModelContext::checkedItemCount(const Card &card) {
  session_->flush<ChecklistItem>();
  auto stmt = session_->db().statement(
      "SELECT count(*) FROM ChecklistItem WHERE card = ?1 AND typeof(id) = "
      "'text' AND " +
      integerExpression("isChecked", 0) + " <> 0");
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

Plan &ModelContext::insert(Plan plan) {
  return session_->insert(std::move(plan));
}
Bucket &ModelContext::insert(Bucket bucket) {
  return session_->insert(std::move(bucket));
}
Card &ModelContext::insert(Card card) {
  return session_->insert(std::move(card));
}
ChecklistItem &ModelContext::insert(ChecklistItem item) {
  return session_->insert(std::move(item));
}
CardAttachment &ModelContext::insert(CardAttachment attachment) {
  return session_->insert(std::move(attachment));
}
Goal &ModelContext::insert(Goal goal) {
  return session_->insert(std::move(goal));
}
PlanLabel &ModelContext::insert(PlanLabel label) {
  return session_->insert(std::move(label));
}

void ModelContext::remove(Plan &plan) { session_->remove(plan); }
void ModelContext::remove(Bucket &bucket) { session_->remove(bucket); }
void ModelContext::remove(Card &card) { session_->remove(card); }
void ModelContext::remove(ChecklistItem &item) { session_->remove(item); }
void ModelContext::remove(CardAttachment &attachment) {
  session_->remove(attachment);
}
void ModelContext::remove(Goal &goal) { session_->remove(goal); }
void ModelContext::remove(PlanLabel &label) { session_->remove(label); }

bool ModelContext::isDeleted(const void *entity) const {
  return session_->objects().isDeleted(entity);
}

void ModelContext::addGoal(Card &card, Goal &goal) {
  if (session_->objects().isDeleted(&card) ||
      session_->objects().isDeleted(&goal))
    return;
  session_->link("INSERT OR IGNORE INTO CardGoal (card, goal) VALUES (?1, ?2)",
                 card, goal.id);
}

void ModelContext::removeGoal(Card &card, Goal &goal) {
  session_->link("DELETE FROM CardGoal WHERE card = ?1 AND goal = ?2", card,
                 goal.id);
}

void ModelContext::addLabel(Card &card, PlanLabel &label) {
  if (session_->objects().isDeleted(&card) ||
      session_->objects().isDeleted(&label))
    return;
  session_->link(
      "INSERT OR IGNORE INTO CardLabel (card, label) VALUES (?1, ?2)", card,
      label.id);
}

void ModelContext::removeLabel(Card &card, PlanLabel &label) {
  session_->link("DELETE FROM CardLabel WHERE card = ?1 AND label = ?2", card,
                 label.id);
}

void ModelContext::save(Date now) { session_->commit(now); }

bool ModelContext::hasChanges() { return session_->hasChanges(); }

} // namespace taskory
