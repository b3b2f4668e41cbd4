#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/ToolError.h"
#include "KanbanTools/ToolHandlers.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

namespace taskory {
namespace {

using nlohmann::json;
using Handler = ToolResult (*)(const ToolCall &, const json &);

// Tool names and their handlers, in catalogue order. Lookup is exact and
// case-sensitive: a name that differs only in case is an unknown tool.
constexpr std::array<std::pair<std::string_view, Handler>, 14> kHandlers{{
    {"list_plans",
     [](const ToolCall &c, const json &) { return handlers::listPlans(c); }},
    {"list_cards", handlers::listCards},
    {"get_card", handlers::getCard},
    {"create_card", handlers::createCard},
    {"update_card", handlers::updateCard},
    {"delete_card", handlers::deleteCard},
    {"add_checklist_item", handlers::addChecklistItem},
    {"set_checklist_item", handlers::setChecklistItem},
    {"create_plan", handlers::createPlan},
    {"create_bucket", handlers::createBucket},
    {"update_bucket", handlers::updateBucket},
    {"plan_week", handlers::planWeek},
    {"list_goals",
     [](const ToolCall &c, const json &) { return handlers::listGoals(c); }},
    {"create_goal", handlers::createGoal},
}};

// The tools that never change the store; every other one may write.
constexpr std::array<std::string_view, 4> kReadingTools{
    "list_plans", "list_cards", "get_card", "list_goals"};

} // namespace

bool KanbanTools::onlyReads(std::string_view name) {
  return std::find(kReadingTools.begin(), kReadingTools.end(), name) !=
             kReadingTools.end() ||
         std::none_of(kHandlers.begin(), kHandlers.end(),
                      [&](const auto &entry) { return entry.first == name; });
}

KanbanTools::KanbanTools(ModelContext &context, Date now,
                         const Calendar &calendar)
    : context_(context), now_(now), calendar_(calendar) {}

std::string KanbanTools::call(std::string_view name, const json &arguments) {
  // Asked on every call rather than once at start-up: the applications may
  // move the store back to a known version while the server runs.
  if (auto mismatch = KanbanStore::schemaMismatch())
    throw ToolError{std::move(*mismatch)};
  for (const auto &[toolName, handler] : kHandlers) {
    if (toolName != name)
      continue;
    ToolResult result = handler(ToolCall{context_, now_, calendar_}, arguments);
    // One save for the whole call; when the handler threw, the context is
    // discarded unsaved and the store stays as it was.
    context_.save(now_);
    return encode(result);
  }
  throw ToolError{"Unbekanntes Tool: " + std::string(name)};
}

std::string KanbanTools::callInOwnContext(ModelContainer &container,
                                          const Calendar &calendar,
                                          std::string_view name,
                                          const json &arguments) {
  // The clock is read once per call, so every date a tool writes or compares
  // in one call is the same instant.
  const Date now = std::chrono::duration<double>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  ModelContext context(container, std::string(KanbanStore::Author::mcp),
                       onlyReads(name) ? ModelContext::Access::readOnly
                                       : ModelContext::Access::readWrite);
  KanbanTools tools(context, now, calendar);
  return tools.call(name, arguments);
}

std::string KanbanTools::encode(const ToolResult &result) {
  if (const auto *text = std::get_if<std::string>(&result))
    return *text;
  // nlohmann keeps object members in a std::map, whose byte order is the
  // code point order of UTF-8 keys, and never escapes "/". Bytes that are not
  // UTF-8 (text other programs stored) become U+FFFD instead of failing.
  return std::get<json>(result).dump(-1, ' ', false,
                                     json::error_handler_t::replace);
}

} // namespace taskory
