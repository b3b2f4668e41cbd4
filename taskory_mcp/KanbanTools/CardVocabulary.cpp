#include "KanbanTools/CardVocabulary.h"

#include "KanbanCore/Text.h"
#include "KanbanTools/ToolError.h"

#include <string>

namespace taskory {

std::string_view statusWord(CardProgress progress) {
  switch (progress) {
  case CardProgress::notStarted:
    return "not_started";
  case CardProgress::inProgress:
    return "in_progress";
  case CardProgress::completed:
    return "completed";
  }
  return "not_started";
}

std::optional<std::string_view> priorityWord(Priority priority) {
  switch (priority) {
  case Priority::urgent:
    return "urgent";
  case Priority::important:
    return "important";
  case Priority::low:
    return "low";
  case Priority::medium:
    break;
  }
  return std::nullopt;
}

CardProgress parseStatus(std::string_view text) {
  const std::string lowered = text::asciiLowercased(text);
  if (lowered == "not_started" || lowered == "notstarted")
    return CardProgress::notStarted;
  if (lowered == "in_progress" || lowered == "inprogress")
    return CardProgress::inProgress;
  if (lowered == "completed" || lowered == "done")
    return CardProgress::completed;
  throw ToolError{"Unbekannter Status: " + std::string(text)};
}

Priority parsePriority(std::string_view text) {
  const std::string lowered = text::asciiLowercased(text);
  if (lowered == "urgent")
    return Priority::urgent;
  if (lowered == "important")
    return Priority::important;
  if (lowered == "medium")
    return Priority::medium;
  if (lowered == "low")
    return Priority::low;
  throw ToolError{"Unbekannte Priorität: " + std::string(text)};
}

} // namespace taskory
