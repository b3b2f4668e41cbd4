#pragma once

#include "Store/WALPolicy.h"

#include <cassert>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A thin RAII layer over the SQLite C API, private to the core library. Every
// result code goes through SqliteDatabase::check, which turns failures into
// StoreError with a German description.
namespace taskory {

enum class SqliteType { integer, real, text, blob, null };

class SqliteDatabase;

// One prepared statement. Bind indexes and column indexes follow SQLite: bind
// parameters count from 1, result columns from 0. Column text stays valid
// until the next step or reset.
class SqliteStatement {
public:
  SqliteStatement(SqliteDatabase &db, std::string_view sql);
  SqliteStatement(SqliteStatement &&) noexcept = default;
  SqliteStatement &operator=(SqliteStatement &&) noexcept = default;
  ~SqliteStatement() = default;

  void bind(int index, int64_t value);
  void bind(int index, double value);
  void bind(int index, bool value) { bind(index, int64_t{value}); }
  void bindText(int index, std::string_view value);
  void bindBlob(int index, std::string_view value);
  void bindNull(int index);

  // Advances to the next row; false once the statement is done.
  bool step();
  // Back to the start with all bindings cleared; releases any read lock the
  // statement held. Never fails.
  void reset() noexcept;

  SqliteType type(int column) const;
  int64_t int64(int column) const;
  double real(int column) const;
  // The value's bytes, exactly as stored for TEXT and BLOB values (invalid
  // UTF-8 included); numbers in SQLite's text form; empty for NULL.
  std::string_view bytes(int column) const;

private:
  friend class StatementUse;
  struct Finalizer {
    void operator()(sqlite3_stmt *stmt) const noexcept;
  };
  SqliteDatabase *db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
  // Set while a StatementUse holds the statement: two uses at once would
  // step and reset each other's rows.
  bool inUse_ = false;
};

// A cached statement in use: resets it when the use ends, so that no
// statement stays active (and holds a read snapshot) between calls. A
// statement has at most one use at a time; code that needs the same query
// nested must finish the outer one first.
class StatementUse {
public:
  StatementUse(SqliteStatement &stmt, int &activeUses)
      : stmt_(&stmt), activeUses_(&activeUses) {
    assert(!stmt.inUse_ && "cached statement handed out twice");
    stmt_->inUse_ = true;
    ++*activeUses_;
  }
  StatementUse(const StatementUse &) = delete;
  StatementUse &operator=(const StatementUse &) = delete;
  ~StatementUse() {
    stmt_->reset();
    stmt_->inUse_ = false;
    --*activeUses_;
  }

  SqliteStatement *operator->() const { return stmt_; }
  SqliteStatement &operator*() const { return *stmt_; }

private:
  SqliteStatement *stmt_;
  int *activeUses_;
};

// One connection. Not thread-safe; owned by a ModelContainer.
class SqliteDatabase {
public:
  using TextPredicate = std::function<bool(std::string_view, std::string_view)>;

  // Opens an existing file for reading and writing (SQLite falls back to
  // read-only when the file is write-protected), or a private in-memory
  // database. Throws StoreError.
  static std::unique_ptr<SqliteDatabase> open(const std::string &file);
  static std::unique_ptr<SqliteDatabase> openInMemory();

  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase &) = delete;
  SqliteDatabase &operator=(const SqliteDatabase &) = delete;

  // Runs statements that return no rows.
  void exec(std::string_view sql);
  // The same without throwing (for rolling back on the way out of a
  // failure or a destructor); false when SQLite reported an error.
  bool tryExec(std::string_view sql) noexcept;
  // A cached prepared statement for `sql`, reset when the use ends.
  StatementUse statement(std::string_view sql);
  // The first column of the first row of `sql` as an integer (0 without a
  // row).
  int64_t queryInteger(std::string_view sql);

  // Whether the main database has the table, or with `column` that column
  // of it (named as SQL names it, without regard to case). Reads SQLite's
  // parsed schema, not a statement.
  bool hasTable(const std::string &table, const char *column = nullptr);

  int64_t lastInsertRowid() const;
  int changes() const;
  bool inTransaction() const;
  // Throws StoreError when the database file was deleted or renamed since
  // it was opened: in WAL mode writes would still succeed, into a file that
  // nobody will ever open again.
  void checkFileNotMoved();
  // How the connection waits for locks and keeps the log small.
  WALPolicy &walPolicy() { return walPolicy_; }

  // The predicate that the SQL function text_predicate(a, b) calls; with none
  // installed the function is true. An exception thrown by the predicate
  // fails the statement and is rethrown by check().
  void setTextPredicate(const TextPredicate *predicate) {
    predicate_ = predicate;
  }

  // Throws StoreError for any result code other than OK, ROW and DONE.
  void check(int rc);
  // How many calls on this connection have failed so far (check() and
  // tryExec()): a failed statement may have undone part of what it did.
  uint64_t failures() const { return failures_; }

  sqlite3 *handle() const { return db_.get(); }

private:
  struct Closer {
    void operator()(sqlite3 *db) const noexcept;
  };
  using Handle = std::unique_ptr<sqlite3, Closer>;
  // Only open() and openInMemory() make connections; the key lets them use
  // make_unique with a constructor nobody else can call.
  struct Key {
    explicit Key() = default;
  };

public:
  SqliteDatabase(Key, Handle db);

private:
  static std::unique_ptr<SqliteDatabase> openHandle(const char *file,
                                                    int flags);

  // Declared before the statement cache: members die in reverse order, so
  // every statement is finalised before the connection closes, also when
  // the constructor throws half-way.
  Handle db_;
  WALPolicy walPolicy_;
  std::map<std::string, std::unique_ptr<SqliteStatement>, std::less<>> cache_;
  int activeUses_ = 0;
  const TextPredicate *predicate_ = nullptr;
  uint64_t failures_ = 0;
  std::exception_ptr predicateError_;

  friend struct SqliteFunctionBridge;
};

} // namespace taskory
