#include "PowerLoss/CrashImages.h"

#include <sqlite3.h>

#include <cstddef>
#include <new>

namespace taskory::test {
namespace {

struct ShimFile {
  sqlite3_file base;
  sqlite3_file *real;
  Trace *trace;
  FileKind kind;
  std::string path;
};

struct Shim {
  sqlite3_vfs vfs;
  sqlite3_vfs *base;
  Trace *trace;
};

constexpr std::size_t kRealOffset =
    (sizeof(ShimFile) + alignof(std::max_align_t) - 1) /
    alignof(std::max_align_t) * alignof(std::max_align_t);

ShimFile &shim(sqlite3_file *file) {
  return *reinterpret_cast<ShimFile *>(file);
}
sqlite3_file *real(sqlite3_file *file) { return shim(file).real; }
const sqlite3_io_methods &next(sqlite3_file *file) {
  return *real(file)->pMethods;
}

int shimWrite(sqlite3_file *file, const void *data, int amount,
              sqlite3_int64 offset) {
  ShimFile &f = shim(file);
  const int rc = next(file).xWrite(f.real, data, amount, offset);
  if (rc == SQLITE_OK)
    f.trace->record(f.path, {f.kind, FileOperation::Type::write, offset,
                             std::string(static_cast<const char *>(data),
                                         static_cast<std::size_t>(amount))});
  return rc;
}

int shimSync(sqlite3_file *file, int flags) {
  ShimFile &f = shim(file);
  const int rc = next(file).xSync(f.real, flags);
  if (rc == SQLITE_OK)
    f.trace->record(f.path, {f.kind, FileOperation::Type::sync, 0, {}});
  return rc;
}

int shimTruncate(sqlite3_file *file, sqlite3_int64 size) {
  ShimFile &f = shim(file);
  const int rc = next(file).xTruncate(f.real, size);
  if (rc == SQLITE_OK)
    f.trace->record(f.path, {f.kind, FileOperation::Type::truncate, size, {}});
  return rc;
}

int shimClose(sqlite3_file *file) {
  sqlite3_file *inner = real(file);
  const int rc = inner->pMethods->xClose(inner);
  shim(file).~ShimFile();
  return rc;
}

// The calls the recorder only passes on, to the real file beneath.
using M = sqlite3_io_methods;
template <auto Method> struct Forward;
template <typename Result, typename... Arguments,
          Result (*M::*Method)(sqlite3_file *, Arguments...)>
struct Forward<Method> {
  static Result call(sqlite3_file *file, Arguments... arguments) {
    return (next(file).*Method)(real(file), arguments...);
  }
};

// The default VFS gives database files version 3 methods; a log file maps
// nothing, so SQLite never calls the shared-memory ones on it.
constexpr sqlite3_io_methods kMethods = {
    .iVersion = 3,
    .xClose = shimClose,
    .xRead = Forward<&M::xRead>::call,
    .xWrite = shimWrite,
    .xTruncate = shimTruncate,
    .xSync = shimSync,
    .xFileSize = Forward<&M::xFileSize>::call,
    .xLock = Forward<&M::xLock>::call,
    .xUnlock = Forward<&M::xUnlock>::call,
    .xCheckReservedLock = Forward<&M::xCheckReservedLock>::call,
    .xFileControl = Forward<&M::xFileControl>::call,
    .xSectorSize = Forward<&M::xSectorSize>::call,
    .xDeviceCharacteristics = Forward<&M::xDeviceCharacteristics>::call,
    .xShmMap = Forward<&M::xShmMap>::call,
    .xShmLock = Forward<&M::xShmLock>::call,
    .xShmBarrier = Forward<&M::xShmBarrier>::call,
    .xShmUnmap = Forward<&M::xShmUnmap>::call,
    .xFetch = Forward<&M::xFetch>::call,
    .xUnfetch = Forward<&M::xUnfetch>::call};

int shimOpen(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags,
             int *outFlags) {
  Shim &self = *reinterpret_cast<Shim *>(vfs);
  if (!name || !(flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL)))
    return self.base->xOpen(self.base, name, file, flags, outFlags);
  auto *f = new (file)
      ShimFile{{},
               nullptr,
               self.trace,
               (flags & SQLITE_OPEN_WAL) ? FileKind::log : FileKind::database,
               name};
  f->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) +
                                             kRealOffset);
  const int rc = self.base->xOpen(self.base, name, f->real, flags, outFlags);
  if (rc != SQLITE_OK) {
    if (f->real->pMethods)
      f->real->pMethods->xClose(f->real);
    f->~ShimFile();
    file->pMethods = nullptr;
    return rc;
  }
  file->pMethods = &kMethods;
  return SQLITE_OK;
}

} // namespace

sqlite3_vfs *registerRecordingVFS(const char *name, Trace &trace) {
  sqlite3_vfs *base = sqlite3_vfs_find("unix");
  if (!base)
    base = sqlite3_vfs_find(nullptr);
  auto *made = new Shim{*base, base, &trace};
  made->vfs.zName = name;
  made->vfs.pNext = nullptr;
  made->vfs.szOsFile = static_cast<int>(kRealOffset) + base->szOsFile;
  made->vfs.xOpen = &shimOpen;
  if (sqlite3_vfs_register(&made->vfs, 1) != SQLITE_OK) {
    delete made;
    return nullptr;
  }
  return &made->vfs;
}

} // namespace taskory::test
