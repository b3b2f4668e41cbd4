#include "Store/Sqlite.h"
#include "Store/SqliteFailure.h"

#include "KanbanCore/StoreError.h"

#include <sqlite3.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace taskory {

namespace {

int clampLength(std::size_t size) {
  return size > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(size);
}

} // namespace

// --- SqliteStatement ---

void SqliteStatement::Finalizer::operator()(sqlite3_stmt *stmt) const noexcept {
  sqlite3_finalize(stmt);
}

SqliteStatement::SqliteStatement(SqliteDatabase &db, std::string_view sql)
    : db_(&db) {
  sqlite3_stmt *stmt = nullptr;
  int rc = sqlite3_prepare_v3(db.handle(), sql.data(), clampLength(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  stmt_.reset(stmt);
  db.check(rc);
}

void SqliteStatement::bind(int index, int64_t value) {
  db_->check(sqlite3_bind_int64(stmt_.get(), index, value));
}

void SqliteStatement::bind(int index, double value) {
  db_->check(sqlite3_bind_double(stmt_.get(), index, value));
}

void SqliteStatement::bindText(int index, std::string_view value) {
  // SQLite stores the bytes as given; text that is not valid UTF-8 stays as
  // it is and is sanitised only where it is shown.
  db_->check(sqlite3_bind_text64(stmt_.get(), index,
                                 value.data() ? value.data() : "", value.size(),
                                 SQLITE_TRANSIENT, SQLITE_UTF8));
}

void SqliteStatement::bindBlob(int index, std::string_view value) {
  db_->check(sqlite3_bind_blob64(stmt_.get(), index,
                                 value.data() ? value.data() : "", value.size(),
                                 SQLITE_TRANSIENT));
}

void SqliteStatement::bindNull(int index) {
  db_->check(sqlite3_bind_null(stmt_.get(), index));
}

bool SqliteStatement::step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW)
    return true;
  if (rc == SQLITE_DONE)
    return false;
  // The statement must not stay active after a failure: reset it before
  // the error leaves (check() throws).
  int code = rc;
  sqlite3_reset(stmt_.get());
  db_->check(code);
  return false;
}

void SqliteStatement::reset() noexcept {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

SqliteType SqliteStatement::type(int column) const {
  switch (sqlite3_column_type(stmt_.get(), column)) {
  case SQLITE_INTEGER:
    return SqliteType::integer;
  case SQLITE_FLOAT:
    return SqliteType::real;
  case SQLITE_TEXT:
    return SqliteType::text;
  case SQLITE_BLOB:
    return SqliteType::blob;
  default:
    return SqliteType::null;
  }
}

int64_t SqliteStatement::int64(int column) const {
  return sqlite3_column_int64(stmt_.get(), column);
}

double SqliteStatement::real(int column) const {
  return sqlite3_column_double(stmt_.get(), column);
}

std::string_view SqliteStatement::bytes(int column) const {
  const void *data = sqlite3_column_type(stmt_.get(), column) == SQLITE_BLOB
                         ? sqlite3_column_blob(stmt_.get(), column)
                         : sqlite3_column_text(stmt_.get(), column);
  int size = sqlite3_column_bytes(stmt_.get(), column);
  if (!data || size <= 0)
    return {};
  return {static_cast<const char *>(data), static_cast<std::size_t>(size)};
}

// --- SqliteDatabase ---

struct SqliteFunctionBridge {
  static void textPredicate(sqlite3_context *context, int argc,
                            sqlite3_value **argv) {
    auto *db = static_cast<SqliteDatabase *>(sqlite3_user_data(context));
    if (!db->predicate_ || !*db->predicate_) {
      sqlite3_result_int(context, 1);
      return;
    }
    auto text = [&](int i) -> std::string_view {
      if (i >= argc)
        return {};
      const void *data = sqlite3_value_type(argv[i]) == SQLITE_BLOB
                             ? sqlite3_value_blob(argv[i])
                             : sqlite3_value_text(argv[i]);
      int size = sqlite3_value_bytes(argv[i]);
      if (!data || size <= 0)
        return {};
      return {static_cast<const char *>(data), static_cast<std::size_t>(size)};
    };
    try {
      sqlite3_result_int(context, (*db->predicate_)(text(0), text(1)) ? 1 : 0);
    } catch (...) {
      db->predicateError_ = std::current_exception();
      sqlite3_result_error(context, "text predicate failed", -1);
    }
  }
};

void SqliteDatabase::Closer::operator()(sqlite3 *db) const noexcept {
  sqlite3_close_v2(db);
}

SqliteDatabase::SqliteDatabase(Key, Handle db)
    : db_(std::move(db)), walPolicy_(db_.get()) {
  sqlite3_extended_result_codes(handle(), 1);
  // The store is shared with other programs: do not let its schema run
  // anything but built-in functions, and keep our own function out of
  // triggers and views that another program may have stored.
  sqlite3_db_config(handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  check(sqlite3_create_function_v2(
      handle(), "text_predicate", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY, this,
      &SqliteFunctionBridge::textPredicate, nullptr, nullptr, nullptr));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openHandle(const char *file,
                                                           int flags) {
  sqlite3 *raw = nullptr;
  // A connection is used by one thread at a time (the HTTP workers hand
  // theirs on through a lock), so SQLite need not lock it around every call.
  const int rc =
      sqlite3_open_v2(file, &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  // SQLite hands out a connection even when opening fails; it must be
  // closed either way.
  Handle db(raw);
  if (rc != SQLITE_OK)
    throw openFailure(db.get(), rc);
  return std::make_unique<SqliteDatabase>(Key{}, std::move(db));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const std::string &file) {
  return openHandle(file.c_str(), SQLITE_OPEN_READWRITE);
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::openInMemory() {
  return openHandle(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                    SQLITE_OPEN_MEMORY);
}

SqliteDatabase::~SqliteDatabase() = default;

void SqliteDatabase::exec(std::string_view sql) {
  std::string text(sql);
  check(sqlite3_exec(handle(), text.c_str(), nullptr, nullptr, nullptr));
}

bool SqliteDatabase::tryExec(std::string_view sql) noexcept {
  try {
    std::string text(sql);
    if (sqlite3_exec(handle(), text.c_str(), nullptr, nullptr, nullptr) ==
        SQLITE_OK)
      return true;
  } catch (...) {
  }
  ++failures_;
  return false;
}

StatementUse SqliteDatabase::statement(std::string_view sql) {
  // Statements are built from a fixed set of shapes, but an UPDATE names the
  // columns that changed and a bucket list has its own length: keep the cache
  // bounded. Only when no statement is in use, so no caller loses its own.
  constexpr std::size_t kMaxCachedStatements = 256;
  auto it = cache_.find(sql);
  if (it == cache_.end()) {
    if (cache_.size() >= kMaxCachedStatements && activeUses_ == 0)
      cache_.clear();
    auto stmt = std::make_unique<SqliteStatement>(*this, sql);
    it = cache_.emplace(std::string(sql), std::move(stmt)).first;
  }
  return StatementUse(*it->second, activeUses_);
}

int64_t SqliteDatabase::queryInteger(std::string_view sql) {
  SqliteStatement stmt(*this, sql);
  int64_t value = stmt.step() ? stmt.int64(0) : 0;
  stmt.reset();
  return value;
}

int64_t SqliteDatabase::lastInsertRowid() const {
  return sqlite3_last_insert_rowid(handle());
}

int SqliteDatabase::changes() const { return sqlite3_changes(handle()); }

bool SqliteDatabase::inTransaction() const {
  return sqlite3_get_autocommit(handle()) == 0;
}

bool SqliteDatabase::hasTable(const std::string &table, const char *column) {
  return sqlite3_table_column_metadata(handle(), "main", table.c_str(), column,
                                       nullptr, nullptr, nullptr, nullptr,
                                       nullptr) == SQLITE_OK;
}

void SqliteDatabase::checkFileNotMoved() {
  int moved = 0;
  if (sqlite3_file_control(handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) ==
          SQLITE_OK &&
      moved)
    throw StoreError::moved();
}

void SqliteDatabase::check(int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
    return;
  ++failures_;
  if (predicateError_) {
    std::exception_ptr error = std::exchange(predicateError_, nullptr);
    std::rethrow_exception(error);
  }
  throw sqliteFailure(handle(), rc);
}

} // namespace taskory
