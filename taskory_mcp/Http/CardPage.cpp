#include "Http/CardPage.h"

#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardVocabulary.h"

#include <algorithm>
#include <utility>
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

void appendFact(std::string &out, std::string_view name, std::string_view value,
                bool late = false) {
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

// A form of the card page: posted to /card/<id>/<action>, with the token and
// the way back.
std::string formStart(const Card &card, std::string_view action,
                      std::string_view formToken, std::string_view label = {}) {
  std::string out;
  appendChangeFormStart(out, cardAddress(card.id) + "/" + std::string(action),
                        label, formToken, cardAddress(card.id));
  return out;
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
    out += item->isChecked
               ? "<li class=\"done\"><span aria-label=\"erledigt\">☑</span> "
               : "<li><span aria-label=\"offen\">☐</span> ";
    append(out, item->title);
    out += "</li>";
  }
  out += "</ul>";
}

// Ticking saves at once with the script; without it, the button saves what
// is ticked. A new item has a field of its own.
void appendEditableChecklist(std::string &out, ModelContext &context,
                             const Card &card, std::string_view formToken) {
  const std::vector<ChecklistItem *> items = context.sortedChecklist(card);
  const auto checked =
      std::count_if(items.begin(), items.end(),
                    [](const ChecklistItem *item) { return item->isChecked; });
  out += "<h2>Checkliste " + std::to_string(checked) + "/" +
         std::to_string(items.size()) + "</h2>";
  if (!items.empty()) {
    out += formStart(card, "check", formToken, "Checkliste");
    out += "<ul class=\"checklist\">";
    for (const ChecklistItem *item : items) {
      if (item->isChecked)
        appendHidden(out, "was_checked", item->id);
      out += "<li><label><input type=\"checkbox\" class=\"tick\" "
             "name=\"item\" value=\"";
      append(out, item->id);
      out += item->isChecked ? "\" checked> " : "\"> ";
      append(out, item->title);
      out += "</label></li>";
    }
    out += "</ul><button type=\"submit\" class=\"js-hidden\">Checkliste "
           "speichern</button></form>";
  }
  out += formStart(card, "item", formToken, "Neuer Punkt");
  out += "<label>Neuer Punkt <input name=\"title\" required></label>"
         "<button type=\"submit\">Hinzufügen</button></form>";
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

void appendSelect(
    std::string &out, std::string_view name, std::string_view label,
    const std::vector<std::pair<std::string, std::string>> &options,
    std::string_view chosen) {
  out += "<label>";
  out += label;
  out += " <select name=\"";
  out += name;
  out += "\">";
  for (const auto &[value, text] : options) {
    out += "<option value=\"";
    append(out, value);
    out += value == chosen ? "\" selected>" : "\">";
    append(out, text);
    out += "</option>";
  }
  out += "</select></label>";
}

// Each field with the value it shows, and the same as "was_…".
void appendEditForm(std::string &out, ModelContext &context, const Card &card,
                    const Calendar &calendar, std::string_view formToken) {
  const Plan *plan = card.plan ? context.plan(*card.plan) : nullptr;
  const std::string priority(priorityWord(card.priority()).value_or("medium"));
  const std::string status(statusWord(card.progress()));
  const std::string due = inputDate(card.dueDate, calendar);
  const std::string start = inputDate(card.startDate, calendar);
  const std::string bucket = card.bucket.value_or(std::string());
  out += "<h2>Bearbeiten</h2>" +
         formStart(card, "save", formToken, "Karte bearbeiten");
  for (const auto &[name, value] :
       {std::pair<std::string_view, const std::string *>{"title", &card.title},
        {"notes", &card.notes},
        {"due", &due},
        {"start", &start},
        {"priority", &priority},
        {"status", &status},
        {"bucket", &bucket}})
    appendHidden(out, "was_" + std::string(name), *value);
  out += "<div class=\"fields\"><label>Titel <input name=\"title\" required "
         "value=\"";
  append(out, card.title);
  out += "\"></label><label>Notizen <textarea name=\"notes\" rows=\"4\">";
  append(out, card.notes);
  out += "</textarea></label><label>Fällig <input type=\"date\" name=\"due\" "
         "value=\"" +
         due +
         "\"></label><label>Start <input type=\"date\" "
         "name=\"start\" value=\"" +
         start + "\"></label>";
  appendSelect(out, "priority", "Priorität",
               {{"urgent", "Dringend"},
                {"important", "Wichtig"},
                {"medium", "Mittel"},
                {"low", "Niedrig"}},
               priority);
  appendSelect(out, "status", "Status",
               {{"not_started", "Nicht begonnen"},
                {"in_progress", "In Bearbeitung"},
                {"completed", "Abgeschlossen"}},
               status);
  std::vector<std::pair<std::string, std::string>> buckets;
  if (plan)
    for (const Bucket *b : context.sortedBuckets(*plan))
      buckets.emplace_back(b->id, b->name);
  if (!buckets.empty())
    appendSelect(out, "bucket", "Bucket", buckets, bucket);
  out += "</div>";
  if (plan) {
    const auto checkboxes = [&](std::string_view name, std::string_view legend,
                                const std::vector<std::string> &all,
                                const std::vector<std::string> &chosen) {
      if (all.empty())
        return;
      appendHidden(out, "was_" + std::string(name) + "s", "1");
      out += "<fieldset><legend>";
      out += legend;
      out += "</legend>";
      for (const std::string &value : all) {
        const bool on =
            std::find(chosen.begin(), chosen.end(), value) != chosen.end();
        if (on)
          appendHidden(out, "was_" + std::string(name), value);
        out += "<label><input type=\"checkbox\" name=\"";
        out += name;
        out += "\" value=\"";
        append(out, value);
        out += on ? "\" checked> " : "\"> ";
        append(out, value);
        out += "</label>";
      }
      out += "</fieldset>";
    };
    std::vector<std::string> labels, cardLabels, goals, cardGoals;
    for (const PlanLabel *label : context.sortedLabels(*plan))
      if (!label->name.empty())
        labels.push_back(label->name);
    for (const PlanLabel *label : context.sortedLabels(card))
      cardLabels.push_back(label->name);
    for (const Goal *goal : context.goals(*plan))
      goals.push_back(goal->title);
    for (const Goal *goal : context.goals(card))
      cardGoals.push_back(goal->title);
    checkboxes("label", "Labels", labels, cardLabels);
    checkboxes("goal", "Ziele", goals, cardGoals);
  }
  out += "<button type=\"submit\">Speichern</button></form>";
}

void appendActions(std::string &out, const Card &card,
                   std::string_view formToken) {
  out += "<div class=\"actions\">";
  for (const auto &[direction, text] :
       {std::pair<std::string_view, std::string_view>{"up", "Nach oben"},
        {"down", "Nach unten"}}) {
    out += formStart(card, "move", formToken);
    appendHidden(out, "direction", direction);
    out += "<button type=\"submit\">";
    out += text;
    out += "</button></form>";
  }
  for (const auto &[action, text] :
       {std::pair<std::string_view, std::string_view>{"complete", "Erledigt"},
        {"archive", "Archivieren"},
        {"delete", "Löschen"}}) {
    out += formStart(card, action, formToken);
    out += "<button type=\"submit\"";
    if (action == "delete")
      out += " data-confirm=\"Karte endgültig löschen, mit Checkliste und "
             "Anhängen?\"";
    out += ">";
    out += text;
    out += "</button></form>";
  }
  out += "</div>";
}

// Who changed the card and when, from the store's history: "Assistent" for
// the tools, "Board" for this page, any other program by the name it wrote.
void appendHistory(std::string &out, ModelContext &context, const Card &card,
                   const Calendar &calendar) {
  constexpr std::size_t kShown = 20;
  const auto entries = BoardQueries(context).cardHistory(card.id, kShown);
  if (entries.empty())
    return;
  out += "<h2>Verlauf</h2><ul class=\"history\">";
  for (const auto &entry : entries) {
    out += "<li>";
    append(out, calendar.format(entry.timestamp, "EEE dd.MM.yyyy HH:mm"));
    out += " · ";
    append(out, entry.author == KanbanStore::Author::mcp
                    ? std::string("Assistent")
                : entry.author == "app" ? std::string("Board")
                                        : entry.author);
    out += " · ";
    out += entry.kind == "insert"   ? "angelegt"
           : entry.kind == "delete" ? "gelöscht"
                                    : "geändert";
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
                                      uint64_t changeVersion,
                                      std::string_view formToken) {
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
  if (formToken.empty())
    appendChecklist(main, context, *card);
  else
    appendEditableChecklist(main, context, *card, formToken);
  appendAttachments(main, context, *card);
  appendHistory(main, context, *card, calendar);
  if (!formToken.empty()) {
    appendActions(main, *card, formToken);
    appendEditForm(main, context, *card, calendar, formToken);
  }
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
