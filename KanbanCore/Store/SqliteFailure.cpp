#include "Store/SqliteFailure.h"

#include <sqlite3.h>

#include <cerrno>
#include <string>
#include <system_error>

#include <sys/resource.h>
#include <sys/stat.h>

namespace taskory {
namespace {

// The write that meets a file-size limit (ulimit -f) first comes back short,
// which SQLite reports as a full disk, and the rollback that follows may
// leave another errno behind. A store file that has grown exactly to the
// limit says what happened either way.
bool fileSizeLimitReached(sqlite3 *db) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return false;
  const char *file = sqlite3_db_filename(db, "main");
  if (file == nullptr || *file == '\0')
    return false;
  for (const std::string &path :
       {std::string(file), std::string(file) + "-wal"}) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 &&
        static_cast<rlim_t>(status.st_size) >= limit.rlim_cur)
      return true;
  }
  return false;
}

} // namespace

StoreError sqliteFailure(sqlite3 *db, int rc) {
  const int code = rc & 0xff;
  int extended = sqlite3_extended_errcode(db);
  if ((extended & 0xff) != code)
    extended = rc;
  // A file-size limit looks like any failed write to SQLite; only the
  // operating system's code tells the user what to change.
  if ((code == SQLITE_IOERR || code == SQLITE_FULL) &&
      (sqlite3_system_errno(db) == EFBIG || fileSizeLimitReached(db)))
    return StoreError::fileSizeLimit(code, extended);
  std::string message = StoreError::describe(code, extended);
  if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
    message += std::string(" (SQLite: ") + sqlite3_errmsg(db) + ")";
  return StoreError::fromResultCode(code, extended, message);
}

StoreError openFailure(sqlite3 *db, int rc) {
  const int extended = db ? sqlite3_extended_errcode(db) : rc;
  // "Unable to open" hides the usual cause: the user may not read or write
  // the file. The operating system's code says so.
  const int error = db ? sqlite3_system_errno(db) : 0;
  if ((rc & 0xff) == SQLITE_CANTOPEN && (error == EACCES || error == EPERM))
    return StoreError::permissionDenied(
        extended, std::error_code(error, std::generic_category()).message());
  const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return StoreError::fromResultCode(rc, extended,
                                    StoreError::describe(rc & 0xff, extended) +
                                        " (SQLite: " + detail + ")");
}

} // namespace taskory
