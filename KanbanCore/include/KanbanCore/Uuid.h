#pragma once

#include "KanbanCore/Types.h"

#include <optional>
#include <string_view>

namespace taskory {

// A new random (version 4) UUID in canonical upper-case form.
UUID makeUUID();

// The canonical upper-case form of `text` when it is a UUID in the 8-4-4-4-12
// form with hyphens (hex digits of either case), else nothing.
std::optional<UUID> parseUUID(std::string_view text);

// `id` upper-cased (ASCII only): the form shown to the user and compared
// against ID prefixes.
std::string canonicalID(std::string_view id);

// The first 8 characters of the canonical form (the first group).
std::string shortID(std::string_view id);

} // namespace taskory
