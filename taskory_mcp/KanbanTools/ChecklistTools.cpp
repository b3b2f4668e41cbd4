#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::addChecklistItem(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::setChecklistItem(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
