#pragma once

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "support/StoreTestSupport.h"
#include "Store/ContainerConnection.h"

#include <memory>

namespace taskory::test {

// A fresh in-memory store with a fixed clock and calendar, for tests that do
// not need a file (WAL, busy timeout and file modes need a temporary
// directory instead).
struct TestStore {
  // 2025-03-12 10:00:00 UTC, a Wednesday (11:00 in Berlin).
  static constexpr Date kNow = 1741773600.0;

  std::unique_ptr<ModelContainer> container = KanbanStore::makePreviewContainer();
  Calendar calendar{"Europe/Berlin", "de_DE"};

  std::unique_ptr<ModelContext> context() {
    return std::make_unique<ModelContext>(*container, "mcp");
  }
  // The store's own connection, as another program's SQL would use it.
  RawConnection raw() { return RawConnection(handleOf(*container)); }
};

} // namespace taskory::test
