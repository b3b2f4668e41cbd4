#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/ToolError.h"

#include <array>
#include <utility>

namespace taskory {
namespace {

using nlohmann::json;
using Handler = ToolResult (*)(KanbanTools &, const json &);

// Tool names and their handlers, in catalogue order. Lookup is exact and
// case-sensitive: a name that differs only in case is an unknown tool.
constexpr std::array<std::pair<std::string_view, Handler>, 14> kHandlers{{
    {"list_plans", [](KanbanTools &t, const json &) { return t.listPlans(); }},
    {"list_cards",
     [](KanbanTools &t, const json &a) { return t.listCards(a); }},
    {"get_card", [](KanbanTools &t, const json &a) { return t.getCard(a); }},
    {"create_card",
     [](KanbanTools &t, const json &a) { return t.createCard(a); }},
    {"update_card",
     [](KanbanTools &t, const json &a) { return t.updateCard(a); }},
    {"delete_card",
     [](KanbanTools &t, const json &a) { return t.deleteCard(a); }},
    {"add_checklist_item",
     [](KanbanTools &t, const json &a) { return t.addChecklistItem(a); }},
    {"set_checklist_item",
     [](KanbanTools &t, const json &a) { return t.setChecklistItem(a); }},
    {"create_plan",
     [](KanbanTools &t, const json &a) { return t.createPlan(a); }},
    {"create_bucket",
     [](KanbanTools &t, const json &a) { return t.createBucket(a); }},
    {"update_bucket",
     [](KanbanTools &t, const json &a) { return t.updateBucket(a); }},
    {"plan_week", [](KanbanTools &t, const json &a) { return t.planWeek(a); }},
    {"list_goals", [](KanbanTools &t, const json &) { return t.listGoals(); }},
    {"create_goal",
     [](KanbanTools &t, const json &a) { return t.createGoal(a); }},
}};

} // namespace

KanbanTools::KanbanTools(ModelContext &context, Date now, Calendar calendar)
    : context_(context), now_(now), calendar_(std::move(calendar)) {}

std::string KanbanTools::call(std::string_view name, const json &arguments) {
  // Asked on every call rather than once at start-up: the applications may
  // move the store back to a known version while the server runs.
  if (auto mismatch = KanbanStore::schemaMismatch())
    throw ToolError{std::move(*mismatch)};
  for (const auto &[toolName, handler] : kHandlers) {
    if (toolName != name)
      continue;
    ToolResult result = handler(*this, arguments);
    // One save for the whole call; when the handler threw, the context is
    // discarded unsaved and the store stays as it was.
    context().save(now());
    return encode(result);
  }
  throw ToolError{"Unbekanntes Tool: " + std::string(name)};
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
