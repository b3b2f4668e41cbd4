#include "Http/McpEndpoint.h"

#include "Http/Refusal.h"
#include "Http/StorePool.h"
#include "KanbanTools/KanbanTools.h"
#include "Protocol/Answer.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace taskory::HttpServer {

McpEndpoint::Message McpEndpoint::read(std::string_view body) {
  Message read{Protocol::readMessage(body), false};
  if (read.message.kind != Protocol::MessageKind::request ||
      read.message.request.method != "tools/call")
    return read;
  const nlohmann::json &params = read.message.request.params;
  const auto name = params.find("name");
  read.writes = name != params.end() && name->is_string() &&
                !KanbanTools::onlyReads(name->get_ref<const std::string &>());
  return read;
}

HttpResponse McpEndpoint::answer(const Message &read) {
  switch (read.message.kind) {
  case Protocol::MessageKind::notJSON:
    return refusal(400, kParseError, "Ungültiges JSON");
  case Protocol::MessageKind::invalid:
    return refusal(400, kInvalidRequest, "Keine einzelne JSON-RPC-Nachricht");
  case Protocol::MessageKind::notification:
  case Protocol::MessageKind::response: {
    HttpResponse accepted;
    accepted.status = 202;
    return accepted;
  }
  case Protocol::MessageKind::request:
    break;
  }
  // The store connection is taken at the first tool call only: initialize,
  // ping and tools/list need none.
  std::optional<StorePool::Lease> lease;
  const Protocol::ToolRunner runTool =
      [this, &lease](std::string_view name, const nlohmann::json &arguments) {
        if (!lease)
          lease.emplace(pool_.acquire());
        return KanbanTools::callInOwnContext(
            lease->container(), lease->calendar(), name, arguments);
      };
  HttpResponse response;
  response.setContent(Protocol::answer(read.message.request, runTool),
                      "application/json");
  return response;
}

} // namespace taskory::HttpServer
