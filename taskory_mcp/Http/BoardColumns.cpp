#include "Http/BoardParts.h"

#include "Http/CardPage.h"
#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardVocabulary.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory::BoardPage {
namespace {

// "Karte hinzufügen" opens a field; Enter saves and the field stays open
// for the next card (the redirect names the bucket), Escape closes it. A
// details element, so that it opens without the script too.
void appendQuickAdd(std::string &out, const QuickAdd &add) {
  out += add.open ? "<details class=\"add\" open>" : "<details class=\"add\">";
  out += "<summary>Karte hinzufügen</summary>";
  appendChangeFormStart(out, "/add", {}, add.formToken, add.back);
  appendHidden(out, "plan", add.planID);
  appendHidden(out, "bucket", add.bucketID);
  out += "<label>Titel <input name=\"title\" required id=\"add-";
  append(out, add.bucketID);
  out += add.open ? "\" autofocus></label>" : "\"></label>";
  out += "<button type=\"submit\">Speichern</button></form></details>";
}

} // namespace

std::string address(View view, std::string_view planID, bool showDone,
                    std::string_view week, const Request *filter) {
  std::string href = "/?view=";
  href += view == View::board   ? "board"
          : view == View::week  ? "week"
          : view == View::today ? "today"
                                : "goals";
  if (!planID.empty())
    href += "&plan=" + urlEncoded(planID);
  if (showDone)
    href += "&done=1";
  if (!week.empty())
    href += "&week=" + urlEncoded(week);
  if (filter)
    for (const auto &[name, value] :
         {std::pair<std::string_view, const std::string *>{"q", &filter->query},
          {"label", &filter->label},
          {"priority", &filter->priority},
          {"due", &filter->due}})
      if (!value->empty())
        href += "&" + std::string(name) + "=" + urlEncoded(*value);
  return escaped(href);
}

CardOptions withPlan() {
  return {.showPlan = true, .bucketColour = {}, .draggable = false,
          .byAssistant = nullptr};
}

void appendCard(std::string &out, const Card &card, const Facts &facts,
                Date now, const Calendar &calendar, CardOptions options) {
  const bool done = card.isArchived || card.percentComplete >= 100;
  const bool late = isLate(card, now, calendar);
  out += "<li class=\"card";
  out += done ? " done" : "";
  out += late ? " is-late" : "";
  out += "\" data-id=\"";
  append(out, card.id);
  out += options.draggable ? "\" draggable=\"true\"" : "\"";
  if (const auto colour = card.colorHex ? cssColour(*card.colorHex) : std::nullopt)
    out += " style=\"--cardc:" + *colour + "\"";
  out += "><a class=\"t\" href=\"";
  append(out, cardAddress(card.id));
  out += "\">";
  append(out, card.title);
  out += "</a><div class=\"m\"><span class=\"id\">";
  append(out, shortID(card.id));
  out += "</span><span class=\"st\">";
  append(out, localizedName(card.progress()));
  out += "</span>";
  if (card.priority() != Priority::medium) {
    out += card.priority() == Priority::urgent      ? "<span class=\"pr pr-urgent\">"
           : card.priority() == Priority::important ? "<span class=\"pr pr-important\">"
                                                    : "<span class=\"pr\">";
    append(out, localizedName(card.priority()));
    out += "</span>";
  }
  if (card.dueDate) {
    out += late ? "<span class=\"due late\">" : "<span class=\"due\">";
    append(out, "fällig " + pageDate(*card.dueDate, kDueHour, calendar));
    if (late)
      out += " · überfällig";
    out += "</span>";
  }
  if (facts.checklistItems > 0)
    out += "<span class=\"cl\" title=\"Checkliste\">☑ " +
           std::to_string(facts.checkedItems) + "/" +
           std::to_string(facts.checklistItems) + "</span>";
  if (card.isArchived)
    out += "<span>archiviert</span>";
  if (options.byAssistant)
    if (const auto changed = options.byAssistant->find(card.id);
        changed != options.byAssistant->end()) {
      out += "<span class=\"mark assistant\">vom Assistenten geändert, ";
      append(out, calendar.format(changed->second, "dd.MM. HH:mm"));
      out += "</span>";
    }
  if (card.isOnMyDay)
    out += "<span class=\"mark\">☀ Mein Tag</span>";
  if (card.isIdeaTask)
    out += "<span class=\"mark\">💡 Idee</span>";
  if (auto rule = card.recurrenceRule()) {
    out += "<span class=\"rep\" title=\"";
    append(out, "Wdh: " + rule->localizedSummary());
    out += "\">↻ Wdh</span>";
  }
  if (options.showPlan && facts.planTitle) {
    out += "<span class=\"plan\">";
    append(out, *facts.planTitle);
    out += "</span>";
  }
  out += "</div>";
  appendLabels(out, facts.labelNames, facts.labelSlots);
  if (!facts.goalTitles.empty()) {
    out += "<div class=\"g\">Ziele: ";
    append(out, text::joined(facts.goalTitles, ", "));
    out += "</div>";
  }
  out += "</li>";
}

void appendColumn(std::string &out, std::string_view heading,
                  const std::vector<const Card *> &cards,
                  const std::unordered_map<std::string, Facts> &facts, Date now,
                  const Calendar &calendar, CardOptions options,
                  bool today, const QuickAdd *add) {
  out += today ? "<section class=\"col today\""
               : "<section class=\"col\"";
  if (options.bucketColour)
    out += " style=\"--bucket:" + *options.bucketColour + "\"";
  if (add) {
    out += " data-bucket=\"";
    append(out, add->bucketID);
    out += "\"";
  }
  out += "><h2>";
  append(out, heading);
  if (today)
    out += " (heute)";
  out += " <span class=\"n\">" + std::to_string(cards.size()) + "</span></h2>";
  if (cards.empty())
    out += "<p class=\"empty\">Keine Karten</p>";
  else {
    out += "<ol>";
    for (const Card *card : cards)
      appendCard(out, *card, facts.at(card->id), now, calendar, options);
    out += "</ol>";
  }
  if (add)
    appendQuickAdd(out, *add);
  out += "</section>";
}

} // namespace taskory::BoardPage
