#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>

namespace taskory {

// A counter that moves whenever anyone commits to the store: this process's
// own connections, a second server or another program. It is SQLite's data
// version of a connection of its own that never writes, so every commit is
// another connection's; asking costs a look at the WAL index, not a read of
// the tables, which lets an open page ask every second. Safe from any
// thread.
class StoreChangeCounter {
public:
  // Opens the connection read-only when first asked; a failure shows as 0
  // until a later call manages to open it.
  explicit StoreChangeCounter(std::filesystem::path store);
  ~StoreChangeCounter();
  StoreChangeCounter(const StoreChangeCounter &) = delete;
  StoreChangeCounter &operator=(const StoreChangeCounter &) = delete;

  uint64_t value();

private:
  struct Connection;

  const std::filesystem::path store_;
  std::mutex mutex_;
  std::unique_ptr<Connection> connection_; // guarded by mutex_
};

} // namespace taskory
