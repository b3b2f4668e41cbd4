#pragma once

// Where the store lives: the data home, the group container in it and the
// store file. Part of KanbanStore (KanbanStore.h).

#include <filesystem>
#include <optional>

namespace taskory::KanbanStore {

// The data home directory (XDG_DATA_HOME, HOME/.local/share, or the password
// database's home); nothing when none can be determined.
std::optional<std::filesystem::path> dataHome();
// The group container directory, created (mode 0700) on demand; nothing
// without a data home.
std::optional<std::filesystem::path> groupContainer();
// The store file in the group container; without one, Taskory/Taskory.store
// relative to the working directory.
std::filesystem::path storeURL();

} // namespace taskory::KanbanStore
