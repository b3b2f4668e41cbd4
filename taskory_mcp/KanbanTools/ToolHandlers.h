#pragma once

#include "KanbanCore/Types.h"
#include "KanbanTools/KanbanTools.h"

#include <nlohmann/json.hpp>

// The fourteen tool handlers, one per tool, behind KanbanTools::call. Each
// reads and changes the call's context only; none saves, so a handler that
// throws leaves nothing behind once the context is discarded.
namespace taskory {

// What every handler works on: the call's context, its clock reading and the
// user's calendar, all fixed for the whole call.
struct ToolCall {
  ModelContext &context;
  Date now;
  const Calendar &calendar;
};

namespace handlers {

ToolResult listPlans(const ToolCall &call);
ToolResult listCards(const ToolCall &call, const nlohmann::json &args);
ToolResult getCard(const ToolCall &call, const nlohmann::json &args);
ToolResult createCard(const ToolCall &call, const nlohmann::json &args);
ToolResult updateCard(const ToolCall &call, const nlohmann::json &args);
ToolResult deleteCard(const ToolCall &call, const nlohmann::json &args);
ToolResult addChecklistItem(const ToolCall &call, const nlohmann::json &args);
ToolResult setChecklistItem(const ToolCall &call, const nlohmann::json &args);
ToolResult createPlan(const ToolCall &call, const nlohmann::json &args);
ToolResult createBucket(const ToolCall &call, const nlohmann::json &args);
ToolResult updateBucket(const ToolCall &call, const nlohmann::json &args);
ToolResult planWeek(const ToolCall &call, const nlohmann::json &args);
ToolResult listGoals(const ToolCall &call);
ToolResult createGoal(const ToolCall &call, const nlohmann::json &args);

} // namespace handlers
} // namespace taskory
