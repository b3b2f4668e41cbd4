#pragma once

// The machinery behind one ModelContext: its SQLite transaction, the
// identity map of the objects it loaded and the journal of what it changed.
// A failed write rolls everything back and leaves the session failed, so
// that no later call can commit half of a unit of work.

#include "KanbanCore/ContextAccess.h"
#include "Store/ChangeJournal.h"
#include "Store/DeleteRules.h"
#include "Store/IdentityMap.h"
#include "Store/Sqlite.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace taskory::store {

class Session {
public:
  using Access = ContextAccess;

  Session(SqliteDatabase &db, const std::string &author, Access access)
      : db_(db), author_(author), access_(access) {}

  SqliteDatabase &db() { return db_; }
  bool inTransaction() const { return inTransaction_; }
  IdentityMap &objects() { return objects_; }
  bool hasChanges() const { return !journal_.empty() || objects_.anyDirty(); }

  // Begins the transaction unless one is open; throws the failure of an
  // earlier write.
  void begin();
  // Rolls back and forgets the journal; the session stays usable.
  void rollback() noexcept;
  // Writes the caller's changes and the history, then commits.
  void commit(Date now);

  // --- reading ---

  template <class T, class Bind>
  std::vector<T *> fetch(const std::string &sql, Bind &&bind) {
    auto stmt = db_.statement(sql);
    bind(*stmt);
    std::vector<T *> result;
    while (stmt->step())
      if (T *entity = objects_.of<T>().materialize(*stmt))
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

  // Lookup by primary key in any letter case.
  template <class T> T *lookup(std::string_view id) {
    begin();
    if (T *known = objects_.of<T>().live(std::string(id)))
      return known;
    // One primary-key probe per spelling, the exact text first: links hold
    // the stored text, so that probe is the one that hits; the others catch
    // ids another program wrote in another case. (An IN list would make
    // SQLite build a temporary table on every lookup.)
    const std::string exact(id), upper = canonicalID(id),
                                 lower = text::asciiLowercased(id);
    const std::string sql = selectSQL<T>() + "WHERE id = ?1";
    for (const std::string *spelling : {&exact, &upper, &lower}) {
      if ((spelling == &upper && upper == exact) ||
          (spelling == &lower && (lower == exact || lower == upper)))
        continue;
      auto found = fetchBy<T>(sql, *spelling);
      if (!found.empty())
        return found.front();
    }
    return nullptr;
  }

  // --- writing ---

  // Writes the caller's changes to one table, so that a query over it sees
  // them.
  template <class T> void flush() { flush(objects_.of<T>()); }
  void flushAll() {
    objects_.forEach([&](auto &set) { flush(set); });
  }

  template <class T> T &insert(T value) {
    return write([&]() -> T & {
      requireWritable();
      if (value.id.empty())
        value.id = makeUUID();
      const auto &fields = EntityTable<T>::fields;
      {
        auto stmt = db_.statement(insertSQL<T>());
        for (std::size_t i = 0; i < fields.size(); ++i)
          bindField(*stmt, static_cast<int>(i) + 1, value, fields[i]);
        stmt->step();
      }
      Row<T> &row = objects_.of<T>().adopt(std::move(value));
      journal_.record(EntityTable<T>::name, row.stored.id, ChangeKind::insert);
      return row.value;
    });
  }

  // Sets `column` of T to NULL in the rows given by rowid and id, none of
  // them loaded, in one statement; each is recorded as an update.
  template <class T>
  void clearColumn(std::string_view column,
                   const std::vector<std::pair<int64_t, std::string>> &rows) {
    if (rows.empty())
      return;
    write([&] {
      requireWritable();
      std::string rowids = "[";
      for (const auto &[rowid, id] : rows) {
        if (rowids.size() > 1)
          rowids += ',';
        rowids += std::to_string(rowid);
      }
      rowids += ']';
      auto stmt = db_.statement(
          "UPDATE " + std::string(EntityTable<T>::name) + " SET " +
          std::string(column) +
          " = NULL WHERE rowid IN (SELECT value FROM json_each(?1))");
      stmt->bindText(1, rowids);
      stmt->step();
      for (const auto &[rowid, id] : rows)
        journal_.record(EntityTable<T>::name, id, ChangeKind::update);
    });
  }

  // Deletes the object and everything the delete rules take with it.
  template <class T> void remove(const T &entity) {
    if (objects_.isDeleted(&entity))
      return;
    remove(entityKind<T>(), entity.id);
  }

  // Adds or removes one link row (`sql` with ?1 the card, ?2 the other id);
  // the card counts as changed when a row was touched.
  void link(std::string_view sql, const Card &card, const std::string &other);

private:
  void requireWritable() const;
  // At commit: objects written back to what the transaction found are not
  // changes, and get no history.
  void forgetUnchangedUpdates();
  // The transaction is over: forget its journal and what it found.
  void endWrites();
  [[noreturn]] void poison(const StoreError &error);
  void remove(EntityKind kind, const std::string &id);

  // Runs a change; any failure rolls the whole context back.
  template <class F> decltype(auto) write(F &&f) {
    begin();
    try {
      return f();
    } catch (const StoreError &error) {
      poison(error);
    } catch (...) {
      failure_ = StoreError::unexpectedWriteFailure();
      rollback();
      throw;
    }
  }

  template <class T> void flush(EntitySet<T> &set) {
    begin();
    if (!set.anyDirty())
      return;
    write([&] {
      for (const auto &row : set.rows())
        if (!row->deleted)
          writeRow(*row);
    });
  }

  template <class T> void writeRow(Row<T> &row) {
    const std::vector<std::size_t> changed = changedFields(row);
    if (changed.empty())
      return;
    requireWritable();
    const auto &fields = EntityTable<T>::fields;
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
    auto stmt = db_.statement(sql);
    index = 1;
    for (std::size_t i : changed)
      bindField(*stmt, index++, row.value, fields[i]);
    stmt->bindText(index, row.stored.id);
    stmt->step();
    markWritten(row);
    rowsWritten_ = true;
    journal_.record(EntityTable<T>::name, row.stored.id, ChangeKind::update);
  }

  template <class T> void markDeleted(const std::vector<std::string> &ids) {
    for (const std::string &id : ids) {
      journal_.record(EntityTable<T>::name, id, ChangeKind::remove);
      if (T *entity = objects_.of<T>().markDeleted(id))
        objects_.noteDeleted(entity);
    }
  }

  SqliteDatabase &db_;
  const std::string &author_;
  const Access access_;
  bool inTransaction_ = false;
  // Whether a row was updated since the transaction began (rows then keep
  // what the transaction found).
  bool rowsWritten_ = false;
  // Set when a write failed: the transaction is rolled back and every later
  // call fails the same way, so a caller that ignores one failed save (the
  // week planner does) cannot make a later save report success for a
  // half-kept set of changes.
  std::optional<StoreError> failure_;
  IdentityMap objects_;
  ChangeJournal journal_;
};

} // namespace taskory::store
