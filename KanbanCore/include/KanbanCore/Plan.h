#pragma once

#include "KanbanCore/Types.h"

#include <optional>
#include <string>

namespace taskory {

// A board. Its buckets, cards, labels and goals are reached through the
// ModelContext, which owns every entity and keeps both sides of a link in step.
struct Plan {
  UUID id;
  std::string title;
  std::string planDescription;
  std::string iconSystemName = "square.grid.3x1.folder.badge.plus";
  std::optional<std::string> colorHex;
  bool isFavorite = false;
  double sortOrder = 0;
  Date createdAt = 0;
  Date modifiedAt = 0;
  bool isClaudeProject = false;

  Plan() = default;
  // A new plan with a fresh id and every other field at its initial value.
  Plan(std::string title, double sortOrder, Date now);

  bool operator==(const Plan &) const = default;
};

} // namespace taskory
