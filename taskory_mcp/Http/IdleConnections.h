#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace taskory::HttpServer {

// Connections waiting for their next request, watched by one thread instead
// of each holding a worker: with the library's thread per connection, a few
// idle keep-alive connections (client libraries keep a pool of them) would
// otherwise leave requests on new connections queued until they time out.
// A connection with input is handed back through `resume` (called on the
// watching thread); one silent past its time is closed. Plain poll(2): there
// are rarely more than a few dozen. park() and stop() are safe from any
// thread.
class IdleConnections {
public:
  explicit IdleConnections(std::function<void(int fd)> resume);
  ~IdleConnections();
  IdleConnections(const IdleConnections &) = delete;
  IdleConnections &operator=(const IdleConnections &) = delete;

  // Takes over `fd` until input arrives or `patience` has passed; after
  // stop() closes it at once.
  void park(int fd, std::chrono::milliseconds patience);

  // Closes every waiting connection and resumes none after returning.
  void stop();

  static void closeSocket(int fd);

private:
  using Clock = std::chrono::steady_clock;

  void wake();
  void watch();

  const std::function<void(int fd)> resume_;
  int wake_[2] = {-1, -1}; // written to when the watched set changes
  std::mutex mutex_;
  std::map<int, Clock::time_point> deadlines_; // guarded by mutex_
  bool stopped_ = false;                       // guarded by mutex_
  std::thread watcher_;
};

} // namespace taskory::HttpServer
