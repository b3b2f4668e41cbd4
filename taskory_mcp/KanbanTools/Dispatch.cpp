#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Clock.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/ToolError.h"
#include "KanbanTools/ToolHandlers.h"
#include "KanbanTools/ToolTable.h"

#include <utility>

namespace taskory {
using nlohmann::json;

const json &KanbanTools::specs() {
  static const json catalogue = [] {
    json tools = json::array();
    for (const ToolDefinition &tool : toolTable()) {
      json entry = json::parse(tool.catalogueEntry);
      entry["name"] = tool.name;
      tools.push_back(std::move(entry));
    }
    return tools;
  }();
  return catalogue;
}

bool KanbanTools::onlyReads(std::string_view name) {
  const ToolDefinition *tool = findTool(name);
  return !tool || tool->effect == ToolDefinition::Effect::reads;
}

KanbanTools::KanbanTools(ModelContext &context, Date now,
                         const Calendar &calendar)
    : context_(context), now_(now), calendar_(calendar) {}

std::string KanbanTools::call(std::string_view name, const json &arguments) {
  // Asked on every call rather than once at start-up: the applications may
  // move the store back to a known version while the server runs.
  if (auto mismatch = KanbanStore::schemaMismatch())
    throw ToolError{std::move(*mismatch)};
  const ToolDefinition *tool = findTool(name);
  if (!tool)
    throw ToolError{"Unbekanntes Tool: " + std::string(name)};
  ToolResult result =
      tool->handler(ToolCall{context_, now_, calendar_}, arguments);
  // One save for the whole call; when the handler threw, the context is
  // discarded unsaved and the store stays as it was.
  context_.save(now_);
  return encode(std::move(result));
}

std::string KanbanTools::callInOwnContext(ModelContainer &container,
                                          const Calendar &calendar,
                                          std::string_view name,
                                          const json &arguments) {
  // The clock is read once per call, so every date a tool writes or compares
  // in one call is the same instant.
  const Date now = currentTime();
  ModelContext context(container, std::string(KanbanStore::Author::mcp),
                       onlyReads(name) ? ModelContext::Access::readOnly
                                       : ModelContext::Access::readWrite);
  KanbanTools tools(context, now, calendar);
  return tools.call(name, arguments);
}

std::string KanbanTools::encode(ToolResult result) {
  if (auto *text = std::get_if<std::string>(&result))
    return std::move(*text);
  // nlohmann keeps object members in a std::map, whose byte order is the
  // code point order of UTF-8 keys, and never escapes "/". Bytes that are not
  // UTF-8 (text other programs stored) become U+FFFD instead of failing.
  return std::get<json>(result).dump(-1, ' ', false,
                                     json::error_handler_t::replace);
}

} // namespace taskory
