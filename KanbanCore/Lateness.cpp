// isLate lives apart from the store code: it is the one derived value that
// needs the calendar.
#include "KanbanCore/Calendar.h"
#include "KanbanCore/ModelContext.h"

namespace taskory {

bool isLate(const Card &card, Date now, const Calendar &calendar) {
  if (!card.dueDate || card.progress() == CardProgress::completed)
    return false;
  return *card.dueDate < calendar.startOfDay(now);
}

} // namespace taskory
