#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace taskory::HttpServer {

// Jobs run in the order they were posted by a fixed number of threads: one
// thread makes a line that jobs wait in, as the store's writers do. A job
// must not throw. post() is safe from any thread.
class WorkQueue {
public:
  explicit WorkQueue(std::size_t threads);
  // Runs what is still queued, then joins.
  ~WorkQueue();
  WorkQueue(const WorkQueue &) = delete;
  WorkQueue &operator=(const WorkQueue &) = delete;

  void post(std::function<void()> job);

private:
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_; // guarded by mutex_
  bool ending_ = false;                    // guarded by mutex_
  std::vector<std::thread> threads_;
};

} // namespace taskory::HttpServer
