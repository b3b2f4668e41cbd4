#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardRendering.h"

#include <string>
#include <vector>

namespace taskory {
namespace {

std::string withHash(const std::string &color) {
  return !color.empty() && color.front() == '#' ? color : "#" + color;
}

template <class T, class Text>
std::string joinedList(const std::vector<T *> &entities, Text text) {
  std::string out;
  for (std::size_t i = 0; i < entities.size(); ++i) {
    if (i > 0)
      out += ", ";
    out += text(*entities[i]);
  }
  return out;
}

} // namespace

// Card figures are counted by the store rather than by loading the cards:
// the overview must stay quick on boards with many thousands of cards.
ToolResult KanbanTools::listPlans() {
  const std::vector<Plan *> plans = fetchPlans();
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
    parts.push_back("offen " + std::to_string(context().countCards(open)) +
                    "/" + std::to_string(context().countCards(active)));

    if (const auto buckets = context().sortedBuckets(*plan); !buckets.empty())
      parts.push_back("Buckets: " + joinedList(buckets, [&](const Bucket &b) {
                        CardQuery inBucket;
                        inBucket.bucketIDs = std::vector<UUID>{b.id};
                        std::string entry =
                            b.name + " (" +
                            std::to_string(context().countCards(inBucket));
                        if (b.colorHex)
                          entry += ", " + withHash(*b.colorHex);
                        return entry + ")";
                      }));
    if (const auto goals = context().goals(*plan); !goals.empty())
      parts.push_back("Ziele: " +
                      joinedList(goals, [](const Goal &g) { return g.title; }));

    lines.push_back(joinParts(parts));
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0)
      out += "\n";
    out += lines[i];
  }
  return out;
}

} // namespace taskory
