#pragma once

// The change journal of one transaction: which objects it inserted, updated
// or deleted, written at commit as one StoreTransaction row with one
// StoreChange row per object, so that other programs can see what the
// server did. Several changes to one object fold into one entry: an insert
// followed by a delete leaves no trace, a delete followed by a new insert of
// the same id reads as an update.

#include "KanbanCore/Types.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace taskory {

class SqliteDatabase;

namespace store {

enum class ChangeKind { insert, update, remove };

class ChangeJournal {
public:
  // `entity` is a table name and must outlive the journal.
  void record(std::string_view entity, const std::string &id, ChangeKind kind);
  // Drops the update of an object that ended as it was (inserts and deletes
  // stay).
  void forgetUpdate(std::string_view entity, const std::string &id);
  bool empty() const;
  // Inserts the history rows (nothing when empty). Throws StoreError.
  void write(SqliteDatabase &db, std::string_view author, Date now) const;
  void clear();

private:
  struct Change {
    std::string_view entity;
    std::string id;
    ChangeKind kind;
    bool dropped = false;
  };
  std::vector<Change> changes_;
  std::unordered_map<std::string, std::size_t> index_;
};

} // namespace store
} // namespace taskory
