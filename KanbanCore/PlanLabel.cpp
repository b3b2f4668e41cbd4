#include "KanbanCore/PlanLabel.h"

#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

PlanLabel::PlanLabel(int64_t slotIndex, std::string name)
    : id(makeUUID()), slotIndex(slotIndex), name(std::move(name)) {}

} // namespace taskory
