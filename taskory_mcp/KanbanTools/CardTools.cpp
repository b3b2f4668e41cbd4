#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/PlannerLimits.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Arguments.h"
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

std::string checklistLimitMessage() {
  return "Maximal " + std::to_string(PlannerLimits::checklistItemsPerCard) +
         " Checklisten-Einträge pro Karte";
}

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

ToolResult KanbanTools::createCard(const nlohmann::json &args) {
  const std::string *title = args::string(args, "title");
  if (!title || title->empty())
    throw ToolError{"title fehlt"};

  Plan *plan = nullptr;
  if (const std::string *planText = args::string(args, "plan"))
    plan = &findPlan(*planText);
  else
    plan = &defaultPlan();

  Card fresh(*title,
             SortOrderHelper::appending(context_.maxCardSortOrder(*plan)),
             now_);
  fresh.plan = plan->id;

  if (const std::string *bucketText = args::string(args, "bucket")) {
    fresh.bucket = findBucket(*bucketText, *plan).id;
  } else {
    const std::vector<Bucket *> buckets = context_.sortedBuckets(*plan);
    if (!buckets.empty())
      fresh.bucket = buckets.front()->id;
  }

  Card &card = context_.insert(std::move(fresh));
  applyCommonFields(args, card);
  applyStatus(args, card);
  CardActions::inheritBucketColor(card, context_);

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
                         now_);
      item.card = card.id;
      context_.insert(std::move(item));
    }
  }

  return acknowledgement(context_, card, calendar_, "Angelegt");
}

ToolResult KanbanTools::updateCard(const nlohmann::json &args) {
  Card &card = requireCard(args);

  const std::vector<ChecklistItem *> items = context_.checklistItems(card);
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
    throw ToolError{checklistLimitMessage()};

  applyCommonFields(args, card);

  if (const std::string *title = args::string(args, "title");
      title && !title->empty())
    card.title = *title;

  Plan *plan = context_.planOf(card);
  if (const std::string *bucketText = args::string(args, "bucket");
      bucketText && plan)
    card.bucket = findBucket(*bucketText, *plan).id;

  if (const nlohmann::json *names = args::stringArray(args, "add_labels");
      names && plan) {
    for (const std::string &name : args::strings(*names)) {
      PlanLabel *label = findLabel(name, *plan);
      if (!label)
        throw ToolError{"Label „" + name + "“ existiert nicht im Plan"};
      context_.addLabel(card, *label);
    }
  }
  if (const nlohmann::json *names = args::stringArray(args, "remove_labels")) {
    const std::vector<std::string> unwanted = args::strings(*names);
    for (PlanLabel *label : context_.labels(card))
      for (const std::string &name : unwanted)
        if (text::namesEqual(label->name, name)) {
          context_.removeLabel(card, *label);
          break;
        }
  }
  if (const nlohmann::json *titles = args::stringArray(args, "add_goals");
      titles && plan) {
    for (const std::string &title : args::strings(*titles)) {
      Goal *goal = findGoal(title, *plan);
      if (!goal)
        throw ToolError{"Ziel „" + title + "“ existiert nicht im Plan"};
      context_.addGoal(card, *goal);
    }
  }
  if (const nlohmann::json *titles = args::stringArray(args, "remove_goals")) {
    const std::vector<std::string> unwanted = args::strings(*titles);
    for (Goal *goal : context_.goals(card))
      for (const std::string &title : unwanted)
        if (text::namesEqual(goal->title, title)) {
          context_.removeGoal(card, *goal);
          break;
        }
  }

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
    const std::vector<ChecklistItem *> sorted = context_.sortedChecklist(card);
    double sortOrder = sorted.empty() ? 0.0 : sorted.back()->sortOrder;
    for (std::string &title : newTitles) {
      sortOrder += SortOrderHelper::gap;
      ChecklistItem item(std::move(title), sortOrder, now_);
      item.card = card.id;
      const ChecklistItem &inserted = context_.insert(std::move(item));
      if (!addedIDs.empty())
        addedIDs += ", ";
      addedIDs += shortID(inserted.id);
    }
  }

  applyStatus(args, card);
  card.touch(now_);

  if (addedIDs.empty())
    return acknowledgement(context_, card, calendar_, "OK");
  return acknowledgement(context_, card, calendar_, "OK", "neu: " + addedIDs);
}

ToolResult KanbanTools::deleteCard(const nlohmann::json &args) {
  Card &card = requireCard(args);
  const std::string title = card.title;
  context_.remove(card);
  return "Karte „" + title + "“ gelöscht.";
}

} // namespace taskory
