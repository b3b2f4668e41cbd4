#pragma once

#include "KanbanCore/ModelContainer.h"
#include "Store/Sqlite.h"

#include <memory>

namespace taskory {

struct ModelContainer::Connection {
  std::unique_ptr<SqliteDatabase> db;
};

// The raw connection, for tests that must see exactly what a container sees
// (an in-memory store has no other way in). Whoever uses it must not leave a
// transaction open between contexts.
inline sqlite3 *handleOf(ModelContainer &container) {
  return container.connection().db->handle();
}

} // namespace taskory
