#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::createPlan(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::createBucket(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::updateBucket(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
