#include "Http/IdleConnections.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace taskory::HttpServer {
namespace {

// How often the watcher looks for connections past their time even when
// nothing arrives.
constexpr int kSweepMilliseconds = 250;

} // namespace

IdleConnections::IdleConnections(std::function<void(int fd)> resume)
    : resume_(std::move(resume)) {
  if (::pipe(wake_) != 0)
    wake_[0] = wake_[1] = -1;
  for (int fd : wake_) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
  }
  watcher_ = std::thread([this] { watch(); });
}

IdleConnections::~IdleConnections() {
  stop();
  for (int fd : wake_)
    ::close(fd);
}

void IdleConnections::park(int fd, std::chrono::milliseconds patience) {
  {
    std::lock_guard lock(mutex_);
    if (!stopped_) {
      deadlines_[fd] = Clock::now() + patience;
      wake();
      return;
    }
  }
  closeSocket(fd);
}

void IdleConnections::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopped_)
      return;
    stopped_ = true;
    wake();
  }
  watcher_.join();
  for (const auto &[fd, deadline] : deadlines_)
    closeSocket(fd);
  deadlines_.clear();
}

void IdleConnections::closeSocket(int fd) {
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

void IdleConnections::wake() { (void)!::write(wake_[1], "", 1); }

void IdleConnections::watch() {
  std::vector<pollfd> watched;
  for (;;) {
    watched.assign(1, pollfd{wake_[0], POLLIN, 0});
    {
      std::lock_guard lock(mutex_);
      if (stopped_)
        return;
      for (const auto &[fd, deadline] : deadlines_)
        watched.push_back(pollfd{fd, POLLIN, 0});
    }
    int ready;
    do
      ready = ::poll(watched.data(), watched.size(), kSweepMilliseconds);
    while (ready < 0 && errno == EINTR);
    char drained[64];
    while (::read(wake_[0], drained, sizeof drained) > 0) {
    }
    std::vector<int> resumed;
    {
      std::lock_guard lock(mutex_);
      if (stopped_)
        return;
      for (std::size_t i = 1; i < watched.size(); ++i)
        if (watched[i].revents != 0 && deadlines_.erase(watched[i].fd) > 0)
          resumed.push_back(watched[i].fd);
      const auto now = Clock::now();
      for (auto it = deadlines_.begin(); it != deadlines_.end();) {
        if (it->second > now) {
          ++it;
          continue;
        }
        closeSocket(it->first);
        it = deadlines_.erase(it);
      }
    }
    // Outside the lock: resuming hands the connection to a worker, which may
    // park it again at once.
    for (int fd : resumed)
      resume_(fd);
  }
}

} // namespace taskory::HttpServer
