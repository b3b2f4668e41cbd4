#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace taskory {

// A selection of cards that the store answers exactly, so that list tools do
// not have to load every card. All conditions are combined with AND.
struct CardQuery {
  std::optional<UUID> planID;
  // Cards whose bucket is one of these ids (an empty list matches nothing).
  std::optional<std::vector<UUID>> bucketIDs;
  bool includeArchived = false;
  // percentComplete within [min, max] (inclusive).
  std::optional<int64_t> minPercent;
  std::optional<int64_t> maxPercent;
  // Only cards with a due date at or before this instant.
  std::optional<Date> dueAtOrBefore;
  // Only cards on "Mein Tag".
  bool onlyOnMyDay = false;
  // Extra test on title and notes (called with the stored bytes).
  std::function<bool(std::string_view title, std::string_view notes)>
      textMatches;
};

} // namespace taskory
