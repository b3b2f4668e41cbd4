#include "KanbanCore/Store/BufferedLog.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

namespace taskory::store {
namespace {

// Beyond this the gathered writes go out at once: a large transaction must
// not hold its whole log in memory.
constexpr std::size_t kMaximumPending = std::size_t{1} << 20;
// The default VFS writes at most 128 KiB - 1 per call (it masks larger sizes).
constexpr std::size_t kLargestWrite = std::size_t{120} << 10;
// A buffer that a large transaction grew is given back after it is written.
constexpr std::size_t kKeptCapacity = std::size_t{256} << 10;
// SQLite's write lock on the log is the first lock slot of the shared index.
constexpr int kWriteLockSlot = 0;

struct LogFile;

// What SQLite allocates for the database file: our bookkeeping, followed by
// the file object of the VFS beneath.
struct DatabaseFile {
  sqlite3_file base; // first: SQLite's view of the file
  sqlite3_file *real;
  // The name SQLite opened the file by. SQLite derives the log's name from
  // the same allocation, which is how the log finds its database file.
  const char *name;
  LogFile *log;
  // Set while this connection holds the log's write lock: only then may log
  // writes wait in memory.
  bool writing;
};

// The same for the write-ahead log.
struct LogFile {
  sqlite3_file base;
  sqlite3_file *real;
  DatabaseFile *database; // nullptr: unpaired, every write goes through
  char *pending;
  std::size_t size;
  std::size_t capacity;
  sqlite3_int64 offset; // of pending[0] in the file
};

// Other files (journals, temporary files) are opened in place by the VFS
// beneath and never see these.
constexpr std::size_t alignedSize(std::size_t size) {
  return (size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
         alignof(std::max_align_t);
}
constexpr std::size_t kRealFileOffset =
    alignedSize(std::max(sizeof(DatabaseFile), sizeof(LogFile)));

sqlite3_file *realFileIn(sqlite3_file *file) {
  return reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) +
                                          kRealFileOffset);
}

// The database files open through the VFS, for their logs to find. A
// connection opens and closes its files on the thread that uses it, but
// connections of the HTTP mode open on several threads at once.
class OpenDatabases {
public:
  void add(DatabaseFile *file) {
    std::lock_guard lock(mutex_);
    files_.push_back(file);
  }
  void remove(DatabaseFile *file) {
    std::lock_guard lock(mutex_);
    std::erase(files_, file);
    if (file->log)
      file->log->database = nullptr;
    file->log = nullptr;
  }
  void pair(LogFile *log, const char *databaseName) {
    std::lock_guard lock(mutex_);
    for (DatabaseFile *file : files_)
      if (file->name == databaseName && file->log == nullptr) {
        file->log = log;
        log->database = file;
        return;
      }
  }
  void unpair(LogFile *log) {
    std::lock_guard lock(mutex_);
    if (log->database)
      log->database->log = nullptr;
    log->database = nullptr;
  }

private:
  std::mutex mutex_;
  std::vector<DatabaseFile *> files_;
};

OpenDatabases &openDatabases() {
  static OpenDatabases *const databases = new OpenDatabases;
  return *databases;
}

sqlite3_vfs *baseOf(sqlite3_vfs *vfs) {
  return static_cast<sqlite3_vfs *>(vfs->pAppData);
}

// --- the log ---

LogFile &logOf(sqlite3_file *file) {
  return *reinterpret_cast<LogFile *>(file);
}

sqlite3_file &realOf(sqlite3_file *file) { return *logOf(file).real; }

// Straight to the file, in parts the default VFS accepts.
int writeThrough(LogFile &log, const char *data, std::size_t size,
                 sqlite3_int64 offset) {
  for (std::size_t done = 0; done < size;) {
    const std::size_t part = std::min(kLargestWrite, size - done);
    const int rc = log.real->pMethods->xWrite(
        log.real, data + done, static_cast<int>(part),
        offset + static_cast<sqlite3_int64>(done));
    if (rc != SQLITE_OK)
      return rc;
    done += part;
  }
  return SQLITE_OK;
}

void release(LogFile &log) {
  log.size = 0;
  if (log.capacity > kKeptCapacity) {
    std::free(log.pending);
    log.pending = nullptr;
    log.capacity = 0;
  }
}

int flush(LogFile &log) {
  if (log.size == 0)
    return SQLITE_OK;
  const int rc = writeThrough(log, log.pending, log.size, log.offset);
  release(log);
  return rc;
}

int flush(sqlite3_file *file) { return flush(logOf(file)); }

bool reserve(LogFile &log, std::size_t needed) {
  if (needed <= log.capacity)
    return true;
  std::size_t capacity = log.capacity ? log.capacity : 64 << 10;
  while (capacity < needed)
    capacity *= 2;
  void *grown = std::realloc(log.pending, capacity);
  if (!grown)
    return false;
  log.pending = static_cast<char *>(grown);
  log.capacity = capacity;
  return true;
}

int logWrite(sqlite3_file *file, const void *data, int amount,
             sqlite3_int64 offset) {
  LogFile &log = logOf(file);
  const auto bytes = static_cast<std::size_t>(amount);
  const bool continues =
      log.size > 0 &&
      offset == log.offset + static_cast<sqlite3_int64>(log.size);
  if (!continues || log.size + bytes > kMaximumPending) {
    if (const int rc = flush(log); rc != SQLITE_OK)
      return rc;
    log.offset = offset;
  }
  // Outside the write lock nothing may wait (nothing would drop it in time);
  // without memory, or for a write larger than the buffer, the write goes
  // straight through as well (the buffer is empty here, so order is kept).
  const bool mayWait = log.database && log.database->writing;
  if (!mayWait || bytes > kMaximumPending || !reserve(log, log.size + bytes)) {
    if (const int rc = flush(log); rc != SQLITE_OK)
      return rc;
    return writeThrough(log, static_cast<const char *>(data), bytes, offset);
  }
  std::memcpy(log.pending + log.size, data, bytes);
  log.size += bytes;
  return SQLITE_OK;
}

int logClose(sqlite3_file *file) {
  LogFile &log = logOf(file);
  // A commit's bytes were written at its sync or before it was published;
  // anything still here belongs to a transaction that ended without one.
  openDatabases().unpair(&log);
  const int closed = log.real->pMethods->xClose(log.real);
  std::free(log.pending);
  log.pending = nullptr;
  log.size = log.capacity = 0;
  return closed;
}

int logRead(sqlite3_file *file, void *data, int amount, sqlite3_int64 offset) {
  // A transaction that spilled pages into the log reads them back from
  // there: serve what is gathered from memory, so that nothing is written
  // before the commit asks for it.
  LogFile &log = logOf(file);
  const sqlite3_int64 end = offset + amount;
  const sqlite3_int64 pendingEnd =
      log.offset + static_cast<sqlite3_int64>(log.size);
  if (log.size > 0 && offset >= log.offset && end <= pendingEnd) {
    std::memcpy(data, log.pending + (offset - log.offset),
                static_cast<std::size_t>(amount));
    return SQLITE_OK;
  }
  if (log.size > 0 && offset < pendingEnd && end > log.offset)
    if (const int rc = flush(log); rc != SQLITE_OK)
      return rc;
  return log.real->pMethods->xRead(log.real, data, amount, offset);
}

int logTruncate(sqlite3_file *file, sqlite3_int64 size) {
  if (const int rc = flush(file); rc != SQLITE_OK)
    return rc;
  return realOf(file).pMethods->xTruncate(&realOf(file), size);
}

int logSync(sqlite3_file *file, int flags) {
  if (const int rc = flush(file); rc != SQLITE_OK)
    return rc;
  return realOf(file).pMethods->xSync(&realOf(file), flags);
}

int logFileSize(sqlite3_file *file, sqlite3_int64 *size) {
  if (const int rc = flush(file); rc != SQLITE_OK)
    return rc;
  return realOf(file).pMethods->xFileSize(&realOf(file), size);
}

int logLock(sqlite3_file *file, int level) {
  return realOf(file).pMethods->xLock(&realOf(file), level);
}

int logUnlock(sqlite3_file *file, int level) {
  return realOf(file).pMethods->xUnlock(&realOf(file), level);
}

int logCheckReservedLock(sqlite3_file *file, int *out) {
  return realOf(file).pMethods->xCheckReservedLock(&realOf(file), out);
}

int logFileControl(sqlite3_file *file, int op, void *argument) {
  if (const int rc = flush(file); rc != SQLITE_OK)
    return rc;
  return realOf(file).pMethods->xFileControl(&realOf(file), op, argument);
}

int logSectorSize(sqlite3_file *file) {
  return realOf(file).pMethods->xSectorSize(&realOf(file));
}

int logDeviceCharacteristics(sqlite3_file *file) {
  return realOf(file).pMethods->xDeviceCharacteristics(&realOf(file));
}

// Version 1: SQLite maps no shared memory and no pages of a log file.
const sqlite3_io_methods kLogMethods = {
    .iVersion = 1,
    .xClose = logClose,
    .xRead = logRead,
    .xWrite = logWrite,
    .xTruncate = logTruncate,
    .xSync = logSync,
    .xFileSize = logFileSize,
    .xLock = logLock,
    .xUnlock = logUnlock,
    .xCheckReservedLock = logCheckReservedLock,
    .xFileControl = logFileControl,
    .xSectorSize = logSectorSize,
    .xDeviceCharacteristics = logDeviceCharacteristics,
    .xShmMap = nullptr,
    .xShmLock = nullptr,
    .xShmBarrier = nullptr,
    .xShmUnmap = nullptr,
    .xFetch = nullptr,
    .xUnfetch = nullptr,
};

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

// --- opening ---

// Opens the file beneath inside `file`'s allocation; on failure SQLite must
// see a file without methods.
int openReal(sqlite3_vfs *vfs, const char *name, sqlite3_file *file,
             int flags, int *outFlags) {
  sqlite3_file *real = realFileIn(file);
  const int rc = baseOf(vfs)->xOpen(baseOf(vfs), name, real, flags, outFlags);
  if (rc != SQLITE_OK) {
    if (real->pMethods)
      real->pMethods->xClose(real);
    file->pMethods = nullptr;
  }
  return rc;
}

int openDatabase(sqlite3_vfs *vfs, const char *name, sqlite3_file *file,
                 int flags, int *outFlags) {
  if (const int rc = openReal(vfs, name, file, flags, outFlags);
      rc != SQLITE_OK)
    return rc;
  auto *database = new (file) DatabaseFile{};
  database->real = realFileIn(file);
  database->name = name;
  // Without shared memory SQLite keeps no log beside the file.
  const bool shared = database->real->pMethods->iVersion >= 2;
  file->pMethods = shared ? &kDatabaseMethods : &kUnsharedDatabaseMethods;
  if (shared && name)
    openDatabases().add(database);
  return SQLITE_OK;
}

int openLog(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags,
            int *outFlags) {
  if (const int rc = openReal(vfs, name, file, flags, outFlags);
      rc != SQLITE_OK)
    return rc;
  auto *log = new (file) LogFile{};
  log->real = realFileIn(file);
  file->pMethods = &kLogMethods;
  if (name)
    openDatabases().pair(log, sqlite3_filename_database(name));
  return SQLITE_OK;
}

int open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags,
         int *outFlags) {
  if (flags & SQLITE_OPEN_MAIN_DB)
    return openDatabase(vfs, name, file, flags, outFlags);
  if (flags & SQLITE_OPEN_WAL)
    return openLog(vfs, name, file, flags, outFlags);
  return baseOf(vfs)->xOpen(baseOf(vfs), name, file, flags, outFlags);
}

// Everything but opening is the base VFS's own.
sqlite3_vfs *makeVFS(const char *name, sqlite3_vfs *base) {
  auto *vfs = new sqlite3_vfs(*base);
  vfs->zName = name;
  vfs->pNext = nullptr;
  vfs->pAppData = base;
  vfs->szOsFile = static_cast<int>(kRealFileOffset) + base->szOsFile;
  vfs->xOpen = &open;
  return vfs;
}

sqlite3_vfs *registered() {
  const char *choice = std::getenv("TASKORY_LOG_VFS");
  if (choice && std::string_view(choice) == "default")
    return nullptr;
  sqlite3_vfs *base = sqlite3_vfs_find(nullptr);
  if (!base)
    return nullptr;
  sqlite3_vfs *vfs = makeVFS("taskory-buffered-log", base);
  return sqlite3_vfs_register(vfs, 0) == SQLITE_OK ? vfs : nullptr;
}

} // namespace

const char *bufferedLogVFS() {
  static sqlite3_vfs *const vfs = registered();
  return vfs ? vfs->zName : nullptr;
}

int registerBufferedLogVFS(const char *name, sqlite3_vfs *base) {
  return sqlite3_vfs_register(makeVFS(name, base), 0);
}

} // namespace taskory::store
