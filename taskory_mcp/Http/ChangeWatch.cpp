#include "Http/ChangeWatch.h"

#include <sqlite3.h>

namespace taskory::HttpServer {

ChangeWatch::ChangeWatch(std::filesystem::path store)
    : store_(std::move(store)) {}

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
