#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <optional>
#include <string>

namespace taskory {

// One of a plan's 25 label slots; its colour follows from slotIndex alone.
struct PlanLabel {
  UUID id;
  int64_t slotIndex = 0;
  std::string name;
  std::optional<UUID> plan;

  PlanLabel() = default;
  PlanLabel(int64_t slotIndex, std::string name);

  bool operator==(const PlanLabel &) const = default;
};

} // namespace taskory
