#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

using BucketLine = BoardQueries::BucketLine;
using GoalTitle = BoardQueries::GoalTitle;
using CardCounts = BoardQueries::CardCounts;

bool startsWithHash(const std::string &color) {
  return !color.empty() && color.front() == '#';
}

CardCounts countsOf(const std::unordered_map<std::string, CardCounts> &counts,
                    const std::string &id) {
  const auto it = counts.find(id);
  return it == counts.end() ? CardCounts{} : it->second;
}

// Rows grouped by their plan's id, each group in the rows' order.
template <class Row>
std::unordered_map<std::string_view, std::vector<const Row *>>
byPlan(const std::vector<Row> &rows) {
  std::unordered_map<std::string_view, std::vector<const Row *>> groups;
  for (const Row &row : rows)
    groups[row.plan].push_back(&row);
  return groups;
}

} // namespace

namespace handlers {

// Card figures come from one count over the whole store (kept between
// calls), and plans, buckets and goals from one query each, as light rows
// grouped here by plan: the overview must stay quick on boards with many
// thousands of each.
ToolResult listPlans(const ToolCall &call) {
  const std::vector<BoardQueries::PlanHeading> plans =
      resolution::planHeadings(call.context);
  if (plans.empty())
    return std::string("Keine Pläne.");

  BoardQueries queries(call.context);
  const BoardQueries::BoardCounts &counts = queries.boardCounts();
  const std::vector<BucketLine> buckets = queries.planBucketLines();
  // The figures are looked up in tight passes of their own: on a large
  // board the kept figures are out of the processor's caches, and lookups
  // with nothing between them wait for their memory together rather than
  // one after another.
  std::vector<CardCounts> planCards(plans.size());
  for (std::size_t i = 0; i < plans.size(); ++i)
    planCards[i] = countsOf(counts.byPlan, plans[i].id);
  std::vector<int64_t> bucketCards(buckets.size());
  for (std::size_t i = 0; i < buckets.size(); ++i)
    bucketCards[i] = countsOf(counts.byBucket, buckets[i].id).active;
  auto bucketsOfPlan = byPlan(buckets);
  const std::vector<GoalTitle> goals = queries.planGoalTitles();
  const auto goalsOfPlan = byPlan(goals);

  // Lines go straight into the answer, which runs to megabytes on a large
  // board.
  std::string answer;
  answer.reserve(plans.size() * 80 + buckets.size() * 20 + goals.size() * 30);
  for (const BoardQueries::PlanHeading &plan : plans) {
    if (&plan != &plans.front())
      answer += '\n';
    const CardCounts cards = planCards[&plan - plans.data()];
    answer += shortID(plan.id);
    answer += kPartSeparator;
    answer += plan.title;
    answer += kPartSeparator;
    answer += "offen ";
    answer += std::to_string(cards.active - cards.completed);
    answer += '/';
    answer += std::to_string(cards.active);

    if (auto it = bucketsOfPlan.find(plan.id); it != bucketsOfPlan.end()) {
      std::vector<const BucketLine *> &ofPlan = it->second;
      std::stable_sort(ofPlan.begin(), ofPlan.end(),
                       [](const BucketLine *a, const BucketLine *b) {
                         return a->sortOrder < b->sortOrder;
                       });
      answer += kPartSeparator;
      answer += "Buckets: ";
      for (const BucketLine *bucket : ofPlan) {
        if (bucket != ofPlan.front())
          answer += ", ";
        answer += bucket->name;
        answer += " (";
        answer += std::to_string(bucketCards[bucket - buckets.data()]);
        if (bucket->colorHex) {
          answer += ", ";
          if (!startsWithHash(*bucket->colorHex))
            answer += '#';
          answer += *bucket->colorHex;
        }
        answer += ')';
      }
    }
    if (auto it = goalsOfPlan.find(plan.id); it != goalsOfPlan.end()) {
      answer += kPartSeparator;
      answer += "Ziele: ";
      for (const GoalTitle *goal : it->second) {
        if (goal != it->second.front())
          answer += ", ";
        answer += goal->title;
      }
    }
  }
  return answer;
}

} // namespace handlers
} // namespace taskory
