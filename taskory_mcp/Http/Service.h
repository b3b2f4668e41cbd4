#pragma once

#include "Http/BoardSite.h"
#include "Http/McpEndpoint.h"
#include "Http/Message.h"
#include "Http/Options.h"
#include "Http/Screen.h"
#include "Http/WorkQueue.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace taskory::HttpServer {

class StorePool;
class TokenFile;
struct Secrets;

// What the HTTP mode serves, whoever reads and writes the bytes: the screen
// every request passes, the MCP endpoint and the board site, and the
// threads that answer. Requests that only read are answered by a few
// threads at once and never wait for a writer (each reads a snapshot of the
// store); requests that write wait in one line for their turn instead of
// spinning on the store's lock against each other.
class Service {
public:
  static constexpr std::size_t kReaders = 8;
  // Store connections the pool must hold: one per thread that answers.
  static constexpr std::size_t kStoreConnections = kReaders + 1;

  // `tokenFile` is null with --no-auth. `port` is the bound one.
  Service(const Options &options, TokenFile *tokenFile, StorePool &pool,
          int port);
  Service(const Service &) = delete;
  Service &operator=(const Service &) = delete;

  struct Admission {
    // Set when the request is refused from its head.
    std::optional<HttpResponse> refusal;
    // The token's secrets as they were when the head was screened.
    std::shared_ptr<const Secrets> secrets;
  };
  // Screens a request's head; cheap enough for the thread that reads. Safe
  // from any thread.
  Admission admit(const HttpRequest &head);

  // Answers an admitted request on the service's threads and calls `reply`
  // once with the answer, on one of them. Never throws: running out of
  // memory answers 503, any other failure 500.
  void handle(HttpRequest request, std::shared_ptr<const Secrets> secrets,
              std::function<void(HttpResponse)> reply);

  // Waits until no request is being answered, at most `patience`; true when
  // none is.
  bool finish(std::chrono::milliseconds patience);

private:
  void begin();
  void end();
  // `respond`'s answer, or the refusal for what it threw.
  static HttpResponse guarded(const std::function<HttpResponse()> &respond);
  // The same for a page address: the failure as a page, never as JSON.
  static HttpResponse pageGuarded(const std::function<HttpResponse()> &respond);

  TokenFile *const tokenFile_;
  Screen screen_;
  McpEndpoint endpoint_;
  BoardSite board_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t inFlight_ = 0; // guarded by mutex_
  // Last, so that they are joined before what their jobs use goes away.
  WorkQueue readers_{kReaders};
  WorkQueue writer_{1};
};

} // namespace taskory::HttpServer
