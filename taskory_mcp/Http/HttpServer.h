#pragma once

#include <string_view>
#include <vector>

// The server over MCP's Streamable HTTP transport: every POST to /mcp carries
// one JSON-RPC message and a request gets its answer as the body, the same
// bytes the stdio loop writes. No sessions and no server-sent streams: every
// request stands alone, so any worker can serve it.
namespace taskory::HttpServer {

// The process in HTTP mode (`arguments` as for parseOptions): opens the
// store, serves until SIGINT or SIGTERM, then finishes the requests in
// flight, closes the store and returns 0. Returns 2 for a bad command line
// and 1 when the store, the token or the port cannot be had.
int main(const std::vector<std::string_view> &arguments);

} // namespace taskory::HttpServer
