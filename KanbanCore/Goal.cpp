#include "KanbanCore/Goal.h"

#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

Goal::Goal(std::string title, double sortOrder, Date now)
    : id(makeUUID()), title(std::move(title)), sortOrder(sortOrder),
      createdAt(now) {}

} // namespace taskory
