#pragma once

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace taskory::HttpServer {

// The store connections of the workers, one per worker, so that requests wait
// for each other only where the store makes writers wait. A connection is
// used by one request at a time and handed from worker to worker only
// through the pool's lock; each comes with its own calendar, since ICU
// calendars are not thread-safe. Connections are opened when first needed
// and closed with the pool. acquire() is safe from any thread.
class StorePool {
public:
  // `first` is the connection opened (and checked) at start-up.
  StorePool(std::filesystem::path store, std::unique_ptr<ModelContainer> first,
            std::size_t size);
  StorePool(const StorePool &) = delete;
  StorePool &operator=(const StorePool &) = delete;

  // A connection held until the lease ends; used by one thread.
  class Lease {
  public:
    Lease(StorePool &pool, std::size_t index) : pool_(&pool), index_(index) {}
    Lease(Lease &&other) noexcept;
    Lease &operator=(Lease &&) = delete;
    ~Lease();
    ModelContainer &container();
    // Made when the slot is first used and kept with it, like the connection.
    const Calendar &calendar();

  private:
    StorePool *pool_;
    std::size_t index_;
  };

  // A connection of its own for the caller; waits while all are in use.
  // Throws StoreError when a new connection cannot be opened (the slot is
  // then free again).
  Lease acquire();

private:
  struct Slot {
    std::unique_ptr<ModelContainer> container;
    std::optional<Calendar> calendar;
  };

  void release(std::size_t index);

  const std::filesystem::path store_;
  std::vector<Slot> slots_; // each touched only by the holder of its lease
  std::mutex mutex_;
  std::condition_variable available_;
  std::vector<std::size_t> free_; // guarded by mutex_
};

} // namespace taskory::HttpServer
