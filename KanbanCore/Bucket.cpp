#include "KanbanCore/Bucket.h"

#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

Bucket::Bucket(std::string name, double sortOrder, Date now)
    : id(makeUUID()), name(std::move(name)), sortOrder(sortOrder),
      createdAt(now) {}

std::optional<CardProgress> Bucket::autoProgress() const {
  if (autoProgressRaw < 0)
    return std::nullopt;
  return progressFromPercent(autoProgressRaw);
}

void Bucket::setAutoProgress(std::optional<CardProgress> progress) {
  autoProgressRaw = progress ? static_cast<int64_t>(*progress) : -1;
}

} // namespace taskory
