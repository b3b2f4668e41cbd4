#include "Http/StorePool.h"

#include <utility>

namespace taskory::HttpServer {

StorePool::StorePool(std::filesystem::path store,
                     std::unique_ptr<ModelContainer> first, std::size_t size)
    : store_(std::move(store)), slots_(size) {
  slots_.front().container = std::move(first);
  // Taken from the back: the connection opened at start-up goes first.
  for (std::size_t i = size; i-- > 0;)
    free_.push_back(i);
}

StorePool::Lease::Lease(Lease &&other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)), index_(other.index_) {}

StorePool::Lease::~Lease() {
  if (pool_)
    pool_->release(index_);
}

ModelContainer &StorePool::Lease::container() {
  return *pool_->slots_[index_].container;
}

const Calendar &StorePool::Lease::calendar() {
  auto &calendar = pool_->slots_[index_].calendar;
  if (!calendar)
    calendar = Calendar::current();
  return *calendar;
}

StorePool::Lease StorePool::acquire() {
  std::size_t index;
  {
    std::unique_lock lock(mutex_);
    available_.wait(lock, [this] { return !free_.empty(); });
    index = free_.back();
    free_.pop_back();
  }
  // Held before the connection is opened, so a failure hands the slot back.
  Lease lease(*this, index);
  if (!slots_[index].container)
    slots_[index].container = KanbanStore::makeContainer(store_);
  return lease;
}

void StorePool::release(std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(index);
  }
  available_.notify_one();
}

} // namespace taskory::HttpServer
