#pragma once

#include "KanbanCore/PlannerLimits.h"

#include <string>

namespace taskory {

// A user-facing failure of a tool: `message` is the finished German text that
// the loop shows after "Fehler: ". A plain value, thrown by the tools.
struct ToolError {
  std::string message;
};

// A card would get more checklist entries than the planner allows, through
// add_checklist_item or the new entries of create_card and update_card.
inline ToolError checklistLimitError() {
  return ToolError{"Maximal " +
                   std::to_string(PlannerLimits::checklistItemsPerCard) +
                   " Checklisten-Einträge pro Karte"};
}

} // namespace taskory
