#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/Uuid.h"
#include "KanbanCore/WeekPlanner.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"

#include <algorithm>
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
    parts.push_back("fällig " + dateString(*card.dueDate, 17, calendar));
  if (card.isIdeaTask)
    parts.push_back("Idee");
  return "  " + joinParts(parts);
}

} // namespace

ToolResult KanbanTools::planWeek(const nlohmann::json &args) {
  const double capacity =
      args::number(args, "daily_capacity").value_or(kDefaultCapacity);
  const bool includeWeekend =
      args::boolean(args, "include_weekend").value_or(false);

  const WeekPlanner::Configuration configuration(capacity, includeWeekend,
                                                 true);
  const WeekPlanner::Summary summary =
      WeekPlanner::planCurrentWeek(context(), configuration, now(), calendar());

  std::vector<std::string> lines{
      std::to_string(summary.plannedCount) + " Aufgaben eingeplant, " +
      std::to_string(summary.ideaTasksCreated) + " Ideen-Aufgaben angelegt"};

  const Date today = calendar().startOfDay(now());
  std::vector<Card *> planned;
  for (Card *card : context().fetchOpenCards())
    if (card->plannedDate && *card->plannedDate >= today)
      planned.push_back(card);
  std::stable_sort(planned.begin(), planned.end(),
                   [](const Card *a, const Card *b) {
                     return *a->plannedDate < *b->plannedDate;
                   });

  std::string currentLabel;
  for (const Card *card : planned) {
    std::string label = calendar().format(*card->plannedDate, "EEEE dd.MM.");
    if (label != currentLabel) {
      lines.push_back(label + ":");
      currentLabel = std::move(label);
    }
    lines.push_back(plannedLine(*card, context(), calendar()));
  }

  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0)
      out += '\n';
    out += lines[i];
  }
  return out;
}

} // namespace taskory
