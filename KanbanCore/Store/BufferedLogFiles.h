#pragma once

// The files behind the log VFS, shared by its parts: the log file that
// gathers writes (BufferedLogFile.cpp), the database file that watches the
// log's write lock (WatchedDatabaseFile.cpp) and the opening that pairs them
// (BufferedLog.cpp). Private to those three.

#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

namespace taskory::store::logvfs {

// Beyond this the gathered writes go out at once: a large transaction must
// not hold its whole log in memory.
constexpr std::size_t kMaximumPending = std::size_t{1} << 20;
// The default VFS writes at most 128 KiB - 1 per call (it masks larger sizes).
constexpr std::size_t kLargestWrite = std::size_t{120} << 10;
// A buffer that a large transaction grew is given back after it is written.
constexpr std::size_t kKeptCapacity = std::size_t{256} << 10;
// SQLite's write lock on the log is the first lock slot of the shared index.
constexpr int kWriteLockSlot = 0;

struct LogFile;

// What SQLite allocates for the database file: our bookkeeping, followed by
// the file object of the VFS beneath.
struct DatabaseFile {
  sqlite3_file base; // first: SQLite's view of the file
  sqlite3_file *real;
  // The name SQLite opened the file by. SQLite derives the log's name from
  // the same allocation, which is how the log finds its database file.
  const char *name;
  LogFile *log;
  // Set while this connection holds the log's write lock: only then may log
  // writes wait in memory.
  bool writing;
};

// The same for the write-ahead log.
struct LogFile {
  sqlite3_file base;
  sqlite3_file *real;
  DatabaseFile *database; // nullptr: unpaired, every write goes through
  char *pending;
  std::size_t size;
  std::size_t capacity;
  sqlite3_int64 offset; // of pending[0] in the file
};

// Other files (journals, temporary files) are opened in place by the VFS
// beneath and never see these.
constexpr std::size_t alignedSize(std::size_t size) {
  return (size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
         alignof(std::max_align_t);
}
constexpr std::size_t kRealFileOffset =
    alignedSize(std::max(sizeof(DatabaseFile), sizeof(LogFile)));

inline sqlite3_file *realFileIn(sqlite3_file *file) {
  return reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) +
                                          kRealFileOffset);
}

// The database files open through the VFS, for their logs to find. A
// connection opens and closes its files on the thread that uses it, but
// connections of the HTTP mode open on several threads at once.
class OpenDatabases {
public:
  void add(DatabaseFile *file) {
    std::lock_guard lock(mutex_);
    files_.push_back(file);
  }
  void remove(DatabaseFile *file) {
    std::lock_guard lock(mutex_);
    std::erase(files_, file);
    if (file->log)
      file->log->database = nullptr;
    file->log = nullptr;
  }
  void pair(LogFile *log, const char *databaseName) {
    std::lock_guard lock(mutex_);
    for (DatabaseFile *file : files_)
      if (file->name == databaseName && file->log == nullptr) {
        file->log = log;
        log->database = file;
        return;
      }
  }
  void unpair(LogFile *log) {
    std::lock_guard lock(mutex_);
    if (log->database)
      log->database->log = nullptr;
    log->database = nullptr;
  }

private:
  std::mutex mutex_;
  std::vector<DatabaseFile *> files_;
};

inline OpenDatabases &openDatabases() {
  static OpenDatabases *const databases = new OpenDatabases;
  return *databases;
}

// Writes what `log` gathered; the buffer is empty afterwards, also when the
// write failed.
int flush(LogFile &log);
// Drops what `log` gathered, unwritten.
void release(LogFile &log);

const sqlite3_io_methods &logMethods();
// With or without the shared-memory methods, after the file beneath.
const sqlite3_io_methods &databaseMethods(bool sharedMemory);

} // namespace taskory::store::logvfs
