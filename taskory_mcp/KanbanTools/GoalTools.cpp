#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/DateInput.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

constexpr std::size_t kNotesLength = 120;

// The notes on one line, cut at a character boundary so that the line never
// ends inside a UTF-8 sequence or splits a character such as an emoji.
std::string notesPart(const std::string &notes) {
  std::string line = notes;
  std::replace(line.begin(), line.end(), '\n', ' ');
  if (auto cut = text::cutAfterCharacters(line, kNotesLength))
    return *cut + "…";
  return line;
}

} // namespace

namespace handlers {

// Goals come from one query, grouped here by plan, and their progress from
// one count over the goal links, rather than loading each goal's cards.
ToolResult listGoals(const ToolCall &call) {
  const resolution::GoalsByPlan goalsOfPlan =
      resolution::goalsByPlan(call.context);
  if (goalsOfPlan.goals.empty())
    return std::string("Keine Ziele.");
  // Each goal's figures looked up in one tight pass over the kept ones (no
  // copy of thousands of entries): on a large board they are out of the
  // processor's caches, and lookups with nothing between them wait for their
  // memory together rather than one after another.
  const auto &progress = BoardQueries(call.context).goalCardCounts();
  const std::vector<Goal> &all = goalsOfPlan.goals;
  std::vector<BoardQueries::CardCounts> cardsOf(all.size());
  for (std::size_t i = 0; i < all.size(); ++i)
    if (const auto found = progress.find(all[i].id); found != progress.end())
      cardsOf[i] = found->second;

  // Lines go straight into the answer: on a large board it runs to
  // megabytes, and a list of lines beside it would double the peak.
  std::string answer;
  // About a line's worth per goal up front: growing a megabyte answer by
  // doubling copies it and faults fresh pages in at every step.
  answer.reserve(goalsOfPlan.goals.size() * 160);
  bool any = false;
  for (const auto &plan : resolution::planHeadings(call.context)) {
    const std::vector<const Goal *> *goals = goalsOfPlan.find(plan.id);
    if (!goals)
      continue;
    for (const Goal *goal : *goals) {
      const BoardQueries::CardCounts &cards = cardsOf[goal - all.data()];
      if (any)
        answer += '\n';
      any = true;
      answer += plan.title;
      answer += kPartSeparator;
      answer += goal->title;
      answer += kPartSeparator;
      answer += std::to_string(cards.completed);
      answer += '/';
      answer += std::to_string(cards.active);
      answer += " Karten";
      if (goal->targetDate) {
        answer += kPartSeparator;
        answer += "Ziel ";
        answer += call.calendar.format(*goal->targetDate, "yyyy-MM-dd");
      }
      if (goal->isCompleted) {
        answer += kPartSeparator;
        answer += "erledigt";
      }
      if (!goal->notes.empty()) {
        answer += kPartSeparator;
        answer += notesPart(goal->notes);
      }
    }
  }
  if (!any)
    return std::string("Keine Ziele.");
  return answer;
}

ToolResult createGoal(const ToolCall &call, const nlohmann::json &args) {
  const std::string *title = args::string(args, "title");
  if (!title || title->empty())
    throw ToolError{"title fehlt"};
  const std::string *planText = args::string(args, "plan");
  Plan &plan =
      resolution::findPlan(call.context, planText ? *planText : std::string());

  const std::optional<double> last =
      SortOrderHelper::highest(call.context.goals(plan));

  Goal goal(*title, SortOrderHelper::appending(last), call.now);
  if (const std::string *notes = args::string(args, "notes"))
    goal.notes = *notes;
  if (const std::string *target = args::string(args, "target_date"))
    goal.targetDate = parseOptionalDate(*target, call.calendar);
  goal.plan = plan.id;
  call.context.insert(std::move(goal));
  return "Ziel „" + *title + "“ in Plan „" + plan.title + "“ angelegt.";
}

} // namespace handlers
} // namespace taskory
