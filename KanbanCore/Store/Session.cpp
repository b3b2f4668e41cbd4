#include "Store/Session.h"

namespace taskory::store {

namespace {

// A writing context takes the write lock up front, so that another writer
// makes it wait before it has done anything rather than fail half-way. A
// reading one takes no lock at all: in WAL mode its first read fixes a
// snapshot of the last commit, which another program's open write
// transaction neither delays nor changes.
std::string_view beginStatement(ContextAccess access) {
  return access == ContextAccess::readOnly ? "BEGIN DEFERRED"
                                           : "BEGIN IMMEDIATE";
}

// Every tool call begins and ends a transaction: the statements are prepared
// once and kept, not parsed again on each call.
void runPrepared(SqliteDatabase &db, std::string_view sql) {
  auto stmt = db.statement(sql);
  stmt->step();
}

template <class T>
void forgetUnchanged(EntitySet<T> &set, ChangeJournal &journal) {
  for (const auto &row : set.rows())
    if (writtenBackUnchanged(*row))
      journal.forgetUpdate(EntityTable<T>::name, row->stored.id);
}

} // namespace

void Session::begin() {
  if (failure_)
    throw *failure_;
  if (inTransaction_) {
    // SQLite rolls a transaction back by itself after some I/O errors;
    // carrying on would commit every later statement on its own.
    if (!db_.inTransaction())
      poison(StoreError::aborted());
    return;
  }
  if (db_.inTransaction())
    throw StoreError::nestedContext();
  db_.checkFileNotMoved();
  runPrepared(db_, beginStatement(access_));
  inTransaction_ = true;
}

void Session::rollback() noexcept {
  if (db_.inTransaction())
    db_.tryExec("ROLLBACK");
  inTransaction_ = false;
  endWrites();
}

void Session::poison(const StoreError &error) {
  failure_ = error;
  rollback();
  throw error;
}

void Session::requireWritable() const {
  if (access_ == Access::readOnly)
    throw StoreError::writeInReadOnlyContext();
}

void Session::commit(Date now) {
  if (failure_)
    throw *failure_;
  if (!inTransaction_ && !objects_.anyDirty())
    return;
  write([&] {
    flushAll();
    forgetUnchangedUpdates();
    // Only a transaction that wrote something can lose it to a moved file;
    // ending one that only read costs no look at the file.
    if (!journal_.empty()) {
      journal_.write(db_, author_, now);
      db_.checkFileNotMoved();
    }
    runPrepared(db_, "COMMIT");
  });
  inTransaction_ = false;
  endWrites();
}

void Session::forgetUnchangedUpdates() {
  if (rowsWritten_)
    objects_.forEach([&](auto &set) { forgetUnchanged(set, journal_); });
}

void Session::endWrites() {
  journal_.clear();
  if (!rowsWritten_)
    return;
  objects_.forEach([](auto &set) {
    for (const auto &row : set.rows())
      row->original.reset();
  });
  rowsWritten_ = false;
}

void Session::remove(EntityKind kind, const std::string &id) {
  write([&] {
    requireWritable();
    // The rules follow the links as the caller left them.
    flushAll();
    const Deletion deletion = collectDeletion(db_, kind, id);
    for (const std::string &card : deletion.cardsLosingLinks)
      journal_.record(EntityTable<Card>::name, card, ChangeKind::update);
    auto ids = [&](EntityKind k) -> const std::vector<std::string> & {
      return deletion.ids[static_cast<std::size_t>(k)];
    };
    markDeleted<Plan>(ids(EntityKind::plan));
    markDeleted<Bucket>(ids(EntityKind::bucket));
    markDeleted<Card>(ids(EntityKind::card));
    markDeleted<ChecklistItem>(ids(EntityKind::checklistItem));
    markDeleted<CardAttachment>(ids(EntityKind::attachment));
    markDeleted<PlanLabel>(ids(EntityKind::label));
    markDeleted<Goal>(ids(EntityKind::goal));
    carryOut(db_, deletion);
  });
}

void Session::link(std::string_view sql, const Card &card,
                   const std::string &other) {
  write([&] {
    requireWritable();
    auto stmt = db_.statement(sql);
    stmt->bindText(1, card.id);
    stmt->bindText(2, other);
    stmt->step();
    if (db_.changes() > 0)
      journal_.record(EntityTable<Card>::name, card.id, ChangeKind::update);
  });
}

} // namespace taskory::store
