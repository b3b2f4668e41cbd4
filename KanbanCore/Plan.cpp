#include "KanbanCore/Plan.h"

#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

Plan::Plan(std::string title, double sortOrder, Date now)
    : id(makeUUID()), title(std::move(title)), sortOrder(sortOrder),
      createdAt(now), modifiedAt(now) {}

} // namespace taskory
