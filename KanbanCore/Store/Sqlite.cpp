#include "KanbanCore/Store/Sqlite.h"
#include "KanbanCore/Store/BufferedLog.h"

#include "KanbanCore/StoreError.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <sys/resource.h>
#include <sys/stat.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace taskory {

namespace {

int clampLength(std::size_t size) {
  return size > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(size);
}

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

std::string describeSqliteError(int code, int extendedCode) {
  if (extendedCode == SQLITE_READONLY_DBMOVED)
    return "Die Store-Datei wurde gelöscht oder verschoben, während der "
           "Server lief – bitte den Server neu starten.";
  switch (code & 0xff) {
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return "Der Store ist gerade durch ein anderes Programm gesperrt – bitte "
           "gleich noch einmal versuchen.";
  case SQLITE_READONLY:
    return "Der Store ist schreibgeschützt – die Änderung wurde nicht "
           "gespeichert.";
  case SQLITE_FULL:
    return "Der Datenträger ist voll – die Änderung wurde nicht gespeichert.";
  case SQLITE_IOERR:
    return "Lese- oder Schreibfehler beim Zugriff auf den Store – die Änderung "
           "wurde nicht gespeichert.";
  case SQLITE_CORRUPT:
    return "Der Store ist beschädigt.";
  case SQLITE_NOTADB:
    return "Die Datei ist keine SQLite-Datenbank.";
  case SQLITE_CANTOPEN:
    return "Der Store kann nicht geöffnet werden.";
  case SQLITE_PERM:
  case SQLITE_AUTH:
    return "Kein Zugriff auf den Store.";
  case SQLITE_CONSTRAINT:
    return "Die Änderung verstößt gegen eine Regel des Stores (etwa eine "
           "Verknüpfung auf ein Objekt, das es nicht gibt).";
  case SQLITE_NOMEM:
    return "Nicht genug Arbeitsspeicher für den Zugriff auf den Store.";
  default:
    return "Unerwarteter Fehler beim Zugriff auf den Store.";
  }
}

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

  static int busy(void *self, int attempt) {
    return static_cast<SqliteDatabase *>(self)->waitWhileBusy(attempt) ? 1 : 0;
  }

  static int walCommitted(void *self, sqlite3 *, const char *schema,
                          int frames) {
    static_cast<SqliteDatabase *>(self)->checkpointAfterCommit(schema, frames);
    // An error here would make the committed statement report a failure.
    return SQLITE_OK;
  }
};

void SqliteDatabase::Closer::operator()(sqlite3 *db) const noexcept {
  sqlite3_close_v2(db);
}

SqliteDatabase::SqliteDatabase(Key, Handle db)
    : db_(std::move(db)),
      jitter_(static_cast<std::minstd_rand::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() ^
          reinterpret_cast<std::uintptr_t>(this))) {
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
  const int rc = sqlite3_open_v2(file, &raw, flags | SQLITE_OPEN_NOMUTEX,
                                 store::bufferedLogVFS());
  // SQLite hands out a connection even when opening fails; it must be
  // closed either way.
  Handle db(raw);
  if (rc != SQLITE_OK) {
    const int extended = db ? sqlite3_extended_errcode(db.get()) : rc;
    // "Unable to open" hides the usual cause: the user may not read or write
    // the file. The operating system's code says so.
    const int error = db ? sqlite3_system_errno(db.get()) : 0;
    if ((rc & 0xff) == SQLITE_CANTOPEN && (error == EACCES || error == EPERM))
      throw StoreError::fromResultCode(
          SQLITE_PERM, extended,
          "Kein Zugriff auf den Store: keine Berechtigung, die Datei zu "
          "öffnen (" +
              std::error_code(error, std::generic_category()).message() + ").");
    const std::string detail =
        db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
    throw StoreError::fromResultCode(rc, extended,
                                     describeSqliteError(rc & 0xff, extended) +
                                         " (SQLite: " + detail + ")");
  }
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
    return sqlite3_exec(handle(), text.c_str(), nullptr, nullptr, nullptr) ==
           SQLITE_OK;
  } catch (...) {
    return false;
  }
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

void SqliteDatabase::checkFileNotMoved() {
  int moved = 0;
  if (sqlite3_file_control(handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) ==
          SQLITE_OK &&
      moved)
    throw StoreError::fromResultCode(
        SQLITE_READONLY, SQLITE_READONLY_DBMOVED,
        describeSqliteError(SQLITE_READONLY, SQLITE_READONLY_DBMOVED));
}

void SqliteDatabase::setBusyTimeout(int milliseconds) {
  check(sqlite3_busy_handler(
      handle(), milliseconds > 0 ? &SqliteFunctionBridge::busy : nullptr,
      this));
  busyTimeout_ = busyLimit_ = milliseconds;
}

bool SqliteDatabase::waitWhileBusy(int attempt) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  if (attempt == 0) {
    busySince_ = now;
#ifdef __linux__
    // The kernel may stretch a sleep by the thread's timer slack (50
    // microseconds by default), as long as the sleeps below. Ask for
    // wake-ups to the microsecond (for this thread, from now on).
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
  }
  const auto waited = now - busySince_;
  if (waited >= milliseconds(busyLimit_))
    return false;
  // The lock is free only for the moment between two of the holder's
  // transactions: sleep briefly so that one of our tries lands there. After a
  // quarter of a second the holder is more likely keeping the lock than
  // committing back to back, and the sleeps grow towards 2 ms to spare the
  // CPU.
  constexpr double kShortest = 50, kLongest = 2000; // microseconds
  const double quarters = duration<double>(waited).count() * 4;
  const double base =
      std::min(kLongest, kShortest * std::max(1.0, quarters * quarters));
  std::uniform_real_distribution<double> spread(0.5, 1.5);
  std::this_thread::sleep_for(
      duration<double, std::micro>(base * spread(jitter_)));
  return true;
}

void SqliteDatabase::keepWALSmall(int frames) {
  exec("PRAGMA journal_size_limit = " +
       std::to_string(int64_t{frames} * 2 * 4096));
  walCheckpointFrames_ = frames;
  sqlite3_wal_hook(handle(), &SqliteFunctionBridge::walCommitted, this);
}

void SqliteDatabase::checkpointAfterCommit(const char *schema,
                                           int frames) noexcept {
  if (frames < walCheckpointFrames_)
    return;
  // A passive checkpoint never waits: it copies what no reader still needs.
  int logged = 0, copied = 0;
  if (sqlite3_wal_checkpoint_v2(handle(), schema, SQLITE_CHECKPOINT_PASSIVE,
                                &logged, &copied) != SQLITE_OK ||
      copied < logged)
    return; // a reader pins part of the log; the next commit tries again
  // Everything is in the database: make sure the next writer starts the log
  // over from its beginning. The file keeps its size (journal_size_limit
  // caps it), so later commits overwrite blocks the file already has
  // instead of growing it, which makes each commit's sync cheaper. Waiting
  // for readers to leave the log takes the write lock; wait only briefly,
  // since the answer to the call is waiting, and leave it to a later commit
  // when another writer is busy.
  constexpr int kCheckpointWaitMilliseconds = 20;
  busyLimit_ = std::min(busyTimeout_, kCheckpointWaitMilliseconds);
  sqlite3_wal_checkpoint_v2(handle(), schema, SQLITE_CHECKPOINT_RESTART,
                            nullptr, nullptr);
  busyLimit_ = busyTimeout_;
}

void SqliteDatabase::check(int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
    return;
  if (predicateError_) {
    std::exception_ptr error = std::exchange(predicateError_, nullptr);
    std::rethrow_exception(error);
  }
  int code = rc & 0xff;
  int extended = sqlite3_extended_errcode(handle());
  if ((extended & 0xff) != code)
    extended = rc;
  std::string message = describeSqliteError(code, extended);
  // A file-size limit (ulimit -f) looks like any failed write to SQLite;
  // only the operating system's code tells the user what to change.
  if ((code == SQLITE_IOERR || code == SQLITE_FULL) &&
      (sqlite3_system_errno(handle()) == EFBIG ||
       fileSizeLimitReached(handle())))
    message = "Die erlaubte Dateigröße (ulimit -f) ist erreicht – die "
              "Änderung wurde nicht gespeichert.";
  else if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
    message += std::string(" (SQLite: ") + sqlite3_errmsg(handle()) + ")";
  throw StoreError::fromResultCode(code, extended, message);
}

} // namespace taskory
