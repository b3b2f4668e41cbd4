#pragma once

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/ModelContext.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <utility>

namespace taskory::test {

// The overviews' figures (active, completed) per plan, bucket and goal, and
// the store's open cards, in a form that compares and prints. Groups without
// cards are left out, as a walk never meets them.
struct OverviewFigures {
  std::map<std::string, std::pair<int64_t, int64_t>> plans, buckets, goals;
  int64_t open = 0;
  bool operator==(const OverviewFigures &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const OverviewFigures &f) {
  auto print = [&](const char *name, const auto &m) {
    out << name << ":";
    for (const auto &[id, c] : m)
      out << " " << id.substr(0, 6) << "=" << c.first << "/" << c.second;
    out << "\n";
  };
  print("plans", f.plans), print("buckets", f.buckets), print("goals", f.goals);
  return out << "open: " << f.open;
}

// What a connection of `container` reports. `onlyOpen`: asks just the
// list's count, which is then kept on its own.
inline OverviewFigures overviewFigures(ModelContainer &container,
                                       bool onlyOpen = false) {
  ModelContext context(container, "mcp", ContextAccess::readOnly);
  BoardQueries queries(context);
  OverviewFigures f;
  CardQuery open;
  open.maxPercent = kCompletedFromPercent - 1;
  queries.queryCards(open, 1, &f.open);
  if (onlyOpen)
    return f;
  auto copy = [](const auto &from, auto &to) {
    for (const auto &[id, c] : from)
      if (c.active || c.completed)
        to[id] = {c.active, c.completed};
  };
  copy(queries.boardCounts().byPlan, f.plans);
  copy(queries.boardCounts().byBucket, f.buckets);
  copy(queries.goalCardCounts(), f.goals);
  return f;
}

} // namespace taskory::test
