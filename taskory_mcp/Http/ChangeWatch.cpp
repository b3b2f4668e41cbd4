#include "Http/ChangeWatch.h"

#include <sqlite3.h>
#include <sys/stat.h>

namespace taskory::HttpServer {

namespace {

struct stat identityOf(const std::filesystem::path &file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0)
    info = {};
  return info;
}

} // namespace

ChangeWatch::ChangeWatch(std::filesystem::path store)
    : store_(std::move(store)), device_(identityOf(store_).st_dev),
      inode_(identityOf(store_).st_ino) {}

std::optional<std::string> ChangeWatch::replacedNotice() {
  const struct stat now = identityOf(store_);
  if (now.st_dev == device_ && now.st_ino == inode_)
    return std::nullopt;
  return "Die Store-Datei wurde ersetzt – bitte den Server neu starten";
}

ChangeWatch::~ChangeWatch() { sqlite3_close_v2(db_); }

uint64_t ChangeWatch::version() {
  std::lock_guard lock(mutex_);
  if (!db_) {
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(store_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
      sqlite3_close_v2(db);
      return 0;
    }
    sqlite3_busy_timeout(db, 1000);
    db_ = db;
  }
  sqlite3_stmt *statement = nullptr;
  uint64_t version = 0;
  if (sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &statement, nullptr) ==
          SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    version = static_cast<uint64_t>(sqlite3_column_int64(statement, 0));
  sqlite3_finalize(statement);
  return version;
}

} // namespace taskory::HttpServer
