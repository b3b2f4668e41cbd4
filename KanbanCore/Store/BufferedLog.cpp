#include "KanbanCore/Store/BufferedLog.h"
#include "KanbanCore/Store/BufferedLogFiles.h"

#include <cstdlib>
#include <new>
#include <string_view>

namespace taskory::store {
namespace {

using namespace logvfs;

sqlite3_vfs *baseOf(sqlite3_vfs *vfs) {
  return static_cast<sqlite3_vfs *>(vfs->pAppData);
}

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
  file->pMethods = &databaseMethods(shared);
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
  file->pMethods = &logMethods();
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
