#pragma once

#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/Types.h"

#include <optional>

namespace taskory {

class Calendar;

namespace RecurrenceEngine {

// The due date of the occurrence after the one due at `after`, in `calendar`'s
// time zone; nothing when the calendar cannot form it or the rule's numbers
// are so large that the arithmetic would overflow. Never looks at the clock.
std::optional<Date> nextDueDate(Date after, const RecurrenceRule &rule,
                                const Calendar &calendar);

} // namespace RecurrenceEngine
} // namespace taskory
