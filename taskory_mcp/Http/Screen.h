#pragma once

#include "Http/Message.h"
#include "Http/Options.h"

#include <optional>

// Which requests may reach the MCP endpoint, decided from the request's head
// alone: a refusal then costs neither reading the body nor, for a client
// that waits for "100 Continue", sending it. Constant after construction;
// safe from any thread.
namespace taskory::HttpServer {

struct Secrets;

// GET or HEAD of the board page or its change counter: the requests that
// pass the screen after the Host and Origin checks alone.
bool isBoardRequest(const HttpRequest &request);

class Screen {
public:
  explicit Screen(Options options);

  // The refusal for a request that must not reach the endpoint or the
  // board; nothing for one that may. Who is asking is checked first (Host,
  // Origin, then the token of `secrets`, except for a board request), so a
  // caller without the right to ask learns nothing of the endpoint; then
  // the path, method, announced length, protocol version and media type.
  // `secrets` is null when no token can be read (every token is refused)
  // or with --no-auth.
  std::optional<HttpResponse> refusal(const HttpRequest &request,
                                      const Secrets *secrets) const;

private:
  const Options options_;
  const bool loopbackBind_;
};

} // namespace taskory::HttpServer
