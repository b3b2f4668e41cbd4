#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"

namespace taskory {

ToolResult KanbanTools::createCard(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::updateCard(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

ToolResult KanbanTools::deleteCard(const nlohmann::json &) {
  throw ToolError{"Tool ist noch nicht verfügbar"};
}

} // namespace taskory
