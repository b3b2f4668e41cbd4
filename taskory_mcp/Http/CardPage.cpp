#include "Http/CardPage.h"

#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"

#include <algorithm>
#include <vector>

namespace taskory::BoardPage {
namespace {

bool isWebAddress(std::string_view text) {
  return text.starts_with("https://") || text.starts_with("http://");
}

// Plain text with line breaks kept (by the style); web addresses become
// links, nothing else does, so a stored "javascript:" stays text.
void appendNotes(std::string &out, std::string_view notes) {
  std::size_t start = 0;
  while (start < notes.size()) {
    std::size_t next = notes.size();
    for (std::string_view scheme : {"https://", "http://"})
      next = std::min(next, notes.find(scheme, start));
    append(out, notes.substr(start, next - start));
    if (next == notes.size())
      return;
    std::size_t end = notes.find_first_of(" \t\r\n<>\"", next);
    if (end == std::string_view::npos)
      end = notes.size();
    // A sentence's closing mark is not part of the address.
    while (end > next && std::string_view(".,;:!?)").find(notes[end - 1]) !=
                             std::string_view::npos)
      --end;
    const std::string_view link = notes.substr(next, end - next);
    out += "<a rel=\"noopener noreferrer\" href=\"";
    append(out, link);
    out += "\">";
    append(out, link);
    out += "</a>";
    start = end;
  }
}

void appendFact(std::string &out, std::string_view name,
                std::string_view value, bool late = false) {
  out += "<dt>";
  out += name;
  out += late ? "</dt><dd class=\"late\">" : "</dt><dd>";
  append(out, value);
  out += "</dd>";
}

void appendDates(std::string &out, const Card &card, Date now,
                 const Calendar &calendar) {
  out += "<dl class=\"facts\">";
  if (card.startDate)
    appendFact(out, "Start", pageDate(*card.startDate, kDueHour, calendar));
  if (card.dueDate) {
    const bool late = isLate(card, now, calendar);
    appendFact(out, "Fällig",
               pageDate(*card.dueDate, kDueHour, calendar) +
                   (late ? " · überfällig" : ""),
               late);
  }
  if (card.plannedDate)
    appendFact(out, "Geplant",
               pageDate(*card.plannedDate, kPlannedHour, calendar));
  if (card.completedAt)
    appendFact(out, "Abgeschlossen",
               calendar.format(*card.completedAt, "EEE dd.MM.yyyy HH:mm"));
  if (auto rule = card.recurrenceRule())
    appendFact(out, "Wiederholung", rule->localizedSummary());
  appendFact(out, "Erstellt",
             calendar.format(card.createdAt, "EEE dd.MM.yyyy HH:mm"));
  out += "</dl>";
}

void appendChecklist(std::string &out, ModelContext &context,
                     const Card &card) {
  const std::vector<ChecklistItem *> items = context.sortedChecklist(card);
  if (items.empty())
    return;
  const auto checked =
      std::count_if(items.begin(), items.end(),
                    [](const ChecklistItem *item) { return item->isChecked; });
  out += "<h2>Checkliste " + std::to_string(checked) + "/" +
         std::to_string(items.size()) + "</h2><ul class=\"checklist\">";
  for (const ChecklistItem *item : items) {
    out += item->isChecked ? "<li class=\"done\"><span aria-label=\"erledigt\">☑</span> "
                           : "<li><span aria-label=\"offen\">☐</span> ";
    append(out, item->title);
    out += "</li>";
  }
  out += "</ul>";
}

void appendAttachments(std::string &out, ModelContext &context,
                       const Card &card) {
  const std::vector<CardAttachment *> attachments =
      context.sortedAttachments(card);
  if (attachments.empty())
    return;
  out += "<h2>Anhänge</h2><ul class=\"attachments\">";
  for (const CardAttachment *attachment : attachments) {
    const std::string name = !attachment->alias.empty() ? attachment->alias
                             : attachment->fileName     ? *attachment->fileName
                             : attachment->urlString    ? *attachment->urlString
                                                        : "Anhang";
    out += "<li>";
    if (attachment->urlString && isWebAddress(*attachment->urlString)) {
      out += "<a rel=\"noopener noreferrer\" href=\"";
      append(out, *attachment->urlString);
      out += "\">";
      append(out, name);
      out += "</a>";
    } else {
      append(out, name);
      if (attachment->urlString && *attachment->urlString != name) {
        out += " <span class=\"m\">";
        append(out, *attachment->urlString);
        out += "</span>";
      }
    }
    out += "</li>";
  }
  out += "</ul>";
}

} // namespace

std::string cardAddress(std::string_view cardID) {
  return "/card/" + urlEncoded(cardID);
}

std::optional<std::string> renderCard(ModelContext &context,
                                      const Calendar &calendar, Date now,
                                      std::string_view cardID,
                                      uint64_t changeVersion) {
  const Card *card = context.card(cardID);
  if (!card)
    return std::nullopt;
  BoardQueries queries(context);
  const BoardQueries::CardPageFacts facts =
      queries.pageFacts({card}).at(card->id);

  std::string main = "<nav aria-label=\"Zurück\"><a href=\"";
  main += escaped(card->plan ? "/?view=board&plan=" + urlEncoded(*card->plan)
                             : std::string("/"));
  main += "\">← Zum Board</a></nav><article class=\"cardpage\"><h1>";
  append(main, card->title);
  main += "</h1><p class=\"m\"><span>Kürzel <span class=\"id\">";
  append(main, shortID(card->id));
  main += "</span></span><span>";
  append(main, localizedName(card->progress()));
  main += "</span>";
  if (card->priority() != Priority::medium) {
    main += "<span>";
    append(main, localizedName(card->priority()));
    main += "</span>";
  }
  main += "<span>";
  append(main, facts.planTitle.value_or("ohne Plan"));
  main += " / ";
  append(main, facts.bucketName.value_or("ohne Bucket"));
  main += "</span>";
  if (card->isArchived)
    main += "<span>archiviert</span>";
  if (card->isOnMyDay)
    main += "<span>Mein Tag</span>";
  if (card->isIdeaTask)
    main += "<span>Idee</span>";
  main += "</p>";
  appendLabels(main, facts.labelNames, facts.labelSlots);
  appendDates(main, *card, now, calendar);
  if (!facts.goalTitles.empty()) {
    main += "<p>Ziele: ";
    append(main, text::joined(facts.goalTitles, ", "));
    main += "</p>";
  }
  if (!card->notes.empty()) {
    main += "<h2>Notizen</h2><div class=\"notes\">";
    appendNotes(main, card->notes);
    main += "</div>";
  }
  appendChecklist(main, context, *card);
  appendAttachments(main, context, *card);
  main += "</article>";
  return document(card->title + " – Taskory", changeVersion, main, true);
}

std::string missingCardPage() {
  return document("Taskory – Karte nicht gefunden", 0,
                  "<h1>Karte nicht gefunden</h1><p>Diese Karte gibt es nicht "
                  "(mehr). <a href=\"/\">Zum Board</a></p>",
                  false);
}

} // namespace taskory::BoardPage
