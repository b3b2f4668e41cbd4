#pragma once

#include "KanbanCore/NotificationCenter.h"

#include <memory>

struct sqlite3;

namespace taskory {

class SqliteDatabase;

// The opened store: one SQLite connection, shared by the model contexts that
// are created on it one after another. Owned by whoever opened it (the
// server's loop); not thread-safe.
class ModelContainer {
public:
  explicit ModelContainer(std::unique_ptr<SqliteDatabase> db);
  ~ModelContainer();
  ModelContainer(const ModelContainer &) = delete;
  ModelContainer &operator=(const ModelContainer &) = delete;

  SqliteDatabase &database() { return *db_; }
  // The raw connection, for tests and tools that must see exactly what this
  // container sees (an in-memory store has no other way in). Whoever uses it
  // must not leave a transaction open between contexts.
  sqlite3 *connection();
  // The centre on which CardActions posts didCompleteCard.
  NotificationCenter &notificationCenter() { return notifications_; }

private:
  std::unique_ptr<SqliteDatabase> db_;
  NotificationCenter notifications_;
};

} // namespace taskory
