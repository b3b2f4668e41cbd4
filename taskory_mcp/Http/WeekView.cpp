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
#include "KanbanCore/WeekPlanner.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/DateInput.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory::BoardPage {
namespace {

// The week the planner plans when asked now: this one, or the next from
// the day none of this week's planning days is left (a Saturday, when
// weekends are not planned).
Date plannedWeekDay(Date now, const Calendar &calendar) {
  const std::vector<Date> days =
      WeekPlanner::planningDays(now, WeekPlanner::plannerCalendar(calendar),
                                WeekPlanner::Configuration(1.0, false, false));
  return days.empty() ? now : days.front();
}

} // namespace

void appendWeek(std::string &out, std::string &title, ModelContext &context,
                const Calendar &calendar, Date now, const Request &request,
                std::string_view planID) {
  Date anchor = plannedWeekDay(now, calendar);
  if (!request.week.empty()) {
    try {
      if (auto day = parseOptionalDate(request.week, calendar))
        anchor = *day;
    } catch (...) {
      // An address edited by hand: the planned week instead.
    }
  }
  const std::vector<Date> days = WeekPlanner::weekOf(anchor, calendar);
  if (days.empty()) {
    out += "<h1>Woche</h1>";
    return;
  }
  title = "Woche " + calendar.format(days.front(), "dd.MM.") + "–" +
          calendar.format(days.back(), "dd.MM.yyyy");
  out += "<h1>";
  append(out, title);
  out += "</h1>";
  title += " – Taskory";
  out += "<nav aria-label=\"Wochen\">";
  const auto link = [&](std::optional<Date> day, std::string_view text) {
    if (!day)
      return;
    out += "<a href=\"" +
           address(View::week, planID, request.showDone,
                   calendar.format(*day, "yyyy-MM-dd")) +
           "\">";
    out += text;
    out += "</a>";
  };
  link(calendar.addingDays(days.front(), -7), "← Vorige Woche");
  out += "<a href=\"" + address(View::week, planID, request.showDone) +
         "\">Geplante Woche</a>";
  link(calendar.addingDays(days.front(), 7), "Nächste Woche →");
  out += "</nav>";
  const auto end = calendar.addingDays(days.back(), 1);
  BoardQueries queries(context);
  std::vector<Card *> planned = queries.openCardsPlannedFrom(days.front());
  std::map<Date, std::vector<const Card *>> byDay;
  for (const Card *card : planned)
    if (!end || *card->plannedDate < *end)
      byDay[calendar.startOfDay(*card->plannedDate)].push_back(card);
  std::vector<const Card *> page;
  for (const auto &[day, cards] : byDay)
    page.insert(page.end(), cards.begin(), cards.end());
  const auto facts = queries.pageFacts(page);
  const Date today = calendar.startOfDay(now);
  out += "<div class=\"cols week\" tabindex=\"0\" aria-label=\"Tage\">";
  for (Date day : days)
    appendColumn(out, calendar.format(day, "EEEE dd.MM."), byDay[day], facts,
                 now, calendar, withPlan(), day == today);
  out += "</div>";
}

} // namespace taskory::BoardPage
