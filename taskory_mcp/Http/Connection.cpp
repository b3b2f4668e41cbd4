#include "Http/Connection.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace taskory::HttpServer {
namespace {

using Clock = Connection::Clock;
using std::chrono::milliseconds;

// One request and its answer together may take this long on the wire (the
// tool call itself does not count).
constexpr milliseconds kExchangeLimit{60000};
// After a refusal, how long what the client still sends is read and dropped.
constexpr milliseconds kLinger{1000};
// Reads are buffered, since the library reads the request head byte by byte.
constexpr std::size_t kBufferSize = 16384;
// SIGPIPE is ignored for the whole process; where the flag exists it spares
// the signal altogether.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool pollFor(int fd, short events, milliseconds timeout) {
  pollfd entry{fd, events, 0};
  const auto until = Clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(until - Clock::now());
    const int ready =
        ::poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (ready >= 0 || errno != EINTR)
      return ready > 0;
  }
}

std::pair<std::string, int> numericAddress(const sockaddr_storage &address,
                                           socklen_t length) {
  char host[NI_MAXHOST] = "";
  char port[NI_MAXSERV] = "";
  if (::getnameinfo(reinterpret_cast<const sockaddr *>(&address), length, host,
                    sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return {"", -1};
  return {host, std::atoi(port)};
}

} // namespace

Connection::Connection(int fd)
    : fd_(fd), deadline_(Clock::now() + kExchangeLimit) {}

bool Connection::hasInput(milliseconds wait) const {
  return start_ < buffer_.size() || pollFor(fd_, POLLIN, wait);
}

void Connection::beginExchange() {
  deadline_ = Clock::now() + kExchangeLimit;
  status_ = 0;
}

void Connection::close(bool linger) {
  if (linger) {
    ::shutdown(fd_, SHUT_WR);
    const auto until = Clock::now() + kLinger;
    char sink[16384];
    while (Clock::now() < until &&
           pollFor(fd_, POLLIN,
                   std::chrono::duration_cast<milliseconds>(until -
                                                            Clock::now())) &&
           ::recv(fd_, sink, sizeof sink, 0) > 0) {
    }
  }
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
}

bool Connection::is_readable() const {
  return start_ < buffer_.size() || wait(POLLIN);
}

bool Connection::is_writable() const { return wait(POLLOUT); }

ssize_t Connection::read(char *data, size_t size) {
  if (start_ == buffer_.size()) {
    if (!wait(POLLIN))
      return -1;
    buffer_.resize(kBufferSize);
    const ssize_t got = receive(buffer_.data(), buffer_.size());
    buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    start_ = 0;
    if (got <= 0)
      return got;
  }
  const std::size_t count = std::min(size, buffer_.size() - start_);
  std::memcpy(data, buffer_.data() + start_, count);
  start_ += count;
  return static_cast<ssize_t>(count);
}

ssize_t Connection::write(const char *data, size_t size) {
  noteStatus(std::string_view(data, size));
  if (!wait(POLLOUT))
    return -1;
  ssize_t sent;
  do
    sent = ::send(fd_, data, size, kSendFlags);
  while (sent < 0 && errno == EINTR);
  return sent;
}

void Connection::get_remote_ip_and_port(std::string &ip, int &port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getpeername(fd_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
    std::tie(ip, port) = numericAddress(address, length);
}

void Connection::get_local_ip_and_port(std::string &ip, int &port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
    std::tie(ip, port) = numericAddress(address, length);
}

bool Connection::wait(short events) const {
  const auto left =
      std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now());
  if (left.count() <= 0)
    return false;
  return pollFor(fd_, events, std::min(left, kReadTimeout));
}

ssize_t Connection::receive(char *data, std::size_t size) {
  ssize_t got;
  do
    got = ::recv(fd_, data, size, 0);
  while (got < 0 && errno == EINTR);
  return got;
}

void Connection::noteStatus(std::string_view bytes) {
  if (bytes.size() >= 12 && bytes.substr(0, 7) == "HTTP/1." && bytes[8] == ' ')
    status_ =
        (bytes[9] - '0') * 100 + (bytes[10] - '0') * 10 + (bytes[11] - '0');
}

} // namespace taskory::HttpServer
