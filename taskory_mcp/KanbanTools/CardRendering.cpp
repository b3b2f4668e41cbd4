#include "KanbanTools/CardRendering.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardVocabulary.h"

#include <algorithm>
#include <string>

namespace taskory {
namespace {

constexpr std::string_view kMissing = "–";

std::string githubText(const Card &card) {
  if (card.githubURLString)
    return *card.githubURLString;
  return card.githubRepo.value_or("") + "#" + std::to_string(card.githubNumber);
}

using PageFacts = BoardQueries::CardPageFacts;

// "checked/total", or nothing for a card without checklist items.
std::optional<std::string> checklistProgress(int64_t checked, int64_t total) {
  if (total <= 0)
    return std::nullopt;
  return std::to_string(checked) + "/" + std::to_string(total);
}

std::optional<std::string> checklistProgress(const PageFacts &facts) {
  return checklistProgress(facts.checkedItems, facts.checklistItems);
}

// The facts of one card, for the renderings of a single card.
PageFacts factsOf(ModelContext &context, const Card &card) {
  auto facts = BoardQueries(context).pageFacts({&card});
  return std::move(facts[card.id]);
}

// The plan's title and the bucket's name, from the facts when the link found
// them there, else by the per-card lookup that also tries other letter
// cases; nothing when the card has no plan or bucket that can be found.
const std::string *planTitle(ModelContext &context, const Card &card,
                             const PageFacts &facts) {
  if (facts.planTitle)
    return &*facts.planTitle;
  const Plan *plan = context.planOf(card);
  return plan ? &plan->title : nullptr;
}

const std::string *bucketName(ModelContext &context, const Card &card,
                              const PageFacts &facts) {
  if (facts.bucketName)
    return &*facts.bucketName;
  const Bucket *bucket = context.bucketOf(card);
  return bucket ? &bucket->name : nullptr;
}

// The card's checklist in order; the facts' count spares the query for the
// many cards without one (both count the items whose id is text).
std::vector<ChecklistItem *>
checklistOf(ModelContext &context, const Card &card, const PageFacts &facts) {
  if (facts.checklistItems <= 0)
    return {};
  return context.sortedChecklist(card);
}

std::vector<std::string> metaParts(const Card &card, const PageFacts &facts) {
  std::vector<std::string> parts;
  if (!facts.labelNames.empty())
    parts.push_back("Labels: " + text::joined(facts.labelNames, ", "));
  if (!facts.goalTitles.empty())
    parts.push_back("Ziele: " + text::joined(facts.goalTitles, ", "));
  if (auto rule = card.recurrenceRule())
    parts.push_back("Wdh: " + rule->localizedSummary());
  if (card.isFromGitHub())
    parts.push_back("GitHub: " + githubText(card));
  return parts;
}

std::string lineOf(ModelContext &context, const Card &card,
                   const PageFacts &facts, Date now, const Calendar &calendar,
                   bool omitPlan, bool omitBucket) {
  std::vector<std::string> parts;
  parts.push_back(shortID(card.id));
  parts.emplace_back(statusWord(card.progress()));
  if (auto priority = priorityWord(card.priority()))
    parts.emplace_back(*priority);
  if (auto progress = checklistProgress(facts))
    parts.push_back(std::move(*progress));
  for (auto &part : dateParts(card, now, calendar))
    parts.push_back(std::move(part));
  if (!omitPlan)
    if (const std::string *plan = planTitle(context, card, facts))
      parts.push_back(*plan);
  if (!omitBucket)
    if (const std::string *bucket = bucketName(context, card, facts))
      parts.push_back(*bucket);
  parts.push_back(card.title);
  for (auto &part : metaParts(card, facts))
    parts.push_back(std::move(part));
  if (card.isIdeaTask)
    parts.emplace_back("Idee");
  if (card.isOnMyDay)
    parts.emplace_back("Mein Tag");
  return joinParts(parts);
}

// The keys of cardJSON that do not depend on `detail`.
nlohmann::json summaryJSON(ModelContext &context, const Card &card,
                           const PageFacts &facts, Date now,
                           const Calendar &calendar, bool omitPlan,
                           bool omitBucket) {
  nlohmann::json object = nlohmann::json::object();
  object["id"] = canonicalID(card.id);
  object["title"] = card.title;
  object["status"] = statusWord(card.progress());
  if (auto priority = priorityWord(card.priority()))
    object["priority"] = *priority;
  if (!omitPlan)
    if (const std::string *plan = planTitle(context, card, facts))
      object["plan"] = *plan;
  if (!omitBucket)
    if (const std::string *bucket = bucketName(context, card, facts))
      object["bucket"] = *bucket;
  if (card.dueDate)
    object["due_date"] = dateString(*card.dueDate, kDueHour, calendar);
  if (card.startDate)
    object["start_date"] = dateString(*card.startDate, kDueHour, calendar);
  if (card.plannedDate)
    object["planned_date"] =
        dateString(*card.plannedDate, kPlannedHour, calendar);
  if (card.isIdeaTask)
    object["is_idea_task"] = true;
  if (isLate(card, now, calendar))
    object["is_late"] = true;
  if (auto progress = checklistProgress(facts))
    object["checklist_progress"] = std::move(*progress);
  if (!facts.labelNames.empty())
    object["labels"] = facts.labelNames;
  if (!facts.goalTitles.empty())
    object["goals"] = facts.goalTitles;
  if (auto rule = card.recurrenceRule())
    object["recurrence"] = rule->localizedSummary();
  if (card.isFromGitHub())
    object["github"] = githubText(card);
  if (card.isOnMyDay)
    object["is_on_my_day"] = true;
  return object;
}

// Calls `render(card, facts)` for each card, in order, with the facts of the
// whole page loaded at once.
template <class Render>
void forEachOfPage(ModelContext &context, const std::vector<Card *> &cards,
                   Render &&render) {
  const std::vector<const Card *> page(cards.begin(), cards.end());
  const auto facts = BoardQueries(context).pageFacts(page);
  for (const Card *card : cards)
    render(*card, facts.at(card->id));
}

} // namespace

bool wantsJSON(const nlohmann::json &arguments) {
  const std::string *format = args::string(arguments, "format");
  return format && text::lowercased(*format) == "json";
}

std::string joinParts(const std::vector<std::string> &parts) {
  return text::joined(parts, kPartSeparator);
}

std::string dateString(Date date, int defaultHour, const Calendar &calendar) {
  const Calendar::Components parts = calendar.components(date);
  if (parts.hour == defaultHour && parts.minute == 0)
    return calendar.format(date, "yyyy-MM-dd");
  return calendar.format(date, "yyyy-MM-dd HH:mm");
}

std::vector<std::string> dateParts(const Card &card, Date now,
                                   const Calendar &calendar) {
  std::vector<std::string> parts;
  if (card.dueDate)
    parts.push_back("fällig " + dateString(*card.dueDate, kDueHour, calendar));
  if (card.startDate)
    parts.push_back("start " + dateString(*card.startDate, kDueHour, calendar));
  if (card.plannedDate)
    parts.push_back("geplant " +
                    dateString(*card.plannedDate, kPlannedHour, calendar));
  if (isLate(card, now, calendar))
    parts.push_back("überfällig");
  return parts;
}

std::vector<std::string> metaParts(ModelContext &context, const Card &card) {
  return metaParts(card, factsOf(context, card));
}

std::string cardLine(ModelContext &context, const Card &card, Date now,
                     const Calendar &calendar, bool omitPlan, bool omitBucket) {
  return lineOf(context, card, factsOf(context, card), now, calendar, omitPlan,
                omitBucket);
}

std::vector<std::string> cardLines(ModelContext &context,
                                   const std::vector<Card *> &cards, Date now,
                                   const Calendar &calendar, bool omitPlan,
                                   bool omitBucket) {
  std::vector<std::string> lines;
  lines.reserve(cards.size());
  forEachOfPage(context, cards, [&](const Card &card, const PageFacts &facts) {
    lines.push_back(
        lineOf(context, card, facts, now, calendar, omitPlan, omitBucket));
  });
  return lines;
}

nlohmann::json cardJSONs(ModelContext &context,
                         const std::vector<Card *> &cards, Date now,
                         const Calendar &calendar, bool omitPlan,
                         bool omitBucket) {
  nlohmann::json list = nlohmann::json::array();
  forEachOfPage(context, cards, [&](const Card &card, const PageFacts &facts) {
    list.push_back(
        summaryJSON(context, card, facts, now, calendar, omitPlan, omitBucket));
  });
  return list;
}

std::string cardDetailText(ModelContext &context, const Card &card, Date now,
                           const Calendar &calendar) {
  std::vector<std::string> lines;
  const PageFacts facts = factsOf(context, card);

  std::vector<std::string> header;
  header.push_back(shortID(card.id));
  header.emplace_back(statusWord(card.progress()));
  if (auto priority = priorityWord(card.priority()))
    header.emplace_back(*priority);
  const std::string *plan = planTitle(context, card, facts);
  const std::string *bucket = bucketName(context, card, facts);
  header.push_back((plan ? *plan : std::string(kMissing)) + " / " +
                   (bucket ? *bucket : std::string(kMissing)));
  for (auto &part : dateParts(card, now, calendar))
    header.push_back(std::move(part));
  if (card.isOnMyDay)
    header.emplace_back("Mein Tag");
  lines.push_back(joinParts(header));

  lines.push_back(card.title);

  if (auto meta = metaParts(card, facts); !meta.empty())
    lines.push_back(joinParts(meta));

  if (!card.notes.empty())
    lines.push_back("Notizen:\n" + card.notes);

  if (const auto items = checklistOf(context, card, facts); !items.empty()) {
    const auto checked = std::count_if(
        items.begin(), items.end(),
        [](const ChecklistItem *item) { return item->isChecked; });
    lines.push_back("Checkliste " + std::to_string(checked) + "/" +
                    std::to_string(items.size()) + ":");
    for (const ChecklistItem *item : items)
      lines.push_back(std::string(item->isChecked ? "[x] " : "[ ] ") +
                      item->title + " (" + shortID(item->id) + ")");
  }

  if (const auto attachments = context.sortedAttachments(card);
      !attachments.empty()) {
    lines.emplace_back("Anhänge:");
    for (const CardAttachment *attachment : attachments)
      lines.push_back(attachment->alias + " (" + attachment->kindRaw + ") " +
                      attachment->urlString.value_or(std::string(kMissing)));
  }

  std::vector<std::string> footer;
  if (card.completedAt)
    footer.push_back("Abgeschlossen " +
                     calendar.format(*card.completedAt, "yyyy-MM-dd"));
  if (card.isArchived)
    footer.emplace_back("Archiviert");
  if (card.colorHex)
    footer.push_back("Farbe " + *card.colorHex);
  if (card.recurrenceSeriesID)
    footer.push_back("Serie #" + std::to_string(card.recurrenceOccurrence));
  if (!footer.empty())
    lines.push_back(joinParts(footer));

  return text::joined(lines, "\n");
}

nlohmann::json cardJSON(ModelContext &context, const Card &card, Date now,
                        const Calendar &calendar, bool detail, bool omitPlan,
                        bool omitBucket) {
  const PageFacts facts = factsOf(context, card);
  nlohmann::json object =
      summaryJSON(context, card, facts, now, calendar, omitPlan, omitBucket);
  if (!detail)
    return object;

  constexpr std::string_view kDateTime = "yyyy-MM-dd HH:mm";
  object["notes"] = card.notes;
  object["color_hex"] =
      card.colorHex ? nlohmann::json(*card.colorHex) : nlohmann::json(nullptr);
  object["is_archived"] = card.isArchived;
  object["created_at"] = calendar.format(card.createdAt, kDateTime);
  object["modified_at"] = calendar.format(card.modifiedAt, kDateTime);
  if (card.completedAt)
    object["completed_at"] = calendar.format(*card.completedAt, kDateTime);

  nlohmann::json checklist = nlohmann::json::array();
  for (const ChecklistItem *item : checklistOf(context, card, facts))
    checklist.push_back({{"item_id", canonicalID(item->id)},
                         {"title", item->title},
                         {"checked", item->isChecked}});
  object["checklist"] = std::move(checklist);

  if (const auto attachments = context.sortedAttachments(card);
      !attachments.empty()) {
    nlohmann::json list = nlohmann::json::array();
    for (const CardAttachment *attachment : attachments)
      list.push_back({{"alias", attachment->alias},
                      {"kind", attachment->kindRaw},
                      {"url", attachment->urlString
                                  ? nlohmann::json(*attachment->urlString)
                                  : nlohmann::json(nullptr)}});
    object["attachments"] = std::move(list);
  }
  if (card.recurrenceSeriesID)
    object["series_occurrence"] = card.recurrenceOccurrence;
  return object;
}

std::string acknowledgement(ModelContext &context, const Card &card,
                            const Calendar &calendar, std::string_view prefix,
                            std::optional<std::string_view> note) {
  std::string line = std::string(prefix) + ": „" + card.title + "“ (" +
                     shortID(card.id) + ") – " +
                     std::string(statusWord(card.progress())) + ", Bucket ";
  const Bucket *bucket = context.bucketOf(card);
  line += bucket ? bucket->name : std::string(kMissing);
  if (const int64_t total = context.checklistItemCount(card); total > 0)
    line += ", Checkliste " +
            *checklistProgress(context.checkedItemCount(card), total);
  if (card.dueDate)
    line += ", fällig " + calendar.format(*card.dueDate, "yyyy-MM-dd");
  if (note)
    line += " – " + std::string(*note);
  return line;
}

} // namespace taskory
