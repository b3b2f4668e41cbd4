#pragma once

#include "KanbanCore/KanbanStore.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <string_view>

// What the server does before and around the loop: open the shared store and
// run each tool call in a context of its own.
namespace taskory {
class Calendar;
}

namespace taskory::StartUp {

// Marks the settings as living in the group container, makes a write past a
// file-size limit fail instead of ending the process, and opens the local
// store. On failure logs the reason (and the access hint where there is one)
// and returns nothing; the caller then ends with status 1. A store recorded
// by a newer data model is logged and still returned.
std::unique_ptr<ModelContainer> openStore();

// Runs one tool call in a fresh context with the author "mcp", at the current
// time and in `calendar` (the user's); a tool that only reads gets a
// read-only context. The context is discarded afterwards, so a failed call
// leaves nothing behind. Throws whatever the context or the tool throws.
std::string callTool(ModelContainer &container, const Calendar &calendar,
                     std::string_view name, const nlohmann::json &arguments);

// Holds /dev/null on any of the standard descriptors 0-2 that a parent left
// closed, so that no file or socket opened later takes that number and
// receives output meant for the protocol or for diagnostics.
void occupyClosedStandardDescriptors();

// The process: opens the store, then serves standard input and output with
// one calendar for the whole session. Returns the exit status (1 when the
// store cannot be opened).
int main();

} // namespace taskory::StartUp
