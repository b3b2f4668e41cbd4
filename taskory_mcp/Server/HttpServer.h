#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The server over MCP's Streamable HTTP transport: every POST to /mcp carries
// one JSON-RPC message and a request gets its answer as the body, the same
// bytes the stdio loop writes. No sessions and no server-sent streams: every
// request stands alone, so any worker can serve it.
namespace taskory::HttpServer {

// Largest request body read; a larger one is refused with 413 before it is
// read.
inline constexpr std::size_t kMaxBodyBytes = std::size_t(64) << 20;

struct Options {
  // A literal address or "localhost" (read as 127.0.0.1, so the address
  // printed and the one bound agree); IPv6 without brackets.
  std::string host = "127.0.0.1";
  // 0 picks a free port, which the start-up message then names.
  int port = 0;
  bool noAuth = false;
  std::vector<std::string> allowedOrigins;
};

// Reads the command line after the program name: `--http [HOST:]PORT`,
// `--no-auth`, `--allow-origin ORIGIN` (repeatable), in any order. Returns
// the German description of the first problem instead, --no-auth on an
// address other than loopback among them.
std::variant<Options, std::string>
parseOptions(const std::vector<std::string_view> &arguments);

// What a POSTed body is, read the way the stdio loop reads a line (its
// invalid UTF-8 already replaced).
enum class MessageKind {
  request,      // an object with a string "method" and an "id": answered
  notification, // a string "method" and no "id"
  response,     // no "method", an "id" and a "result" or "error"
  invalid,      // JSON, but none of the above (a batch included)
  notJSON,
};
MessageKind classify(std::string_view body);

// The process in HTTP mode (`arguments` as for parseOptions): opens the
// store, serves until SIGINT or SIGTERM, then finishes the requests in
// flight, closes the store and returns 0. Returns 2 for a bad command line
// and 1 when the store, the token or the port cannot be had.
int main(const std::vector<std::string_view> &arguments);

} // namespace taskory::HttpServer
