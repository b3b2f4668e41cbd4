#include "KanbanCore/StoreLocation.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/PrivateFiles.h"

#include <string>

namespace taskory::KanbanStore {

namespace fs = std::filesystem;

std::optional<fs::path> dataHome() {
  if (auto xdg = files::absoluteVariable("XDG_DATA_HOME"))
    return xdg;
  if (auto home = files::homeDirectory())
    return *home / ".local" / "share";
  return std::nullopt;
}

std::optional<fs::path> groupContainer() {
  auto home = dataHome();
  if (!home)
    return std::nullopt;
  fs::path container = *home / std::string(appGroupID());
  // As on the platform this stands in for, asking for the container makes
  // it; a failure shows up when the store inside cannot be opened.
  files::createPrivateDirectories(container);
  return container;
}

fs::path storeURL() {
  if (auto container = groupContainer())
    return *container / "Taskory.store";
  fs::path fallback = "Taskory";
  files::createPrivateDirectories(fallback);
  return fallback / "Taskory.store";
}

} // namespace taskory::KanbanStore
