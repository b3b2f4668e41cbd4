#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"

#include <string>
#include <vector>

namespace taskory {
namespace {

std::string withHash(const std::string &color) {
  return !color.empty() && color.front() == '#' ? color : "#" + color;
}

} // namespace

namespace handlers {

// Card figures are counted by the store rather than by loading the cards:
// the overview must stay quick on boards with many thousands of cards.
ToolResult listPlans(const ToolCall &call) {
  const std::vector<Plan *> plans = resolution::fetchPlans(call.context);
  if (plans.empty())
    return std::string("Keine Pläne.");

  std::vector<std::string> lines;
  for (const Plan *plan : plans) {
    CardQuery active;
    active.planID = plan->id;
    CardQuery open = active;
    open.maxPercent = 99;

    std::vector<std::string> parts;
    parts.push_back(shortID(plan->id));
    parts.push_back(plan->title);
    parts.push_back("offen " + std::to_string(call.context.countCards(open)) +
                    "/" + std::to_string(call.context.countCards(active)));

    if (const auto buckets = call.context.sortedBuckets(*plan);
        !buckets.empty()) {
      const auto entry = [&](const Bucket &b) {
        CardQuery inBucket;
        inBucket.bucketIDs = std::vector<UUID>{b.id};
        std::string text =
            b.name + " (" + std::to_string(call.context.countCards(inBucket));
        if (b.colorHex)
          text += ", " + withHash(*b.colorHex);
        return text + ")";
      };
      parts.push_back("Buckets: " +
                      text::joined(textsOf(buckets, entry), ", "));
    }
    if (const auto goals = call.context.goals(*plan); !goals.empty())
      parts.push_back(
          "Ziele: " +
          text::joined(textsOf(goals, [](const Goal &g) { return g.title; }),
                       ", "));

    lines.push_back(joinParts(parts));
  }
  return text::joined(lines, "\n");
}

} // namespace handlers
} // namespace taskory
