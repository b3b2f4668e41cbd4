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
#include "KanbanTools/DateInput.h"
#include "KanbanTools/TextSearch.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory::BoardPage {
namespace {

void appendOption(std::string &out, std::string_view value,
                  std::string_view text, std::string_view chosen) {
  out += "<option value=\"";
  append(out, value);
  out += value == chosen ? "\" selected>" : "\">";
  append(out, text);
  out += "</option>";
}

} // namespace

bool filters(const Request &request) {
  return !request.query.empty() || !request.label.empty() ||
         !request.priority.empty() || !request.due.empty();
}

// A plain form: the filter is in the address, so it survives a live swap,
// can be bookmarked and works without the script.
void appendFilter(std::string &out, ModelContext &context, const Plan &plan,
                  const Request &request) {
  out += "<form class=\"filter\" method=\"get\" action=\"/\" role=\"search\">"
         "<input type=\"hidden\" name=\"view\" value=\"board\">"
         "<input type=\"hidden\" name=\"plan\" value=\"";
  append(out, plan.id);
  out += "\"><label>Suche <input type=\"search\" name=\"q\" value=\"";
  append(out, request.query);
  out += "\"></label><label>Label <select name=\"label\">";
  appendOption(out, "", "alle", request.label);
  for (const PlanLabel *label : context.sortedLabels(plan))
    if (!label->name.empty())
      appendOption(out, label->name, label->name, request.label);
  out += "</select></label><label>Priorität <select name=\"priority\">";
  appendOption(out, "", "alle", request.priority);
  for (Priority priority : {Priority::urgent, Priority::important,
                            Priority::medium, Priority::low})
    appendOption(out, *priorityWord(priority) , localizedName(priority),
                 request.priority);
  out += "</select></label><label>Fällig <select name=\"due\">";
  appendOption(out, "", "alle", request.due);
  appendOption(out, "overdue", "überfällig", request.due);
  appendOption(out, "today", "bis heute", request.due);
  appendOption(out, "7", "in 7 Tagen", request.due);
  appendOption(out, "30", "in 30 Tagen", request.due);
  out += "</select></label><label><input type=\"checkbox\" name=\"done\" "
         "value=\"1\"";
  out += request.showDone ? " checked" : "";
  out += "> Erledigte</label><button type=\"submit\">Filtern</button>";
  if (filters(request))
    out += "<a href=\"" + address(View::board, plan.id, request.showDone) +
           "\">Zurücksetzen</a>";
  out += "</form>";
}

// The end of the due window a filter names; nothing for every card.
std::optional<Date> dueWindowEnd(std::string_view due, Date now,
                                 const Calendar &calendar) {
  if (due == "overdue")
    return now;
  if (due == "today") {
    if (auto tomorrow = calendar.addingDays(calendar.startOfDay(now), 1))
      return *tomorrow - 0.001;
    return now;
  }
  if (due == "7" || due == "30")
    return dueWithinDays(calendar, now, due == "7" ? 7 : 30);
  return std::nullopt;
}

} // namespace taskory::BoardPage
