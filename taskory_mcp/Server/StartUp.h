#pragma once

#include "KanbanCore/KanbanStore.h"

#include <memory>

// What the server does before the loop: settle the standard descriptors and
// signals, and open the shared store.
namespace taskory::StartUp {

// Marks the settings as living in the group container, makes a write past a
// file-size limit fail instead of ending the process, and opens the local
// store. On failure logs the reason (and the access hint where there is one)
// and returns nothing; the caller then ends with status 1. A store recorded
// by a newer data model is logged and still returned.
std::unique_ptr<ModelContainer> openStore();

// Holds /dev/null on any of the standard descriptors 0-2 that a parent left
// closed, so that no file or socket opened later takes that number and
// receives output meant for the protocol or for diagnostics.
void occupyClosedStandardDescriptors();

// The process: opens the store, then serves standard input and output with
// one calendar for the whole session. Returns the exit status (1 when the
// store cannot be opened).
int main();

} // namespace taskory::StartUp
