// Kept apart from Card.cpp so that the entity itself does not pull the
// recurrence JSON code into every program that links a Card.
#include "KanbanCore/Card.h"

namespace taskory {

std::optional<RecurrenceRule> Card::recurrenceRule() const {
  if (!recurrenceRuleData)
    return std::nullopt;
  return RecurrenceRule::decode(*recurrenceRuleData);
}

void Card::setRecurrenceRule(const std::optional<RecurrenceRule> &rule) {
  if (rule)
    recurrenceRuleData = rule->encode();
  else
    recurrenceRuleData.reset();
}

} // namespace taskory
