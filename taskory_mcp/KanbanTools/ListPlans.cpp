#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

std::string withHash(const std::string &color) {
  return !color.empty() && color.front() == '#' ? color : "#" + color;
}

} // namespace

namespace handlers {

// Card figures come from one count over the whole store, and buckets and
// goals from one query each, grouped here by plan: the overview must stay
// quick on boards with many thousands of cards.
ToolResult listPlans(const ToolCall &call) {
  const std::vector<Plan *> plans = resolution::fetchPlans(call.context);
  if (plans.empty())
    return std::string("Keine Pläne.");

  BoardQueries queries(call.context);
  const BoardQueries::BoardCounts &counts = queries.boardCounts();
  // Relationship order (rowid) within each plan, as the store yields it.
  const std::vector<Bucket> planBuckets = queries.planBucketCopies();
  std::unordered_map<std::string, std::vector<const Bucket *>> bucketsOfPlan;
  for (const Bucket &bucket : planBuckets)
    bucketsOfPlan[*bucket.plan].push_back(&bucket);
  const std::vector<Goal> planGoals = queries.planGoalCopiesWithoutNotes();
  std::unordered_map<std::string, std::vector<const Goal *>> goalsOfPlan;
  for (const Goal &goal : planGoals)
    goalsOfPlan[*goal.plan].push_back(&goal);
  const auto countsOf = [](const auto &map, const std::string &id) {
    const auto it = map.find(id);
    return it == map.end() ? BoardQueries::CardCounts{} : it->second;
  };

  // Lines go straight into the answer, which runs to megabytes on a large
  // board.
  std::string answer;
  for (const Plan *plan : plans) {
    const BoardQueries::CardCounts cards = countsOf(counts.byPlan, plan->id);
    std::vector<std::string> parts;
    parts.push_back(shortID(plan->id));
    parts.push_back(plan->title);
    parts.push_back("offen " + std::to_string(cards.active - cards.completed) +
                    "/" + std::to_string(cards.active));

    if (auto it = bucketsOfPlan.find(plan->id); it != bucketsOfPlan.end()) {
      std::vector<const Bucket *> &buckets = it->second;
      std::stable_sort(buckets.begin(), buckets.end(),
                       [](const Bucket *a, const Bucket *b) {
                         return a->sortOrder < b->sortOrder;
                       });
      const auto entry = [&](const Bucket &b) {
        std::string text =
            b.name + " (" +
            std::to_string(countsOf(counts.byBucket, b.id).active);
        if (b.colorHex)
          text += ", " + withHash(*b.colorHex);
        return text + ")";
      };
      parts.push_back("Buckets: " +
                      text::joined(textsOf(buckets, entry), ", "));
    }
    if (auto it = goalsOfPlan.find(plan->id); it != goalsOfPlan.end())
      parts.push_back("Ziele: " + text::joined(textsOf(it->second,
                                                       [](const Goal &g) {
                                                         return g.title;
                                                       }),
                                               ", "));

    if (plan != plans.front())
      answer += '\n';
    answer += joinParts(parts);
  }
  return answer;
}

} // namespace handlers
} // namespace taskory
