#pragma once

#include "Http/Options.h"

#include <httplib.h>

#include <string>

// Which requests may reach the MCP endpoint, decided from the request's head
// alone: a refusal then costs neither reading the body nor, for a client
// that waits for "100 Continue", sending it. Constant after construction;
// safe from any thread.
namespace taskory::HttpServer {

// GET or HEAD of the board page or its change counter: the requests that
// pass the screen after the Host and Origin checks alone.
bool isBoardRequest(const httplib::Request &request);

class Screen {
public:
  // `token` is the one every request must carry, unless options.noAuth.
  Screen(Options options, std::string token);

  // Sets the refusal as `response` and returns true for a request that must
  // not reach the endpoint or the board. Who is asking is checked first
  // (Host, Origin, then the token, except for a board request), so a caller
  // without the right to ask learns nothing of the endpoint; then the path,
  // method, announced length, protocol version and media type.
  bool refuses(const httplib::Request &request,
               httplib::Response &response) const;

private:
  const Options options_;
  const std::string token_;
  const bool loopbackBind_;
};

} // namespace taskory::HttpServer
