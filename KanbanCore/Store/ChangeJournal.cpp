#include "Store/ChangeJournal.h"

#include "Store/EntityTables.h"
#include "Store/Sqlite.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace taskory::store {

namespace {

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

} // namespace

void ChangeJournal::record(std::string_view entity, const std::string &id,
                           ChangeKind kind) {
  std::string key = std::string(entity) + '\n' + id;
  auto it = index_.find(key);
  if (it == index_.end()) {
    index_.emplace(std::move(key), changes_.size());
    changes_.push_back({entity, id, kind});
    return;
  }
  Change &change = changes_[it->second];
  if (kind == ChangeKind::remove) {
    if (change.kind == ChangeKind::insert) {
      // Never seen outside this transaction: no trace at all.
      change.dropped = true;
      index_.erase(it);
    } else {
      change.kind = ChangeKind::remove;
    }
  } else if (kind == ChangeKind::insert && change.kind == ChangeKind::remove) {
    change.kind = ChangeKind::update;
  }
}

void ChangeJournal::forgetUpdate(std::string_view entity,
                                 const std::string &id) {
  auto it = index_.find(std::string(entity) + '\n' + id);
  if (it == index_.end() || changes_[it->second].kind != ChangeKind::update)
    return;
  changes_[it->second].dropped = true;
  index_.erase(it);
}

bool ChangeJournal::empty() const {
  return std::all_of(changes_.begin(), changes_.end(),
                     [](const Change &c) { return c.dropped; });
}

void ChangeJournal::write(SqliteDatabase &db, std::string_view author,
                          Date now) const {
  if (empty())
    return;
  {
    auto stmt = db.statement(
        "INSERT INTO StoreTransaction (author, timestamp) VALUES (?1, ?2)");
    stmt->bindText(1, author);
    bindColumn(*stmt, 2, now, false);
    stmt->step();
  }
  const int64_t txn = db.lastInsertRowid();
  auto stmt = db.statement("INSERT INTO StoreChange (txn, entity, entityID, "
                           "kind) VALUES (?1, ?2, ?3, ?4)");
  for (const Change &change : changes_) {
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

void ChangeJournal::clear() {
  changes_.clear();
  index_.clear();
}

} // namespace taskory::store
