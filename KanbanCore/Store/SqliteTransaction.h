#pragma once

#include "Store/Sqlite.h"

#include <string_view>

namespace taskory {

// A transaction that ends with its scope: kept by commit(), rolled back in
// every other case, a commit that failed included (SQLite leaves a busy
// transaction open). Throws StoreError when it cannot begin.
class SqliteTransaction {
public:
  explicit SqliteTransaction(SqliteDatabase &db,
                             std::string_view begin = "BEGIN")
      : db_(db) {
    db_.exec(begin);
  }
  ~SqliteTransaction() {
    if (!committed_ && db_.inTransaction())
      db_.tryExec("ROLLBACK");
  }
  SqliteTransaction(const SqliteTransaction &) = delete;
  SqliteTransaction &operator=(const SqliteTransaction &) = delete;

  void commit() {
    db_.exec("COMMIT");
    committed_ = true;
  }

private:
  SqliteDatabase &db_;
  bool committed_ = false;
};

} // namespace taskory
