#pragma once

#include "KanbanCore/ModelContainer.h"
#include "Store/OverviewCache.h"
#include "Store/Sqlite.h"

#include <memory>
#include <utility>

namespace taskory {

struct ModelContainer::Connection {
  explicit Connection(std::unique_ptr<SqliteDatabase> opened)
      : db(std::move(opened)),
        overview(std::make_unique<store::OverviewCache>(*db)) {}

  std::unique_ptr<SqliteDatabase> db;
  // Declared after the connection it hooks into, so it goes first.
  std::unique_ptr<store::OverviewCache> overview;
};

// The raw connection, for tests that must see exactly what a container sees
// (an in-memory store has no other way in). Whoever uses it must not leave a
// transaction open between contexts.
inline sqlite3 *handleOf(ModelContainer &container) {
  return container.connection().db->handle();
}

} // namespace taskory
