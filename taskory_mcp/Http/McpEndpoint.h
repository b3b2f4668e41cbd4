#pragma once

#include "Http/Message.h"
#include "Protocol/JsonRpcReader.h"

#include <string_view>

namespace taskory::HttpServer {

class StorePool;

// The MCP endpoint: every POST to /mcp carries one JSON-RPC message and a
// request gets its answer as the body, the same bytes the stdio loop
// writes. No sessions and no server-sent streams: every request stands
// alone, so any worker can serve it. Safe from any thread.
class McpEndpoint {
public:
  explicit McpEndpoint(StorePool &pool) : pool_(pool) {}

  // A body read exactly as the stdio loop reads a line, so that a message
  // gets the same answer over both transports; and whether answering it
  // writes the store, which decides the queue it waits in. Throws only
  // std::bad_alloc.
  struct Message {
    Protocol::Message message;
    bool writes = false;
  };
  static Message read(std::string_view body);

  // The answer to a message that read() gave. Throws only std::bad_alloc.
  HttpResponse answer(const Message &message);

private:
  StorePool &pool_;
};

} // namespace taskory::HttpServer
