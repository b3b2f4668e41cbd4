#pragma once

#include "KanbanCore/NotificationCenter.h"

#include <memory>

namespace taskory {

// The opened store: one connection, shared by the model contexts that are
// created on it one after another. Owned by whoever opened it (the server's
// loop); not thread-safe.
class ModelContainer {
public:
  // The store's side of it; only the store knows what it holds.
  struct Connection;

  explicit ModelContainer(std::unique_ptr<Connection> connection);
  ~ModelContainer();
  ModelContainer(const ModelContainer &) = delete;
  ModelContainer &operator=(const ModelContainer &) = delete;

  Connection &connection() { return *connection_; }
  // The centre on which CardActions posts didCompleteCard.
  NotificationCenter &notificationCenter() { return notifications_; }

private:
  std::unique_ptr<Connection> connection_;
  NotificationCenter notifications_;
};

} // namespace taskory
