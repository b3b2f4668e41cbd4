#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::listPlans() {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::listCards(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::getCard(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
