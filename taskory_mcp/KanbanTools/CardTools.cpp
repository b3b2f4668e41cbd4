#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Bucket.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlannerLimits.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardFields.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

constexpr std::size_t kChecklistLimit =
    static_cast<std::size_t>(PlannerLimits::checklistItemsPerCard);

std::string itemNotFound(std::string_view reference) {
  return "Checklisten-Eintrag „" + std::string(reference) + "“ nicht gefunden";
}

// One entry per reference, in reference order; a title match wins over an ID
// match. Each distinct reference is resolved once, so a long list that
// repeats itself costs no more than its distinct texts.
std::vector<ChecklistItem *>
resolveChecklistItems(const nlohmann::json *references,
                      const std::vector<ChecklistItem *> &items) {
  std::vector<ChecklistItem *> resolved;
  if (!references)
    return resolved;
  std::unordered_map<std::string, ChecklistItem *> seen;
  for (const nlohmann::json &element : *references) {
    if (!element.is_string())
      continue;
    const std::string &reference = element.get_ref<const std::string &>();
    if (auto it = seen.find(reference); it != seen.end()) {
      resolved.push_back(it->second);
      continue;
    }
    ChecklistItem *match = nullptr;
    for (ChecklistItem *item : items) {
      if (text::namesEqual(item->title, reference)) {
        match = item;
        break;
      }
    }
    if (!match)
      match = resolution::matchByID(
          reference, items,
          [](const ChecklistItem &item) -> const UUID & { return item.id; });
    if (!match)
      throw ToolError{itemNotFound(reference)};
    seen.emplace(reference, match);
    resolved.push_back(match);
  }
  return resolved;
}

} // namespace

namespace handlers {

ToolResult createCard(const ToolCall &call, const nlohmann::json &args) {
  const std::string *title = args::string(args, "title");
  if (!title || title->empty())
    throw ToolError{"title fehlt"};

  Plan *plan = nullptr;
  if (const std::string *planText = args::string(args, "plan"))
    plan = &resolution::findPlan(call.context, *planText);
  else
    plan = &resolution::defaultPlan(call.context);

  Card fresh(*title,
             SortOrderHelper::appending(
                 BoardQueries(call.context).maxCardSortOrder(*plan)),
             call.now);
  fresh.plan = plan->id;

  if (const std::string *bucketText = args::string(args, "bucket")) {
    fresh.bucket = resolution::findBucket(call.context, *bucketText, *plan).id;
  } else {
    const std::vector<Bucket *> buckets = call.context.sortedBuckets(*plan);
    if (!buckets.empty())
      fresh.bucket = buckets.front()->id;
  }

  applyCardColumns(call, args, fresh);
  Card &card = call.context.insert(std::move(fresh));
  applyLinksAndRecurrence(call, args, card);
  applyStatus(call, args, card);
  CardActions::inheritBucketColor(card, call.context);

  if (const nlohmann::json *checklist = args::stringArray(args, "checklist")) {
    std::size_t count = 0;
    for (const nlohmann::json &element : *checklist) {
      if (!element.is_string())
        continue;
      if (count == kChecklistLimit)
        break;
      ++count;
      ChecklistItem item(element.get<std::string>(),
                         static_cast<double>(count) * SortOrderHelper::gap,
                         call.now);
      item.card = card.id;
      call.context.insert(std::move(item));
    }
  }

  return acknowledgement(call.context, card, call.calendar, "Angelegt");
}

ToolResult updateCard(const ToolCall &call, const nlohmann::json &args) {
  Card &card = resolution::requireCard(call.context, args);

  const std::vector<ChecklistItem *> items = call.context.checklistItems(card);
  const std::vector<ChecklistItem *> toCheck =
      resolveChecklistItems(args::stringArray(args, "check_items"), items);
  const std::vector<ChecklistItem *> toUncheck =
      resolveChecklistItems(args::stringArray(args, "uncheck_items"), items);

  std::vector<std::string> newTitles;
  if (const nlohmann::json *added = args::stringArray(args, "add_items"))
    for (std::string &title : args::strings(*added))
      if (!title.empty())
        newTitles.push_back(std::move(title));

  // Only a call that adds entries is held to the limit: a card that other
  // programs filled beyond it must still be editable (ticked, renamed,
  // completed) without first losing entries.
  if (!newTitles.empty() && items.size() + newTitles.size() > kChecklistLimit)
    throw checklistLimitError();

  applyCommonFields(call, args, card);

  if (const std::string *title = args::string(args, "title");
      title && !title->empty())
    card.title = *title;

  Plan *plan = call.context.planOf(card);
  if (const std::string *bucketText = args::string(args, "bucket");
      bucketText && plan)
    card.bucket = resolution::findBucket(call.context, *bucketText, *plan).id;

  if (const nlohmann::json *names = args::stringArray(args, "add_labels"))
    changeLinks(call.context, card, LinkKind::labels, LinkChange::add, *names);
  if (const nlohmann::json *names = args::stringArray(args, "remove_labels"))
    changeLinks(call.context, card, LinkKind::labels, LinkChange::remove,
                *names);
  if (const nlohmann::json *titles = args::stringArray(args, "add_goals"))
    changeLinks(call.context, card, LinkKind::goals, LinkChange::add, *titles);
  if (const nlohmann::json *titles = args::stringArray(args, "remove_goals"))
    changeLinks(call.context, card, LinkKind::goals, LinkChange::remove,
                *titles);

  if (auto onMyDay = args::boolean(args, "is_on_my_day"))
    card.isOnMyDay = *onMyDay;
  if (auto archived = args::boolean(args, "is_archived"))
    card.isArchived = *archived;

  for (ChecklistItem *item : toCheck)
    item->isChecked = true;
  for (ChecklistItem *item : toUncheck)
    item->isChecked = false;

  std::string addedIDs;
  if (!newTitles.empty()) {
    const std::vector<ChecklistItem *> sorted =
        call.context.sortedChecklist(card);
    double sortOrder = sorted.empty() ? 0.0 : sorted.back()->sortOrder;
    for (std::string &title : newTitles) {
      sortOrder += SortOrderHelper::gap;
      ChecklistItem item(std::move(title), sortOrder, call.now);
      item.card = card.id;
      const ChecklistItem &inserted = call.context.insert(std::move(item));
      if (!addedIDs.empty())
        addedIDs += ", ";
      addedIDs += shortID(inserted.id);
    }
  }

  applyStatus(call, args, card);
  card.touch(call.now);

  if (addedIDs.empty())
    return acknowledgement(call.context, card, call.calendar, "OK");
  return acknowledgement(call.context, card, call.calendar, "OK",
                         "neu: " + addedIDs);
}

ToolResult deleteCard(const ToolCall &call, const nlohmann::json &args) {
  Card &card = resolution::requireCard(call.context, args);
  const std::string title = card.title;
  call.context.remove(card);
  return "Karte „" + title + "“ gelöscht.";
}

} // namespace handlers
} // namespace taskory
