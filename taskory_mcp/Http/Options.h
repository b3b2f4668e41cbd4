#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The command line of the HTTP mode. Read once at start-up; pure functions.
namespace taskory::HttpServer {

struct Options {
  // A literal address or "localhost" (read as 127.0.0.1, so the address
  // printed and the one bound agree); IPv6 without brackets.
  std::string host = "127.0.0.1";
  // 0 picks a free port, which the start-up message then names.
  int port = 0;
  bool noAuth = false;
  std::vector<std::string> allowedOrigins;
};

// Logged after the problem with a command line.
inline constexpr std::string_view kUsage =
    "Aufruf: taskory_mcp --http [HOST:]PORT [--no-auth] [--allow-origin "
    "ORIGIN]…";

// Reads the command line after the program name: `--http [HOST:]PORT`,
// `--no-auth`, `--allow-origin ORIGIN` (repeatable), in any order. Returns
// the German description of the first problem instead, --no-auth on an
// address other than loopback among them.
std::variant<Options, std::string>
parseOptions(const std::vector<std::string_view> &arguments);

} // namespace taskory::HttpServer
