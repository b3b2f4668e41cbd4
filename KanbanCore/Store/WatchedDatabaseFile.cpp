#include "KanbanCore/Store/BufferedLogFiles.h"


namespace taskory::store::logvfs {
namespace {

// --- the database file: every call goes to the file beneath; the shared
// index's locks and barriers are watched on the way ---

DatabaseFile &databaseOf(sqlite3_file *file) {
  return *reinterpret_cast<DatabaseFile *>(file);
}

sqlite3_file *realDatabase(sqlite3_file *file) { return databaseOf(file).real; }

int databaseClose(sqlite3_file *file) {
  DatabaseFile &database = databaseOf(file);
  openDatabases().remove(&database);
  return database.real->pMethods->xClose(database.real);
}

int databaseRead(sqlite3_file *file, void *data, int amount,
                 sqlite3_int64 offset) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xRead(real, data, amount, offset);
}

int databaseWrite(sqlite3_file *file, const void *data, int amount,
                  sqlite3_int64 offset) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xWrite(real, data, amount, offset);
}

int databaseTruncate(sqlite3_file *file, sqlite3_int64 size) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xTruncate(real, size);
}

int databaseSync(sqlite3_file *file, int flags) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xSync(real, flags);
}

int databaseFileSize(sqlite3_file *file, sqlite3_int64 *size) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xFileSize(real, size);
}

int databaseLock(sqlite3_file *file, int level) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xLock(real, level);
}

int databaseUnlock(sqlite3_file *file, int level) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xUnlock(real, level);
}

int databaseCheckReservedLock(sqlite3_file *file, int *out) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xCheckReservedLock(real, out);
}

int databaseFileControl(sqlite3_file *file, int op, void *argument) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xFileControl(real, op, argument);
}

int databaseSectorSize(sqlite3_file *file) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xSectorSize(real);
}

int databaseDeviceCharacteristics(sqlite3_file *file) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xDeviceCharacteristics(real);
}

int databaseShmMap(sqlite3_file *file, int region, int size, int extend,
                   void volatile **memory) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xShmMap(real, region, size, extend, memory);
}

int databaseShmLock(sqlite3_file *file, int offset, int n, int flags) {
  DatabaseFile &database = databaseOf(file);
  const bool writeLock = offset <= kWriteLockSlot && kWriteLockSlot < offset + n;
  if (writeLock && (flags & SQLITE_SHM_UNLOCK)) {
    // Before the lock is free: from then on the log's tail is another
    // connection's to write.
    database.writing = false;
    if (database.log)
      release(*database.log);
  }
  const int rc =
      database.real->pMethods->xShmLock(database.real, offset, n, flags);
  if (writeLock && rc == SQLITE_OK &&
      flags == (SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE))
    database.writing = true;
  return rc;
}

void databaseShmBarrier(sqlite3_file *file) {
  // SQLite passes a barrier before it publishes a commit in the shared index.
  // With synchronous = FULL the commit's sync has written everything by then;
  // at a lower setting nothing else would, and readers must not be shown
  // frames that are not in the file.
  DatabaseFile &database = databaseOf(file);
  if (database.log)
    flush(*database.log);
  database.real->pMethods->xShmBarrier(database.real);
}

int databaseShmUnmap(sqlite3_file *file, int deleteFlag) {
  sqlite3_file *real = realDatabase(file);
  return real->pMethods->xShmUnmap(real, deleteFlag);
}

int databaseFetch(sqlite3_file *file, sqlite3_int64 offset, int amount,
                  void **pages) {
  sqlite3_file *real = realDatabase(file);
  if (real->pMethods->iVersion < 3) {
    *pages = nullptr; // not mapped: SQLite reads instead
    return SQLITE_OK;
  }
  return real->pMethods->xFetch(real, offset, amount, pages);
}

int databaseUnfetch(sqlite3_file *file, sqlite3_int64 offset, void *pages) {
  sqlite3_file *real = realDatabase(file);
  if (real->pMethods->iVersion < 3)
    return SQLITE_OK;
  return real->pMethods->xUnfetch(real, offset, pages);
}

constexpr sqlite3_io_methods kDatabaseMethods = {
    .iVersion = 3,
    .xClose = databaseClose,
    .xRead = databaseRead,
    .xWrite = databaseWrite,
    .xTruncate = databaseTruncate,
    .xSync = databaseSync,
    .xFileSize = databaseFileSize,
    .xLock = databaseLock,
    .xUnlock = databaseUnlock,
    .xCheckReservedLock = databaseCheckReservedLock,
    .xFileControl = databaseFileControl,
    .xSectorSize = databaseSectorSize,
    .xDeviceCharacteristics = databaseDeviceCharacteristics,
    .xShmMap = databaseShmMap,
    .xShmLock = databaseShmLock,
    .xShmBarrier = databaseShmBarrier,
    .xShmUnmap = databaseShmUnmap,
    .xFetch = databaseFetch,
    .xUnfetch = databaseUnfetch,
};

constexpr sqlite3_io_methods withoutSharedMemory(sqlite3_io_methods methods) {
  methods.iVersion = 1;
  methods.xShmMap = nullptr;
  methods.xShmLock = nullptr;
  methods.xShmBarrier = nullptr;
  methods.xShmUnmap = nullptr;
  methods.xFetch = nullptr;
  methods.xUnfetch = nullptr;
  return methods;
}

constexpr sqlite3_io_methods kUnsharedDatabaseMethods =
    withoutSharedMemory(kDatabaseMethods);

} // namespace

const sqlite3_io_methods &databaseMethods(bool sharedMemory) {
  return sharedMemory ? kDatabaseMethods : kUnsharedDatabaseMethods;
}

} // namespace taskory::store::logvfs
