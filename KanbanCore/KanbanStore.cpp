#include "KanbanCore/KanbanStore.h"

#include <utility>

namespace taskory::KanbanStore {

namespace {

// The two process-wide values; touched only from the main thread.
bool gUsesGroupContainerPath = false;
std::string gContainerMode = "unbekannt";

} // namespace

std::string_view appGroupID() { return TASKORY_APP_GROUP_ID; }
std::string_view cloudKitContainerID() { return TASKORY_CLOUD_CONTAINER_ID; }
std::string_view installScriptURL() { return TASKORY_INSTALL_SCRIPT_URL; }

bool Author::isForeignProcess(std::string_view author) {
  return author == mcp || author == widget || author == cloudKitImport;
}

bool usesGroupContainerPath() { return gUsesGroupContainerPath; }
void setUsesGroupContainerPath(bool value) { gUsesGroupContainerPath = value; }
const std::string &containerMode() { return gContainerMode; }
void setContainerMode(std::string mode) { gContainerMode = std::move(mode); }

} // namespace taskory::KanbanStore
