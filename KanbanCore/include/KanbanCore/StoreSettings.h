#pragma once

// The settings file that the planner's programs share (one JSON object), and
// which file that is. Part of KanbanStore (KanbanStore.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

namespace taskory::KanbanStore {

// A small JSON-file settings store (one object). Missing or unreadable files
// read as empty; writes replace the file atomically with mode 0600.
class Settings {
public:
  explicit Settings(std::filesystem::path file) : file_(std::move(file)) {}
  // The integer under `key`, 0 when absent or not an integer.
  int64_t integer(std::string_view key) const;
  void setInteger(std::string_view key, int64_t value) const;
  const std::filesystem::path &file() const { return file_; }

private:
  std::filesystem::path file_;
};

// settings.json in the group container; nothing without one.
std::optional<Settings> groupContainerDefaults();
// The group container's settings when usesGroupContainerPath() is set (and
// there is a group container), else the suite's file in the configuration
// home; without a home, settings that hold and keep nothing.
Settings sharedDefaults();

} // namespace taskory::KanbanStore
