#pragma once

#include "KanbanCore/Types.h"

#include <optional>
#include <string>

namespace taskory {

struct Goal {
  UUID id;
  std::string title;
  std::string notes;
  std::optional<std::string> colorHex;
  std::optional<Date> targetDate;
  bool isCompleted = false;
  double sortOrder = 0;
  Date createdAt = 0;
  std::optional<UUID> plan;

  Goal() = default;
  Goal(std::string title, double sortOrder, Date now);

  bool operator==(const Goal &) const = default;
};

} // namespace taskory
