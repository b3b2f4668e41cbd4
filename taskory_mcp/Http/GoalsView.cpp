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
#include "KanbanTools/Resolution.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory::BoardPage {
namespace {

void appendGoal(std::string &out, const Goal &goal,
                const BoardQueries::CardCounts &cards, Date now,
                const Calendar &calendar) {
  const bool past =
      !goal.isCompleted && goal.targetDate && *goal.targetDate < now;
  out += "<li class=\"card goal";
  out += goal.isCompleted ? " done" : "";
  out += past ? " past" : "";
  out += "\"><span class=\"t\">";
  append(out, goal.title);
  out += "</span><span class=\"m\">";
  if (cards.active == 0)
    out += "keine Karten</span>";
  else
    out +=
        std::to_string(cards.completed) + "/" + std::to_string(cards.active) +
        " Karten</span><meter min=\"0\" max=\"" + std::to_string(cards.active) +
        "\" value=\"" + std::to_string(cards.completed) + "\"></meter>";
  out += "<span class=\"m\">";
  if (goal.targetDate) {
    out += "<span class=\"due\">";
    append(out, "Ziel " + pageDate(*goal.targetDate, kDueHour, calendar));
    out += past ? " · überschritten</span>" : "</span>";
  }
  out += "</span><span class=\"m\">";
  out += goal.isCompleted ? "erledigt" : "";
  out += "</span>";
  if (!goal.notes.empty()) {
    out += "<div class=\"notes\">";
    append(out, goal.notes);
    out += "</div>";
  }
  out += "</li>";
}

} // namespace

void appendGoals(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now,
                 const std::vector<Plan *> &plans) {
  out += "<h1>Ziele</h1>";
  if (plans.empty()) {
    out += "<p class=\"empty\">Keine Pläne.</p>";
    return;
  }
  const auto counts = BoardQueries(context).goalCardCounts();
  const resolution::GoalsByPlan byPlan = resolution::goalsByPlan(context);
  out += "<div class=\"cols wrap\">";
  for (const Plan *plan : plans) {
    out += "<section class=\"col\"><h2>";
    append(out, plan->title);
    out += "</h2>";
    const std::vector<const Goal *> *goals = byPlan.find(plan->id);
    if (!goals) {
      out += "<p class=\"empty\">Keine Ziele</p></section>";
      continue;
    }
    out += "<ol>";
    for (const Goal *goal : *goals) {
      const auto found = counts.find(goal->id);
      appendGoal(out, *goal,
                 found == counts.end() ? BoardQueries::CardCounts{}
                                       : found->second,
                 now, calendar);
    }
    out += "</ol></section>";
  }
  out += "</div>";
}

} // namespace taskory::BoardPage
