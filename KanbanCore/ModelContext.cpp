#include "KanbanCore/ModelContext.h"

#include "KanbanCore/EntityTables.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Sqlite.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace taskory {

using namespace store;

namespace {

enum class ChangeKind { insert, update, remove };

std::string_view kindText(ChangeKind kind) {
  switch (kind) {
  case ChangeKind::insert:
    return "insert";
  case ChangeKind::update:
    return "update";
  case ChangeKind::remove:
    break;
  }
  return "delete";
}

// An entity as the context holds it: the caller's copy, and the values last
// written to (or read from) the store, so that a flush writes only what the
// caller changed.
template <class T> struct Row {
  T value;
  T stored;
  bool deleted = false;
};

template <class T> struct EntitySet {
  // Owns every row ever handed out, so pointers stay valid for the
  // context's lifetime.
  std::vector<std::unique_ptr<Row<T>>> rows;
  // The live row for each id exactly as stored.
  std::unordered_map<std::string, Row<T> *> byID;
};

template <class T> const std::string &columnList() {
  static const std::string list = [] {
    std::string text;
    for (const auto &field : EntityTable<T>::fields) {
      if (!text.empty())
        text += ", ";
      text +=
          std::string(EntityTable<T>::name) + "." + std::string(field.column);
    }
    return text;
  }();
  return list;
}

template <class T> const std::string &selectSQL() {
  static const std::string sql = "SELECT " + columnList<T>() + " FROM " +
                                 std::string(EntityTable<T>::name) + " ";
  return sql;
}

template <class T> const std::string &insertSQL() {
  static const std::string sql = [] {
    std::string columns, values;
    int index = 1;
    for (const auto &field : EntityTable<T>::fields) {
      if (index > 1) {
        columns += ", ";
        values += ", ";
      }
      columns += std::string(field.column);
      values += '?';
      values += std::to_string(index++);
    }
    return "INSERT INTO " + std::string(EntityTable<T>::name) + " (" + columns +
           ") VALUES (" + values + ")";
  }();
  return sql;
}

std::string asciiLower(std::string_view text) {
  std::string result(text);
  for (char &c : result)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return result;
}

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

const std::string &openCardCondition() {
  static const std::string sql =
      integerExpression("Card.isArchived", 0) + " = 0 AND " +
      integerExpression("Card.percentComplete", 0) + " < 100";
  return sql;
}

// What a cascading delete takes with it: for each table a subquery yielding
// the ids, with ?1 bound to the id of the object removed.
struct Cascade {
  std::string plans = "SELECT NULL WHERE 0";
  std::string buckets = "SELECT NULL WHERE 0";
  std::string cards = "SELECT NULL WHERE 0";
  std::string items;
  std::string attachments;
  std::string labels = "SELECT NULL WHERE 0";
  std::string goals = "SELECT NULL WHERE 0";
};

class PredicateScope {
public:
  PredicateScope(SqliteDatabase &db,
                 const SqliteDatabase::TextPredicate *predicate)
      : db_(db) {
    db_.setTextPredicate(predicate);
  }
  ~PredicateScope() { db_.setTextPredicate(nullptr); }
  PredicateScope(const PredicateScope &) = delete;
  PredicateScope &operator=(const PredicateScope &) = delete;

private:
  SqliteDatabase &db_;
};

} // namespace

struct ModelContext::Impl {
  struct Change {
    std::string_view entity;
    std::string id;
    ChangeKind kind;
    bool dropped = false;
  };

  SqliteDatabase &db;
  const std::string &author;
  bool inTransaction = false;
  // Set when a write failed: the transaction is rolled back and every later
  // call fails the same way, so a caller that ignores one failed save (the
  // week planner does) cannot make a later save report success for a
  // half-kept set of changes.
  std::optional<StoreError> failure;

  EntitySet<Plan> plans;
  EntitySet<Bucket> buckets;
  EntitySet<Card> cards;
  EntitySet<ChecklistItem> items;
  EntitySet<CardAttachment> attachments;
  EntitySet<Goal> goals;
  EntitySet<PlanLabel> labels;
  std::unordered_set<const void *> deleted;

  std::vector<Change> changes;
  std::unordered_map<std::string, std::size_t> changeIndex;

  Impl(SqliteDatabase &db, const std::string &author)
      : db(db), author(author) {}

  template <class T> EntitySet<T> &set() {
    if constexpr (std::is_same_v<T, Plan>)
      return plans;
    else if constexpr (std::is_same_v<T, Bucket>)
      return buckets;
    else if constexpr (std::is_same_v<T, Card>)
      return cards;
    else if constexpr (std::is_same_v<T, ChecklistItem>)
      return items;
    else if constexpr (std::is_same_v<T, CardAttachment>)
      return attachments;
    else if constexpr (std::is_same_v<T, Goal>)
      return goals;
    else
      return labels;
  }

  // --- transaction ---

  void begin() {
    if (failure)
      throw *failure;
    if (inTransaction) {
      // SQLite rolls a transaction back by itself after some I/O errors;
      // carrying on would commit every later statement on its own.
      if (!db.inTransaction())
        poison(StoreError(StoreError::Kind::other, 0, 0,
                          "Die Transaktion wurde vom Store abgebrochen – die "
                          "Änderungen dieses Aufrufs wurden nicht "
                          "gespeichert."));
      return;
    }
    if (db.inTransaction())
      throw StoreError(
          StoreError::Kind::other, 0, 0,
          "Auf diesem Store ist schon ein anderer Kontext offen "
          "– Kontexte arbeiten nacheinander, nicht verschachtelt.");
    refuseMovedFile();
    db.exec("BEGIN IMMEDIATE");
    inTransaction = true;
  }

  void refuseMovedFile() { db.checkFileNotMoved(); }

  [[noreturn]] void poison(const StoreError &error) {
    failure = error;
    rollback();
    throw error;
  }

  void rollback() noexcept {
    if (db.inTransaction())
      db.tryExec("ROLLBACK");
    inTransaction = false;
    changes.clear();
    changeIndex.clear();
  }

  // Runs a change; any failure rolls the whole context back.
  template <class F> decltype(auto) write(F &&f) {
    begin();
    try {
      return f();
    } catch (const StoreError &error) {
      poison(error);
    } catch (...) {
      failure = StoreError(StoreError::Kind::other, 0, 0,
                           "Unerwarteter Fehler beim Schreiben in den Store – "
                           "nichts wurde gespeichert.");
      rollback();
      throw;
    }
  }

  // --- history ---

  void record(std::string_view entity, const std::string &id, ChangeKind kind) {
    std::string key = std::string(entity) + '\n' + id;
    auto it = changeIndex.find(key);
    if (it == changeIndex.end()) {
      changeIndex.emplace(std::move(key), changes.size());
      changes.push_back({entity, id, kind});
      return;
    }
    Change &change = changes[it->second];
    if (kind == ChangeKind::remove) {
      if (change.kind == ChangeKind::insert) {
        // Never seen outside this transaction: no trace at all.
        change.dropped = true;
        changeIndex.erase(it);
      } else {
        change.kind = ChangeKind::remove;
      }
    } else if (kind == ChangeKind::insert &&
               change.kind == ChangeKind::remove) {
      change.kind = ChangeKind::update;
    }
  }

  bool hasRecordedChanges() const {
    return std::any_of(changes.begin(), changes.end(),
                       [](const Change &c) { return !c.dropped; });
  }

  void writeHistory(Date now) {
    if (!hasRecordedChanges())
      return;
    {
      auto stmt = db.statement(
          "INSERT INTO StoreTransaction (author, timestamp) VALUES (?1, ?2)");
      stmt->bindText(1, author);
      bindColumn(*stmt, 2, now, false);
      stmt->step();
    }
    int64_t txn = db.lastInsertRowid();
    auto stmt = db.statement("INSERT INTO StoreChange (txn, entity, entityID, "
                             "kind) VALUES (?1, ?2, ?3, ?4)");
    for (const Change &change : changes) {
      if (change.dropped)
        continue;
      stmt->bind(1, txn);
      stmt->bindText(2, change.entity);
      stmt->bindText(3, change.id);
      stmt->bindText(4, kindText(change.kind));
      stmt->step();
      stmt->reset();
    }
  }

  // --- loading ---

  template <class T> Row<T> &adopt(T value) {
    auto row = std::make_unique<Row<T>>(Row<T>{value, std::move(value)});
    Row<T> &ref = *row;
    EntitySet<T> &entities = set<T>();
    entities.rows.push_back(std::move(row));
    entities.byID[ref.stored.id] = &ref;
    return ref;
  }

  // The context's entity for the current row, loading it on first sight.
  // Rows whose id is not text cannot be addressed and are left out.
  template <class T> T *materialize(const SqliteStatement &s) {
    if (s.type(0) != SqliteType::text)
      return nullptr;
    EntitySet<T> &entities = set<T>();
    auto it = entities.byID.find(std::string(s.bytes(0)));
    if (it != entities.byID.end() && !it->second->deleted)
      return &it->second->value;
    return &adopt(readEntity<T>(s)).value;
  }

  template <class T, class Bind>
  std::vector<T *> fetch(const std::string &sql, Bind &&bind) {
    auto stmt = db.statement(sql);
    bind(*stmt);
    std::vector<T *> result;
    while (stmt->step())
      if (T *entity = materialize<T>(*stmt))
        result.push_back(entity);
    return result;
  }

  template <class T> std::vector<T *> fetch(const std::string &sql) {
    return fetch<T>(sql, [](SqliteStatement &) {});
  }

  template <class T>
  std::vector<T *> fetchBy(const std::string &sql, std::string_view id) {
    return fetch<T>(sql, [&](SqliteStatement &s) { s.bindText(1, id); });
  }

  // Lookup by primary key in any letter case. The id column is the primary
  // key, so this is an index probe; the exact form catches ids that another
  // program wrote in mixed case.
  template <class T> T *lookup(std::string_view id) {
    begin();
    EntitySet<T> &entities = set<T>();
    if (auto it = entities.byID.find(std::string(id));
        it != entities.byID.end() && !it->second->deleted)
      return &it->second->value;
    // One primary-key probe per spelling, the exact text first: links hold
    // the stored text, so that probe is the one that hits. (An IN list would
    // make SQLite build a temporary table on every lookup.)
    const std::string exact(id), upper = canonicalID(id),
                                 lower = asciiLower(id);
    const std::string sql = selectSQL<T>() + "WHERE id = ?1";
    for (const std::string *text : {&exact, &upper, &lower}) {
      if ((text == &upper && upper == exact) ||
          (text == &lower && (lower == exact || lower == upper)))
        continue;
      auto found =
          fetch<T>(sql, [&](SqliteStatement &s) { s.bindText(1, *text); });
      if (!found.empty())
        return found.front();
    }
    return nullptr;
  }

  // --- writing changes ---

  template <class T> bool isDirty(const Row<T> &row) const {
    const auto &fields = EntityTable<T>::fields;
    for (std::size_t i = 1; i < fields.size(); ++i)
      if (!sameField(row.value, row.stored, fields[i]))
        return true;
    return false;
  }

  template <class T> void writeRow(Row<T> &row) {
    const auto &fields = EntityTable<T>::fields;
    std::vector<std::size_t> changed;
    for (std::size_t i = 1; i < fields.size(); ++i)
      if (!sameField(row.value, row.stored, fields[i]))
        changed.push_back(i);
    if (changed.empty())
      return;
    // Only the changed columns: an UPDATE that names a link column makes
    // SQLite check that foreign key, which would fail for a dangling link
    // that another program left and we did not touch.
    std::string sql = "UPDATE " + std::string(EntityTable<T>::name) + " SET ";
    int index = 1;
    for (std::size_t i : changed) {
      if (index > 1)
        sql += ", ";
      sql += std::string(fields[i].column) + " = ?" + std::to_string(index++);
    }
    sql += " WHERE id = ?" + std::to_string(index);
    auto stmt = db.statement(sql);
    index = 1;
    for (std::size_t i : changed)
      bindField(*stmt, index++, row.value, fields[i]);
    stmt->bindText(index, row.stored.id);
    stmt->step();
    std::string id = std::move(row.stored.id);
    row.stored = row.value;
    row.stored.id = std::move(id); // ids never change, whatever the caller did
    record(EntityTable<T>::name, row.stored.id, ChangeKind::update);
  }

  // Writes the caller's changes to one table, so that a query over it sees
  // them.
  template <class T> void flush() {
    write([&] {
      for (auto &row : set<T>().rows)
        if (!row->deleted)
          writeRow(*row);
    });
  }

  void flushAll() {
    flush<Plan>();
    flush<Bucket>();
    flush<Card>();
    flush<ChecklistItem>();
    flush<CardAttachment>();
    flush<Goal>();
    flush<PlanLabel>();
  }

  template <class T> bool anyDirty() {
    for (auto &row : set<T>().rows)
      if (!row->deleted && isDirty(*row))
        return true;
    return false;
  }

  bool anyDirty() {
    return anyDirty<Plan>() || anyDirty<Bucket>() || anyDirty<Card>() ||
           anyDirty<ChecklistItem>() || anyDirty<CardAttachment>() ||
           anyDirty<Goal>() || anyDirty<PlanLabel>();
  }

  template <class T> T &insert(T value) {
    return write([&]() -> T & {
      if (value.id.empty())
        value.id = makeUUID();
      const auto &fields = EntityTable<T>::fields;
      {
        auto stmt = db.statement(insertSQL<T>());
        for (std::size_t i = 0; i < fields.size(); ++i)
          bindField(*stmt, static_cast<int>(i) + 1, value, fields[i]);
        stmt->step();
      }
      Row<T> &row = adopt(std::move(value));
      record(EntityTable<T>::name, row.stored.id, ChangeKind::insert);
      return row.value;
    });
  }

  // --- deleting ---

  std::vector<std::string> ids(const std::string &sql, std::string_view id) {
    std::vector<std::string> result;
    auto stmt = db.statement(sql);
    if (stmt->parameterCount() > 0)
      stmt->bindText(1, id);
    while (stmt->step())
      if (stmt->type(0) == SqliteType::text)
        result.emplace_back(stmt->bytes(0));
    return result;
  }

  void execWithID(const std::string &sql, std::string_view id) {
    auto stmt = db.statement(sql);
    if (stmt->parameterCount() > 0)
      stmt->bindText(1, id);
    stmt->step();
  }

  template <class T>
  std::vector<std::string> doomed(const std::string &subquery,
                                  std::string_view id) {
    std::vector<std::string> result =
        ids("SELECT id FROM " + std::string(EntityTable<T>::name) +
                " WHERE id IN (" + subquery + ") ORDER BY rowid",
            id);
    EntitySet<T> &entities = set<T>();
    for (const std::string &doomedID : result) {
      record(EntityTable<T>::name, doomedID, ChangeKind::remove);
      if (auto it = entities.byID.find(doomedID);
          it != entities.byID.end() && !it->second->deleted) {
        it->second->deleted = true;
        deleted.insert(&it->second->value);
      }
    }
    return result;
  }

  // Deletes the object with `id` and everything the delete rules take with
  // it, recording each deleted object and each card that only loses a link.
  void removeCascade(Cascade cascade, std::string_view id) {
    write([&] {
      // The rules follow the links as the caller left them.
      flushAll();
      if (cascade.items.empty())
        cascade.items = "SELECT id FROM ChecklistItem WHERE card IN (" +
                        cascade.cards + ")";
      if (cascade.attachments.empty())
        cascade.attachments = "SELECT id FROM CardAttachment WHERE card IN (" +
                              cascade.cards + ")";
      for (const std::string &card :
           ids("SELECT DISTINCT card FROM CardGoal WHERE goal IN (" +
                   cascade.goals + ") AND card NOT IN (" + cascade.cards +
                   ") UNION SELECT DISTINCT card FROM CardLabel WHERE label "
                   "IN (" +
                   cascade.labels + ") AND card NOT IN (" + cascade.cards + ")",
               id))
        record(EntityTable<Card>::name, card, ChangeKind::update);

      doomed<Plan>(cascade.plans, id);
      doomed<Bucket>(cascade.buckets, id);
      doomed<Card>(cascade.cards, id);
      doomed<ChecklistItem>(cascade.items, id);
      doomed<CardAttachment>(cascade.attachments, id);
      doomed<PlanLabel>(cascade.labels, id);
      doomed<Goal>(cascade.goals, id);

      // Children first, so the result does not depend on the foreign keys'
      // own cascades.
      execWithID("DELETE FROM CardGoal WHERE card IN (" + cascade.cards +
                     ") OR goal IN (" + cascade.goals + ")",
                 id);
      execWithID("DELETE FROM CardLabel WHERE card IN (" + cascade.cards +
                     ") OR label IN (" + cascade.labels + ")",
                 id);
      execWithID(
          "DELETE FROM ChecklistItem WHERE id IN (" + cascade.items + ")", id);
      execWithID("DELETE FROM CardAttachment WHERE id IN (" +
                     cascade.attachments + ")",
                 id);
      execWithID("DELETE FROM Card WHERE id IN (" + cascade.cards + ")", id);
      execWithID("DELETE FROM PlanLabel WHERE id IN (" + cascade.labels + ")",
                 id);
      execWithID("DELETE FROM Goal WHERE id IN (" + cascade.goals + ")", id);
      execWithID("DELETE FROM Bucket WHERE id IN (" + cascade.buckets + ")",
                 id);
      execWithID("DELETE FROM Plan WHERE id IN (" + cascade.plans + ")", id);
    });
  }

  template <class T> bool isGone(const T &entity) const {
    return deleted.count(&entity) > 0;
  }

  // --- links ---

  void link(std::string_view sql, const Card &card, const std::string &other) {
    write([&] {
      auto stmt = db.statement(sql);
      stmt->bindText(1, card.id);
      stmt->bindText(2, other);
      stmt->step();
      if (db.changes() > 0)
        record(EntityTable<Card>::name, card.id, ChangeKind::update);
    });
  }
};

ModelContext::ModelContext(ModelContainer &container, std::string author)
    : container_(container), author_(std::move(author)),
      impl_(std::make_unique<Impl>(container.database(), author_)) {
  impl_->begin();
}

ModelContext::~ModelContext() {
  if (impl_->inTransaction)
    impl_->rollback();
}

// --- fetching ---

std::vector<Plan *> ModelContext::fetchPlans() {
  impl_->begin();
  return impl_->fetch<Plan>(selectSQL<Plan>() + "ORDER BY rowid");
}

std::vector<Bucket *> ModelContext::fetchBuckets() {
  impl_->begin();
  return impl_->fetch<Bucket>(selectSQL<Bucket>() + "ORDER BY rowid");
}

std::vector<Card *> ModelContext::fetchCards() {
  impl_->begin();
  return impl_->fetch<Card>(selectSQL<Card>() + "ORDER BY rowid");
}

std::vector<Card *> ModelContext::fetchOpenCards() {
  impl_->flush<Card>();
  return impl_->fetch<Card>(selectSQL<Card>() + "WHERE " + openCardCondition() +
                            " ORDER BY rowid");
}

std::vector<Goal *> ModelContext::fetchPlanGoals() {
  impl_->flush<Goal>();
  return impl_->fetch<Goal>(selectSQL<Goal>() +
                            "WHERE typeof(plan) = 'text' ORDER BY rowid");
}

std::vector<Bucket *> ModelContext::fetchPlanBuckets() {
  impl_->flush<Bucket>();
  return impl_->fetch<Bucket>(selectSQL<Bucket>() +
                              "WHERE typeof(plan) = 'text' ORDER BY rowid");
}

std::vector<Card *> ModelContext::openCardsPlannedFrom(Date from) {
  impl_->flush<Card>();
  // A range of the planned-date index; text another program stored there
  // sorts after every number and is left out, as a loaded card shows no
  // planned date for it.
  return impl_->fetch<Card>(
      selectSQL<Card>() +
          "WHERE Card.plannedDate >= ?1 AND typeof(Card.plannedDate) IN "
          "('integer', 'real') AND " +
          openCardCondition() + " ORDER BY Card.plannedDate, Card.rowid",
      [&](SqliteStatement &s) { s.bind(1, from); });
}

Plan *ModelContext::plan(std::string_view id) {
  return impl_->lookup<Plan>(id);
}
Bucket *ModelContext::bucket(std::string_view id) {
  return impl_->lookup<Bucket>(id);
}
Card *ModelContext::card(std::string_view id) {
  return impl_->lookup<Card>(id);
}
Goal *ModelContext::goal(std::string_view id) {
  return impl_->lookup<Goal>(id);
}
PlanLabel *ModelContext::label(std::string_view id) {
  return impl_->lookup<PlanLabel>(id);
}
ChecklistItem *ModelContext::checklistItem(std::string_view id) {
  return impl_->lookup<ChecklistItem>(id);
}

std::vector<Card *> ModelContext::cardsWithIDPrefix(std::string_view prefix) {
  impl_->begin();
  // Two ranges of the primary key: ids are canonical upper case, but other
  // programs may have written them in lower case. Never a scan of all rows.
  std::string upper = canonicalID(prefix), lower = asciiLower(prefix);
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
  return impl_->fetch<Card>(selectSQL<Card>() + "WHERE " + where +
                                " ORDER BY rowid",
                            [&](SqliteStatement &s) {
                              int i = 1;
                              for (const auto &range : ranges) {
                                s.bindText(i++, range.first);
                                if (range.second)
                                  s.bindText(i++, *range.second);
                              }
                            });
}

namespace {

// The WHERE clause of a card query and a binder for its parameters.
struct CardFilter {
  std::string where;
  std::function<void(SqliteStatement &)> bind;
  int parameterCount = 0;
  bool matchesNothing = false;
};

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
  if (!query.includeArchived)
    where += " AND " + integerExpression("Card.isArchived", 0) + " = 0";
  if (query.minPercent)
    where += " AND " + integerExpression("Card.percentComplete", 0) + " >= " +
             parameter([v = *query.minPercent](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.maxPercent)
    where += " AND " + integerExpression("Card.percentComplete", 0) + " <= " +
             parameter([v = *query.maxPercent](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
  if (query.dueAtOrBefore)
    // Written so that the order index serves it as a range: only numeric
    // due dates count, which is what a loaded card shows.
    where += " AND (Card.dueDate IS NULL) = 0 AND Card.dueDate <= " +
             parameter([v = *query.dueAtOrBefore](SqliteStatement &s, int i) {
               s.bind(i, v);
             });
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

} // namespace

std::vector<Card *> ModelContext::queryCards(const CardQuery &query,
                                             std::size_t limit,
                                             int64_t *matched) {
  impl_->flush<Card>();
  if (matched)
    *matched = 0;
  CardFilter filter = cardFilter(query);
  if (filter.matchesNothing || limit == 0)
    return {};
  int64_t sqlLimit =
      limit > static_cast<std::size_t>(std::numeric_limits<int64_t>::max())
          ? -1
          : static_cast<int64_t>(limit);
  const bool wholeStore = !query.planID && !query.bucketIDs;
  static const std::string order =
      " ORDER BY (Card.dueDate IS NULL), Card.dueDate, Card.sortOrder, "
      "Card.rowid LIMIT ?";

  if (query.textMatches) {
    // The text test is the expensive part: it runs once per row, in one
    // pass that yields every match (its count included); only the matches
    // are then ordered and cut. A text test over the whole store is cheaper
    // in table order than as an index walk that looks up every row.
    std::string rowids = "[";
    int64_t count = 0;
    {
      PredicateScope scope(impl_->db, &query.textMatches);
      auto stmt = impl_->db.statement(
          std::string("SELECT Card.rowid FROM Card ") +
          (wholeStore ? "NOT INDEXED " : "") + "WHERE " + filter.where);
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
    return impl_->fetch<Card>(
        selectSQL<Card>() +
            "WHERE Card.rowid IN (SELECT value FROM json_each(?1))" + order +
            "2",
        [&](SqliteStatement &s) {
          s.bindText(1, rowids);
          s.bind(2, sqlLimit);
        });
  }

  // Under a due limit every row is dated, so the "undated last" key is
  // constant; leaving it out lets the order index deliver the rows in order
  // instead of sorting the whole range.
  std::vector<Card *> cards = impl_->fetch<Card>(
      selectSQL<Card>() + "WHERE " + filter.where +
          (query.dueAtOrBefore
               ? " ORDER BY Card.dueDate, Card.sortOrder, Card.rowid LIMIT ?"
               : order) +
          std::to_string(filter.parameterCount + 1),
      [&](SqliteStatement &s) {
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
  impl_->flush<Card>();
  CardFilter filter = cardFilter(query);
  if (filter.matchesNothing)
    return 0;
  PredicateScope scope(impl_->db,
                       query.textMatches ? &query.textMatches : nullptr);
  // A due limit is a range of the (due, state) index, which covers the
  // count; a text test must read every row anyway, cheapest in table order.
  auto stmt = impl_->db.statement(
      std::string("SELECT count(*) FROM Card ") +
      (!query.planID && !query.bucketIDs && query.textMatches ? "NOT INDEXED "
                                                               : "") +
      "WHERE " + filter.where);
  filter.bind(*stmt);
  return stmt->step() ? stmt->int64(0) : 0;
}

SqliteDatabase &ModelContext::flushedDatabase() {
  impl_->flushAll();
  return impl_->db;
}

// --- relationships ---

std::vector<Bucket *> ModelContext::buckets(const Plan &plan) {
  impl_->flush<Bucket>();
  return impl_->fetchBy<Bucket>(
      selectSQL<Bucket>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Card *> ModelContext::cards(const Plan &plan) {
  impl_->flush<Card>();
  return impl_->fetchBy<Card>(
      selectSQL<Card>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Plan &plan) {
  impl_->flush<PlanLabel>();
  return impl_->fetchBy<PlanLabel>(
      selectSQL<PlanLabel>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Goal *> ModelContext::goals(const Plan &plan) {
  impl_->flush<Goal>();
  return impl_->fetchBy<Goal>(
      selectSQL<Goal>() + "WHERE plan = ?1 ORDER BY rowid", plan.id);
}

std::vector<Card *> ModelContext::cards(const Bucket &bucket) {
  impl_->flush<Card>();
  return impl_->fetchBy<Card>(
      selectSQL<Card>() + "WHERE bucket = ?1 ORDER BY rowid", bucket.id);
}

std::vector<ChecklistItem *> ModelContext::checklistItems(const Card &card) {
  impl_->flush<ChecklistItem>();
  return impl_->fetchBy<ChecklistItem>(
      selectSQL<ChecklistItem>() + "WHERE card = ?1 ORDER BY rowid", card.id);
}

std::vector<CardAttachment *> ModelContext::attachments(const Card &card) {
  impl_->flush<CardAttachment>();
  return impl_->fetchBy<CardAttachment>(
      selectSQL<CardAttachment>() + "WHERE card = ?1 ORDER BY rowid", card.id);
}

// Many-to-many links come in the order they were made (the link row's rowid).
std::vector<Goal *> ModelContext::goals(const Card &card) {
  impl_->begin();
  return impl_->fetchBy<Goal>(
      selectSQL<Goal>() + "JOIN CardGoal ON CardGoal.goal = Goal.id "
                          "WHERE CardGoal.card = ?1 ORDER BY CardGoal.rowid",
      card.id);
}

std::vector<PlanLabel *> ModelContext::labels(const Card &card) {
  impl_->begin();
  return impl_->fetchBy<PlanLabel>(
      selectSQL<PlanLabel>() +
          "JOIN CardLabel ON CardLabel.label = PlanLabel.id "
          "WHERE CardLabel.card = ?1 ORDER BY CardLabel.rowid",
      card.id);
}

std::vector<Card *> ModelContext::cards(const Goal &goal) {
  impl_->begin();
  return impl_->fetchBy<Card>(
      selectSQL<Card>() + "JOIN CardGoal ON CardGoal.card = Card.id "
                          "WHERE CardGoal.goal = ?1 ORDER BY CardGoal.rowid",
      goal.id);
}

std::vector<Card *> ModelContext::cards(const PlanLabel &label) {
  impl_->begin();
  return impl_->fetchBy<Card>(
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
  impl_->flush<Card>();
  // Three walks of the (plan, sortOrder) index instead of a scan of the
  // plan's cards on every new card. A value another program stored as NULL,
  // text or blob reads as 0 (as readEntity reads it); in the index NULLs come
  // first and text and blobs after every number, so the two ends tell
  // whether there is one.
  auto edge =
      [&](const char *sql) -> std::optional<std::pair<SqliteType, double>> {
    auto stmt = impl_->db.statement(sql);
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
  impl_->flush<ChecklistItem>();
  auto stmt = impl_->db.statement(
      "SELECT count(*) FROM ChecklistItem WHERE card = ?1 AND typeof(id) = "
      "'text'");
  stmt->bindText(1, card.id);
  return stmt->step() ? stmt->int64(0) : 0;
}

int64_t ModelContext::checkedItemCount(const Card &card) {
  impl_->flush<ChecklistItem>();
  auto stmt = impl_->db.statement(
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

Plan &ModelContext::insert(Plan plan) { return impl_->insert(std::move(plan)); }
Bucket &ModelContext::insert(Bucket bucket) {
  return impl_->insert(std::move(bucket));
}
Card &ModelContext::insert(Card card) { return impl_->insert(std::move(card)); }
ChecklistItem &ModelContext::insert(ChecklistItem item) {
  return impl_->insert(std::move(item));
}
CardAttachment &ModelContext::insert(CardAttachment attachment) {
  return impl_->insert(std::move(attachment));
}
Goal &ModelContext::insert(Goal goal) { return impl_->insert(std::move(goal)); }
PlanLabel &ModelContext::insert(PlanLabel label) {
  return impl_->insert(std::move(label));
}

void ModelContext::remove(Plan &plan) {
  if (impl_->isGone(plan))
    return;
  Cascade cascade;
  cascade.plans = "VALUES (?1)";
  cascade.buckets = "SELECT id FROM Bucket WHERE plan = ?1";
  cascade.cards = "SELECT id FROM Card WHERE plan = ?1 OR bucket IN "
                  "(SELECT id FROM Bucket WHERE plan = ?1)";
  cascade.labels = "SELECT id FROM PlanLabel WHERE plan = ?1";
  cascade.goals = "SELECT id FROM Goal WHERE plan = ?1";
  impl_->removeCascade(std::move(cascade), plan.id);
}

void ModelContext::remove(Bucket &bucket) {
  if (impl_->isGone(bucket))
    return;
  Cascade cascade;
  cascade.buckets = "VALUES (?1)";
  cascade.cards = "SELECT id FROM Card WHERE bucket = ?1";
  impl_->removeCascade(std::move(cascade), bucket.id);
}

void ModelContext::remove(Card &card) {
  if (impl_->isGone(card))
    return;
  Cascade cascade;
  cascade.cards = "VALUES (?1)";
  impl_->removeCascade(std::move(cascade), card.id);
}

void ModelContext::remove(ChecklistItem &item) {
  if (impl_->isGone(item))
    return;
  Cascade cascade;
  cascade.items = "VALUES (?1)";
  cascade.attachments = "SELECT NULL WHERE 0";
  impl_->removeCascade(std::move(cascade), item.id);
}

void ModelContext::remove(CardAttachment &attachment) {
  if (impl_->isGone(attachment))
    return;
  Cascade cascade;
  cascade.items = "SELECT NULL WHERE 0";
  cascade.attachments = "VALUES (?1)";
  impl_->removeCascade(std::move(cascade), attachment.id);
}

void ModelContext::remove(Goal &goal) {
  if (impl_->isGone(goal))
    return;
  Cascade cascade;
  cascade.goals = "VALUES (?1)";
  impl_->removeCascade(std::move(cascade), goal.id);
}

void ModelContext::remove(PlanLabel &label) {
  if (impl_->isGone(label))
    return;
  Cascade cascade;
  cascade.labels = "VALUES (?1)";
  impl_->removeCascade(std::move(cascade), label.id);
}

bool ModelContext::isDeleted(const void *entity) const {
  return impl_->deleted.count(entity) > 0;
}

void ModelContext::addGoal(Card &card, Goal &goal) {
  if (impl_->isGone(card) || impl_->isGone(goal))
    return;
  impl_->link("INSERT OR IGNORE INTO CardGoal (card, goal) VALUES (?1, ?2)",
              card, goal.id);
}

void ModelContext::removeGoal(Card &card, Goal &goal) {
  impl_->link("DELETE FROM CardGoal WHERE card = ?1 AND goal = ?2", card,
              goal.id);
}

void ModelContext::addLabel(Card &card, PlanLabel &label) {
  if (impl_->isGone(card) || impl_->isGone(label))
    return;
  impl_->link("INSERT OR IGNORE INTO CardLabel (card, label) VALUES (?1, ?2)",
              card, label.id);
}

void ModelContext::removeLabel(Card &card, PlanLabel &label) {
  impl_->link("DELETE FROM CardLabel WHERE card = ?1 AND label = ?2", card,
              label.id);
}

void ModelContext::save(Date now) {
  if (impl_->failure)
    throw *impl_->failure;
  if (!impl_->inTransaction && !impl_->anyDirty())
    return;
  impl_->write([&] {
    impl_->flushAll();
    impl_->writeHistory(now);
    impl_->refuseMovedFile();
    impl_->db.exec("COMMIT");
  });
  impl_->inTransaction = false;
  impl_->changes.clear();
  impl_->changeIndex.clear();
}

bool ModelContext::hasChanges() {
  return impl_->hasRecordedChanges() || impl_->anyDirty();
}

} // namespace taskory
