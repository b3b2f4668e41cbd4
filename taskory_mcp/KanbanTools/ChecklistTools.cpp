#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/PlannerLimits.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"

#include <optional>
#include <string>
#include <vector>

namespace taskory {
namespace {

// The entry one change object names: by ID when item_id is ID-like, else by
// title.
ChecklistItem &findChecklistItem(const nlohmann::json &change,
                                 const std::vector<ChecklistItem *> &items) {
  if (const std::string *id = args::string(change, "item_id");
      id && resolution::isIDLike(*id)) {
    ChecklistItem *match = resolution::matchByID(
        *id, items,
        [](const ChecklistItem &item) -> const UUID & { return item.id; });
    if (!match)
      throw ToolError{"Checklisten-Eintrag mit ID " + *id + " nicht gefunden"};
    return *match;
  }
  if (const std::string *title = args::string(change, "item_title")) {
    for (ChecklistItem *item : items)
      if (text::namesEqual(item->title, *title))
        return *item;
    throw ToolError{"Checklisten-Eintrag „" + *title + "“ nicht gefunden"};
  }
  throw ToolError{"item_id oder item_title angeben"};
}

} // namespace

namespace handlers {

ToolResult addChecklistItem(const ToolCall &call, const nlohmann::json &args) {
  Card &card = resolution::requireCard(call.context, args);
  const std::string *title = args::string(args, "title");
  if (!title || title->empty())
    throw ToolError{"title fehlt"};
  if (call.context.checklistItemCount(card) >=
      PlannerLimits::checklistItemsPerCard)
    throw checklistLimitError();

  const std::vector<ChecklistItem *> sorted =
      call.context.sortedChecklist(card);
  ChecklistItem item(
      *title,
      SortOrderHelper::appending(sorted.empty()
                                     ? std::nullopt
                                     : std::optional(sorted.back()->sortOrder)),
      call.now);
  item.card = card.id;
  const ChecklistItem &inserted = call.context.insert(std::move(item));
  card.touch(call.now);

  const std::string note = "Eintrag „" + *title + "“ (item_id " +
                           shortID(inserted.id) + ") hinzugefügt";
  return acknowledgement(call.context, card, call.calendar, "OK", note);
}

ToolResult setChecklistItem(const ToolCall &call, const nlohmann::json &args) {
  Card &card = resolution::requireCard(call.context, args);

  // `items` counts only as a list of objects; anything else leaves the
  // single-entry arguments at the top level in charge.
  const nlohmann::json *list = args::array(args, "items");
  if (list) {
    for (const nlohmann::json &element : *list)
      if (!element.is_object()) {
        list = nullptr;
        break;
      }
  }
  if (list && list->empty())
    throw ToolError{"items ist leer"};

  std::vector<const nlohmann::json *> changes;
  if (list)
    for (const nlohmann::json &element : *list)
      changes.push_back(&element);
  else
    changes.push_back(&args);

  const std::vector<ChecklistItem *> items = call.context.checklistItems(card);
  std::vector<ChecklistItem *> targets;
  targets.reserve(changes.size());
  for (const nlohmann::json *change : changes)
    targets.push_back(&findChecklistItem(*change, items));

  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (auto checked = args::boolean(*changes[i], "checked"))
      targets[i]->isChecked = *checked;
    if (const std::string *newTitle = args::string(*changes[i], "new_title");
        newTitle && !newTitle->empty())
      targets[i]->title = *newTitle;
  }
  card.touch(call.now);

  if (!list || changes.size() == 1)
    return acknowledgement(call.context, card, call.calendar, "OK");
  return acknowledgement(call.context, card, call.calendar, "OK",
                         std::to_string(changes.size()) + " Einträge geändert");
}

} // namespace handlers
} // namespace taskory
