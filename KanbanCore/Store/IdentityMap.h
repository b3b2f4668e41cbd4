#pragma once

// The identity map of a model context: at most one object per stored row,
// owned for the context's lifetime so that the pointers it hands out stay
// valid (also after a delete, which only marks the row). Each object keeps a
// snapshot of the values last written to (or read from) the store; the
// difference tells a flush which columns the caller changed, so only those
// are written.

#include "Store/EntityTables.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace taskory::store {

template <class T> struct Row {
  T value;  // the caller's copy
  T stored; // as the store holds it
  bool deleted = false;
  // As the transaction found it, kept from the first write on: a row written
  // back to what it was has not changed, and leaves no history.
  std::optional<T> original;
};

// Indexes of the fields whose value differs from the snapshot; the id (field
// 0) never counts, ids do not change.
template <class T> std::vector<std::size_t> changedFields(const Row<T> &row) {
  const auto &fields = EntityTable<T>::fields;
  std::vector<std::size_t> changed;
  for (std::size_t i = 1; i < fields.size(); ++i)
    if (!sameField(row.value, row.stored, fields[i]))
      changed.push_back(i);
  return changed;
}

template <class T> bool sameValues(const T &a, const T &b) {
  const auto &fields = EntityTable<T>::fields;
  for (std::size_t i = 1; i < fields.size(); ++i)
    if (!sameField(a, b, fields[i]))
      return false;
  return true;
}

template <class T> bool isDirty(const Row<T> &row) {
  return !sameValues(row.value, row.stored);
}

// Written in this transaction and now back to what it found.
template <class T> bool writtenBackUnchanged(const Row<T> &row) {
  return row.original && !row.deleted && sameValues(*row.original, row.stored);
}

// After a write the snapshot is the caller's copy, with the stored id kept
// whatever the caller did to it.
template <class T> void markWritten(Row<T> &row) {
  if (!row.original)
    row.original = row.stored;
  std::string id = std::move(row.stored.id);
  row.stored = row.value;
  row.stored.id = std::move(id);
}

template <class T> class EntitySet {
public:
  Row<T> &adopt(T value) {
    auto row = std::make_unique<Row<T>>(
        Row<T>{value, std::move(value), false, std::nullopt});
    Row<T> &ref = *row;
    rows_.push_back(std::move(row));
    byID_[ref.stored.id] = &ref;
    return ref;
  }

  // The loaded, not deleted object with exactly this stored id.
  T *live(const std::string &id) {
    auto it = byID_.find(id);
    return it != byID_.end() && !it->second->deleted ? &it->second->value
                                                     : nullptr;
  }

  // The object for the statement's current row (columns in field order),
  // loaded on first sight. A row whose id is not text cannot be addressed
  // and is left out.
  T *materialize(const SqliteStatement &s) {
    if (s.type(0) != SqliteType::text)
      return nullptr;
    if (T *known = live(std::string(s.bytes(0))))
      return known;
    return &adopt(readEntity<T>(s)).value;
  }

  // Marks the loaded object with this id deleted; returns it, or nothing
  // when it was never loaded (or is gone already).
  T *markDeleted(const std::string &id) {
    auto it = byID_.find(id);
    if (it == byID_.end() || it->second->deleted)
      return nullptr;
    it->second->deleted = true;
    return &it->second->value;
  }

  // Every object ever handed out, deleted ones included.
  const std::vector<std::unique_ptr<Row<T>>> &rows() const { return rows_; }

  bool anyDirty() const {
    for (const auto &row : rows_)
      if (!row->deleted && isDirty(*row))
        return true;
    return false;
  }

private:
  std::vector<std::unique_ptr<Row<T>>> rows_;
  std::unordered_map<std::string, Row<T> *> byID_;
};

class IdentityMap {
public:
  template <class T> EntitySet<T> &of() {
    return std::get<EntitySet<T>>(sets_);
  }

  // Calls `f` with each entity set, parents before children.
  template <class F> void forEach(F &&f) {
    std::apply([&](auto &...set) { (f(set), ...); }, sets_);
  }

  bool anyDirty() const {
    return std::apply(
        [](const auto &...set) { return (set.anyDirty() || ...); }, sets_);
  }

  void noteDeleted(const void *entity) { deleted_.insert(entity); }
  bool isDeleted(const void *entity) const {
    return deleted_.count(entity) > 0;
  }

private:
  std::tuple<EntitySet<Plan>, EntitySet<Bucket>, EntitySet<Card>,
             EntitySet<ChecklistItem>, EntitySet<CardAttachment>,
             EntitySet<Goal>, EntitySet<PlanLabel>>
      sets_;
  std::unordered_set<const void *> deleted_;
};

} // namespace taskory::store
