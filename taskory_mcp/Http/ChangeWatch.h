#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

struct sqlite3;

namespace taskory::HttpServer {

// A counter that moves whenever anyone commits to the store: this server's
// own workers, a second server or another program. It is SQLite's data
// version of a connection of its own that never writes, so every commit is
// another connection's; asking costs a look at the WAL index, not a read of
// the tables, which lets an open page ask every second. Safe from any
// thread.
class ChangeWatch {
public:
  // Opens the connection read-only; a failure shows as version 0 until a
  // later call manages to open it.
  explicit ChangeWatch(std::filesystem::path store);
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch &) = delete;
  ChangeWatch &operator=(const ChangeWatch &) = delete;

  uint64_t version();

  // The German notice when the store file is no longer the one this server
  // opened (replaced or deleted under it): its own connections still read
  // the old file, so nothing it shows would be current.
  std::optional<std::string> replacedNotice();

private:
  const std::filesystem::path store_;
  std::mutex mutex_;
  sqlite3 *db_ = nullptr; // guarded by mutex_
  // The file's identity when the watch was made.
  const dev_t device_;
  const ino_t inode_;
};

} // namespace taskory::HttpServer
