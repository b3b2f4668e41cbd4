#pragma once

#include "Http/ChangeWatch.h"
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
// a request gets its answer as the body. GET / and GET /changes are the
// read-only board page and its change counter (Http/BoardPage.h). Bound and listened on as the
// library's server; beginStopping() and stop() may be called from another
// thread than the listener.
//
// Why it overrides a private member of the library: the library serves a
// connection from accept to close in one job of its task queue and bounds
// each wait on it alone, so an idle keep-alive connection holds a worker for
// the whole keep-alive time, and a client that sends a byte every few
// seconds holds one for good. Its public interface cannot change either:
// the task queue gets an opaque job per connection, and neither the
// handlers nor the socket options callback (called for the listening
// socket only) ever see a connection's socket. The one place that gets it
// is the private virtual process_and_close_socket; the one that reads and
// answers a single request from a stream of our own is the protected
// process_request. Both are the library's internals, so the build accepts
// only the releases this was written and tested against (the version check
// in taskory_mcp/CMakeLists.txt). Everything else here, the backlog
// included, goes through the public interface.
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
  // seconds later; listening again on the bound socket enlarges it. Call
  // after binding, before listen_after_bind().
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
  // The board page and its change counter; false (with the 401 page or the
  // redirect that drops the token from the address set) when the request
  // may not see them.
  bool admitsToBoard(const httplib::Request &request,
                     httplib::Response &response) const;
  void serveBoard(const httplib::Request &request, httplib::Response &response);

  const Screen screen_;
  const bool noAuth_;
  const std::string token_;
  const std::string sessionSecret_;
  ChangeWatch changes_;
  StorePool &pool_;
  std::atomic<bool> stopping_{false};
  httplib::ThreadPool *workers_ = nullptr; // owned by the library
  // The socket last handed to the socket options callback: the listening
  // one, once bound.
  socket_t listening_ = INVALID_SOCKET;
  IdleConnections idle_;
};

} // namespace taskory::HttpServer
