#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::planWeek(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
