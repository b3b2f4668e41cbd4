#include "KanbanCore/StoreChangeCounter.h"

#include <sqlite3.h>

#include <utility>

namespace taskory {

struct StoreChangeCounter::Connection {
  sqlite3 *db = nullptr;
  ~Connection() { sqlite3_close_v2(db); }
};

StoreChangeCounter::StoreChangeCounter(std::filesystem::path store)
    : store_(std::move(store)) {}

StoreChangeCounter::~StoreChangeCounter() = default;

uint64_t StoreChangeCounter::value() {
  std::lock_guard lock(mutex_);
  if (!connection_) {
    auto connection = std::make_unique<Connection>();
    if (sqlite3_open_v2(store_.c_str(), &connection->db, SQLITE_OPEN_READONLY,
                        nullptr) != SQLITE_OK)
      return 0;
    sqlite3_busy_timeout(connection->db, 1000);
    connection_ = std::move(connection);
  }
  sqlite3_stmt *statement = nullptr;
  uint64_t version = 0;
  if (sqlite3_prepare_v2(connection_->db, "PRAGMA data_version", -1,
                         &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    version = static_cast<uint64_t>(sqlite3_column_int64(statement, 0));
  sqlite3_finalize(statement);
  return version;
}

} // namespace taskory
