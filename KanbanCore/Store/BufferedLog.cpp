#include "KanbanCore/Store/BufferedLog.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace taskory::store {
namespace {

// Beyond this the gathered writes go out at once: a large transaction must
// not hold its whole log in memory.
constexpr std::size_t kMaximumPending = std::size_t{1} << 20;
// The default VFS writes at most 128 KiB - 1 per call (it masks larger sizes).
constexpr std::size_t kLargestWrite = std::size_t{120} << 10;
// A buffer that a large transaction grew is given back after it is written.
constexpr std::size_t kKeptCapacity = std::size_t{256} << 10;

// What SQLite allocates for every file opened through the VFS: the log's
// bookkeeping, followed by the default VFS's own file object. Files other
// than the log are opened in place by the default VFS and never see this.
struct LogFile {
  sqlite3_file base; // first: SQLite's view of the file
  sqlite3_file *real;
  char *pending;
  std::size_t size;
  std::size_t capacity;
  sqlite3_int64 offset; // of pending[0] in the file
};

constexpr std::size_t kRealFileOffset =
    (sizeof(LogFile) + alignof(std::max_align_t) - 1) /
    alignof(std::max_align_t) * alignof(std::max_align_t);

// SQLite's default VFS, which does the actual work.
sqlite3_vfs *defaultVFS() {
  static sqlite3_vfs *const vfs = sqlite3_vfs_find(nullptr);
  return vfs;
}

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

int flush(LogFile &log) {
  if (log.size == 0)
    return SQLITE_OK;
  const int rc = writeThrough(log, log.pending, log.size, log.offset);
  log.size = 0;
  if (log.capacity > kKeptCapacity) {
    std::free(log.pending);
    log.pending = nullptr;
    log.capacity = 0;
  }
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
  // Without memory, or for a write larger than the buffer, the write goes
  // straight through (the buffer is empty here, so order is kept).
  if (bytes > kMaximumPending || !reserve(log, log.size + bytes)) {
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
  const int flushed = flush(log);
  const int closed = log.real->pMethods->xClose(log.real);
  std::free(log.pending);
  log.pending = nullptr;
  log.capacity = 0;
  return flushed != SQLITE_OK ? flushed : closed;
}

int logRead(sqlite3_file *file, void *data, int amount, sqlite3_int64 offset) {
  if (const int rc = flush(file); rc != SQLITE_OK)
    return rc;
  return realOf(file).pMethods->xRead(&realOf(file), data, amount, offset);
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

int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags,
         int *outFlags) {
  if (!(flags & SQLITE_OPEN_WAL))
    return defaultVFS()->xOpen(defaultVFS(), name, file, flags, outFlags);
  auto *log = new (file) LogFile{};
  log->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) +
                                               kRealFileOffset);
  const int rc =
      defaultVFS()->xOpen(defaultVFS(), name, log->real, flags, outFlags);
  if (rc != SQLITE_OK) {
    if (log->real->pMethods)
      log->real->pMethods->xClose(log->real);
    file->pMethods = nullptr;
    return rc;
  }
  file->pMethods = &kLogMethods;
  return SQLITE_OK;
}

// Everything but opening is the default VFS's own.
sqlite3_vfs *registered() {
  if (!defaultVFS())
    return nullptr;
  static sqlite3_vfs vfs = [] {
    sqlite3_vfs made = *defaultVFS();
    made.zName = "taskory-buffered-log";
    made.pNext = nullptr;
    made.szOsFile = static_cast<int>(kRealFileOffset) + defaultVFS()->szOsFile;
    made.xOpen = &open;
    return made;
  }();
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &vfs : nullptr;
}

} // namespace

const char *bufferedLogVFS() {
  static sqlite3_vfs *const vfs = registered();
  return vfs ? vfs->zName : nullptr;
}

} // namespace taskory::store
