#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanCore/WeekPlanner.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"

#include <string>
#include <vector>

namespace taskory {
namespace {

constexpr double kDefaultCapacity = 3.0;

// One card of the listing: short ID, title, where it lives, when it is due and
// whether it is an idea task.
std::string plannedLine(const Card &card, ModelContext &context,
                        const Calendar &calendar) {
  std::vector<std::string> parts{shortID(card.id), card.title};
  if (const Plan *plan = context.planOf(card)) {
    std::string place = plan->title;
    if (const Bucket *bucket = context.bucketOf(card))
      place += "/" + bucket->name;
    parts.push_back(std::move(place));
  }
  if (card.dueDate)
    parts.push_back("fällig " + dateString(*card.dueDate, kDueHour, calendar));
  if (card.isIdeaTask)
    parts.push_back("Idee");
  return "  " + joinParts(parts);
}

} // namespace

namespace handlers {

ToolResult planWeek(const ToolCall &call, const nlohmann::json &args) {
  const double capacity =
      args::number(args, "daily_capacity").value_or(kDefaultCapacity);
  const bool includeWeekend =
      args::boolean(args, "include_weekend").value_or(false);

  const WeekPlanner::Configuration configuration(capacity, includeWeekend,
                                                 true);
  const WeekPlanner::Summary summary = WeekPlanner::planCurrentWeek(
      call.context, configuration, call.now, call.calendar);

  std::vector<std::string> lines{
      std::to_string(summary.plannedCount) + " Aufgaben eingeplant, " +
      std::to_string(summary.ideaTasksCreated) + " Ideen-Aufgaben angelegt"};

  // Planned from today on, by planned date and then store order: the store
  // reads that range of its planned-date index instead of every open card.
  const Date today = call.calendar.startOfDay(call.now);
  std::string currentLabel;
  for (const Card *card :
       BoardQueries(call.context).openCardsPlannedFrom(today)) {
    std::string label = call.calendar.format(*card->plannedDate, "EEEE dd.MM.");
    if (label != currentLabel) {
      lines.push_back(label + ":");
      currentLabel = std::move(label);
    }
    lines.push_back(plannedLine(*card, call.context, call.calendar));
  }

  return text::joined(lines, "\n");
}

} // namespace handlers
} // namespace taskory
