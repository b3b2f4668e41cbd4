#include "KanbanCore/Store/BufferedLogFiles.h"

#include <cstdlib>
#include <cstring>

namespace taskory::store::logvfs {
namespace {
int writeThrough(LogFile &log, const char *data, std::size_t size,
                 sqlite3_int64 offset);
} // namespace

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

namespace {

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

} // namespace

const sqlite3_io_methods &logMethods() { return kLogMethods; }

} // namespace taskory::store::logvfs
