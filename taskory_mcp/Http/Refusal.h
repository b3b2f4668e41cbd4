#pragma once

#include "Http/Message.h"

#include <string_view>

// How the transport refuses a request: a JSON-RPC error answer with a null
// id, as MCP's HTTP servers send, so that a client reads every refusal the
// way it reads any other error. Pure; safe from any thread.
namespace taskory::HttpServer {

inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kTransportError = -32000;
inline constexpr int kInternalError = -32603;

// The refusal as an answer that also ends the connection: the request's
// body may not have been read, and what is left of it must not be taken for
// the next request.
HttpResponse refusal(int status, int code, std::string_view message);

} // namespace taskory::HttpServer
