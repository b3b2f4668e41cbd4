#pragma once

#include "KanbanCore/Types.h"

#include <optional>
#include <string>

namespace taskory {

struct ChecklistItem {
  UUID id;
  std::string title;
  bool isChecked = false;
  double sortOrder = 0;
  Date createdAt = 0;
  std::optional<UUID> card;

  ChecklistItem() = default;
  ChecklistItem(std::string title, double sortOrder, Date now);

  bool operator==(const ChecklistItem &) const = default;
};

} // namespace taskory
