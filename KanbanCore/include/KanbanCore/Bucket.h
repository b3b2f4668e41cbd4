#pragma once

#include "KanbanCore/Card.h"
#include "KanbanCore/Types.h"

#include <cstdint>
#include <optional>
#include <string>

namespace taskory {

// A column of a plan.
struct Bucket {
  UUID id;
  std::string name;
  std::optional<std::string> colorHex;
  double sortOrder = 0;
  Date createdAt = 0;
  int64_t autoProgressRaw = -1;
  std::optional<UUID> plan;

  Bucket() = default;
  Bucket(std::string name, double sortOrder, Date now);

  // Progress cards take on when they enter the bucket; none when the stored
  // value is negative.
  std::optional<CardProgress> autoProgress() const;
  void setAutoProgress(std::optional<CardProgress> progress);

  bool operator==(const Bucket &) const = default;
};

} // namespace taskory
