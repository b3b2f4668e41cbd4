#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::listGoals() {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::createGoal(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
