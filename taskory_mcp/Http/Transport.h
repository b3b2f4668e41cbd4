#pragma once

#include "Http/IdleConnections.h"
#include "Http/Options.h"
#include "Http/Screen.h"
#include "Http/StorePool.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace taskory::HttpServer {

// The HTTP library's server with our own connection handling (bounded waits,
// idle connections parked without a worker, a close after every refusal)
// and the MCP endpoint: every POST to /mcp carries one JSON-RPC message and
// a request gets its answer as the body. Bound and listened on as the
// library's server; beginStopping() and stop() may be called from another
// thread than the listener.
class Transport final : public httplib::Server {
public:
  // Threads serving requests; idle connections hold none, so this bounds
  // only how many requests are handled at once. The store pool needs as
  // many connections, or workers would wait for each other.
  static constexpr std::size_t kWorkers = 16;

  // HttpServer::Options: inside the class, Options names the library's
  // handler for the OPTIONS method.
  Transport(const HttpServer::Options &options, std::string token,
            StorePool &pool);

  // The library listens with a backlog of five, so a client opening a pool
  // of connections at once would see most of them dropped and retried
  // seconds later; listening again on the bound socket enlarges it.
  void widenBacklog();

  // Idle connections end now; requests already begun are still answered.
  void beginStopping();
  bool stopRequested() const { return stopping_; }

private:
  bool process_and_close_socket(socket_t socket) override;
  // Answers the requests that have arrived on `fd`, then parks it to wait
  // for more or closes it.
  void serve(int fd, std::chrono::milliseconds patience);
  void answer(std::string_view received, httplib::Response &response);

  const Screen screen_;
  StorePool &pool_;
  std::atomic<bool> stopping_{false};
  httplib::ThreadPool *workers_ = nullptr; // owned by the library
  IdleConnections idle_;
};

} // namespace taskory::HttpServer
