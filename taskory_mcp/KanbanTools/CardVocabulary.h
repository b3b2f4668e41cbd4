#pragma once

#include "KanbanCore/Card.h"

#include <optional>
#include <string_view>

// The words for a card's status and priority, both ways: the tools print the
// same words they accept, so both directions live side by side.
namespace taskory {

// "not_started", "in_progress", "completed".
std::string_view statusWord(CardProgress progress);
// "urgent", "important", "low"; nothing for medium, which is never printed.
std::optional<std::string_view> priorityWord(Priority priority);

// The status a word names, in any ASCII letter case, with or without the
// underscore; "done" for completed. Throws the ToolError naming the word.
CardProgress parseStatus(std::string_view text);
// "urgent", "important", "medium", "low" in any ASCII letter case. Throws the
// ToolError naming the word.
Priority parsePriority(std::string_view text);

} // namespace taskory
