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

// Across every plan: what is late, due today, planned for today, and on
// "Mein Tag". Each list shows at most kTodayLimit cards.
constexpr std::size_t kTodayLimit = 200;

} // namespace

void appendToday(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now) {
  out += "<h1>Heute</h1>";
  const Date today = calendar.startOfDay(now);
  const auto tomorrow = calendar.addingDays(today, 1);
  if (!tomorrow)
    return;
  BoardQueries queries(context);
  CardQuery due;
  due.maxPercent = 99;
  due.dueAtOrBefore = *tomorrow - 0.001;
  std::vector<const Card *> late, dueToday, planned, myDay;
  for (const Card *card : queries.queryCards(due, kTodayLimit))
    (isLate(*card, now, calendar) ? late : dueToday).push_back(card);
  for (const Card *card : queries.openCardsPlannedFrom(today)) {
    if (*card->plannedDate >= *tomorrow || planned.size() == kTodayLimit)
      break;
    planned.push_back(card);
  }
  CardQuery onMyDay;
  onMyDay.maxPercent = 99;
  onMyDay.onlyOnMyDay = true;
  for (const Card *card : queries.queryCards(onMyDay, kTodayLimit))
    myDay.push_back(card);
  std::vector<const Card *> page = late;
  for (const auto *list : {&dueToday, &planned, &myDay})
    page.insert(page.end(), list->begin(), list->end());
  const auto facts = queries.pageFacts(page);
  out += "<div class=\"cols wrap\">";
  appendColumn(out, "Überfällig", late, facts, now, calendar, withPlan());
  appendColumn(out, "Heute fällig", dueToday, facts, now, calendar,
               withPlan());
  appendColumn(out, "Heute geplant", planned, facts, now, calendar,
               withPlan());
  appendColumn(out, "Mein Tag", myDay, facts, now, calendar, withPlan());
  out += "</div>";
}

} // namespace taskory::BoardPage
