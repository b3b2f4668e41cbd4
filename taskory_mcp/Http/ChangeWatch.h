#pragma once

#include "KanbanCore/StoreChangeCounter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace taskory::HttpServer {

// What the board's page watches: the store's change counter
// (StoreChangeCounter) and whether the store file is still the one this
// server opened. Safe from any thread.
class ChangeWatch {
public:
  explicit ChangeWatch(std::filesystem::path store);

  uint64_t version() { return counter_.value(); }

  // The German notice when the store file is no longer the one this server
  // opened (replaced or deleted under it): its own connections still read
  // the old file, so nothing it shows would be current.
  std::optional<std::string> replacedNotice();

private:
  const std::filesystem::path store_;
  StoreChangeCounter counter_;
  // The file's identity when the watch was made.
  const dev_t device_;
  const ino_t inode_;
};

} // namespace taskory::HttpServer
