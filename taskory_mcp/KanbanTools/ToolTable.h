#pragma once

#include "KanbanTools/KanbanTools.h"

#include <nlohmann/json.hpp>

#include <span>
#include <string_view>

namespace taskory {

struct ToolCall;

// One tool as the catalogue, the dispatch and the transports know it.
struct ToolDefinition {
  // Whether the tool may change the store. A reading tool's context is
  // opened read-only: a snapshot that answers at once while another program
  // holds the write lock.
  enum class Effect { reads, mayWrite };
  using Handler = ToolResult (*)(const ToolCall &, const nlohmann::json &);

  std::string_view name;
  Effect effect;
  Handler handler;
  // {"description": …, "inputSchema": …} as JSON text.
  std::string_view catalogueEntry;
};

// The fourteen tools, in the order tools/list serves them.
std::span<const ToolDefinition> toolTable();
// The tool of that exact name, or nothing.
const ToolDefinition *findTool(std::string_view name);

} // namespace taskory
