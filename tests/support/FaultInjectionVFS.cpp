#include "support/FaultInjectionVFS.h"

#include <sqlite3.h>

#include <cstddef>
#include <new>

namespace taskory::test {
namespace {

struct FaultFile {
  sqlite3_file base;
  sqlite3_file *real;
};

constexpr std::size_t kRealOffset =
    (sizeof(FaultFile) + alignof(std::max_align_t) - 1) /
    alignof(std::max_align_t) * alignof(std::max_align_t);

sqlite3_vfs *defaultVFS() {
  static sqlite3_vfs *const vfs = sqlite3_vfs_find(nullptr);
  return vfs;
}

sqlite3_file *real(sqlite3_file *file) {
  return reinterpret_cast<FaultFile *>(file)->real;
}

int logWrite(sqlite3_file *file, const void *data, int amount,
             sqlite3_int64 offset) {
  LogFaults &faults = logFaults();
  ++faults.writes;
  for (int left = faults.failWrites; left != 0;) {
    if (left < 0 || faults.failWrites.compare_exchange_weak(left, left - 1))
      return SQLITE_IOERR_WRITE;
  }
  return real(file)->pMethods->xWrite(real(file), data, amount, offset);
}

int logSync(sqlite3_file *file, int flags) {
  LogFaults &faults = logFaults();
  ++faults.syncs;
  if (faults.failSyncs)
    return SQLITE_IOERR_FSYNC;
  return real(file)->pMethods->xSync(real(file), flags);
}

int logClose(sqlite3_file *file) {
  return real(file)->pMethods->xClose(real(file));
}
int logRead(sqlite3_file *file, void *data, int amount, sqlite3_int64 offset) {
  return real(file)->pMethods->xRead(real(file), data, amount, offset);
}
int logTruncate(sqlite3_file *file, sqlite3_int64 size) {
  return real(file)->pMethods->xTruncate(real(file), size);
}
int logFileSize(sqlite3_file *file, sqlite3_int64 *size) {
  return real(file)->pMethods->xFileSize(real(file), size);
}
int logLock(sqlite3_file *file, int level) {
  return real(file)->pMethods->xLock(real(file), level);
}
int logUnlock(sqlite3_file *file, int level) {
  return real(file)->pMethods->xUnlock(real(file), level);
}
int logCheckReservedLock(sqlite3_file *file, int *out) {
  return real(file)->pMethods->xCheckReservedLock(real(file), out);
}
int logFileControl(sqlite3_file *file, int op, void *argument) {
  return real(file)->pMethods->xFileControl(real(file), op, argument);
}
int logSectorSize(sqlite3_file *file) {
  return real(file)->pMethods->xSectorSize(real(file));
}
int logDeviceCharacteristics(sqlite3_file *file) {
  return real(file)->pMethods->xDeviceCharacteristics(real(file));
}

// SQLite maps no shared memory and no pages of a log file.
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
  auto *log = new (file) FaultFile{};
  log->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) +
                                               kRealOffset);
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

sqlite3_vfs *registered() {
  static sqlite3_vfs vfs = [] {
    sqlite3_vfs made = *defaultVFS();
    made.zName = "taskory-test-faults";
    made.pNext = nullptr;
    made.szOsFile = static_cast<int>(kRealOffset) + defaultVFS()->szOsFile;
    made.xOpen = &open;
    return made;
  }();
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &vfs : nullptr;
}

} // namespace

const char *faultInjectionVFS() {
  static sqlite3_vfs *const vfs = registered();
  return vfs ? vfs->zName : nullptr;
}

LogFaults &logFaults() {
  static LogFaults faults;
  return faults;
}

} // namespace taskory::test
