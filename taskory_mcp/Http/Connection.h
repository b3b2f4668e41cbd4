#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace taskory::HttpServer {

// One client connection as the HTTP library's stream, used by one worker at
// a time. Every wait is bounded twice: by kReadTimeout, and by the deadline
// of the current exchange (one request and its answer), which a client
// sending or reading one byte at a time runs into; the library's own
// timeout bounds each wait alone, so such a client could hold a worker
// indefinitely.
class Connection final : public httplib::Stream {
public:
  using Clock = std::chrono::steady_clock;

  // The longest wait for a part of a request or answer.
  static constexpr std::chrono::milliseconds kReadTimeout{5000};

  // Takes over `fd`, which close() closes.
  explicit Connection(int fd);
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  // True when the next request has begun to arrive (or the client closed)
  // within `wait`.
  bool hasInput(std::chrono::milliseconds wait) const;

  // Starts the deadline of the next request and its answer.
  void beginExchange();
  // The status of the last answer written (the one after a 100 Continue);
  // 0 before any.
  int status() const { return status_; }

  // Ends the connection. After a refusal (`linger`) the client may still be
  // sending the body; closing with unread data would reset the connection
  // and could destroy the refusal before the client reads it, so the
  // sending side is shut first and what arrives is dropped for a while.
  void close(bool linger);

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char *data, size_t size) override;
  ssize_t write(const char *data, size_t size) override;
  void get_remote_ip_and_port(std::string &ip, int &port) const override;
  void get_local_ip_and_port(std::string &ip, int &port) const override;
  socket_t socket() const override { return fd_; }

private:
  bool wait(short events) const;
  ssize_t receive(char *data, std::size_t size);
  void noteStatus(std::string_view bytes);

  const int fd_;
  std::string buffer_; // received, not yet read from start_ on
  std::size_t start_ = 0;
  Clock::time_point deadline_;
  int status_ = 0;
};

} // namespace taskory::HttpServer
