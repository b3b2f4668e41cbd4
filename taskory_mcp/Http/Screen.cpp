#include "Http/Screen.h"

#include "Http/BoardEdits.h"
#include "Http/BodyLimit.h"
#include "Http/HttpAccess.h"
#include "Http/Refusal.h"
#include "Http/TokenFile.h"
#include "KanbanCore/Text.h"

#include <string_view>
#include <utility>

namespace taskory::HttpServer {
namespace {

bool isJSONMediaType(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
    type.remove_suffix(1);
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
    type.remove_prefix(1);
  return text::asciiLowercased(type) == "application/json";
}

} // namespace

bool isBoardRequest(const HttpRequest &request) {
  return (request.method == "GET" || request.method == "HEAD") &&
         (request.path == "/" || request.path == "/changes" ||
          request.path.starts_with("/card/"));
}

Screen::Screen(Options options)
    : options_(std::move(options)),
      loopbackBind_(HttpAccess::isLoopbackAddress(options_.host)) {}

std::optional<HttpResponse> Screen::refusal(const HttpRequest &request,
                                            const Secrets *secrets) const {
  // DNS rebinding: a page whose name now points at 127.0.0.1 still sends
  // its own name as Host and its own origin.
  if (loopbackBind_ &&
      !HttpAccess::isLoopbackHostHeader(request.header("Host"), options_.host))
    return HttpServer::refusal(403, kTransportError, "Host nicht erlaubt");
  if (request.hasHeader("Origin") &&
      !HttpAccess::isAcceptedOrigin(request.header("Origin"),
                                    options_.allowedOrigins))
    return HttpServer::refusal(403, kTransportError, "Origin nicht erlaubt");
  // The board's pages and changes check their own lock, which also takes a
  // cookie and answers a browser with a page instead of JSON.
  if (isBoardRequest(request) || BoardEdits::isChangePath(request.path))
    return std::nullopt;
  if (!options_.noAuth &&
      !(secrets && HttpAccess::carriesToken(request.header("Authorization"),
                                            secrets->token))) {
    HttpResponse response = HttpServer::refusal(
        401, kTransportError, "Anmeldung nötig: Authorization: Bearer <Token>");
    response.set("WWW-Authenticate", "Bearer");
    return response;
  }
  if (request.path != "/mcp")
    return HttpServer::refusal(404, kTransportError, "Nicht gefunden");
  if (request.method != "POST") {
    // The server offers no stream of its own (GET) and keeps no sessions
    // that a DELETE could end.
    HttpResponse response =
        HttpServer::refusal(405, kTransportError, "Methode nicht erlaubt");
    response.set("Allow", "POST");
    return response;
  }
  if (announcesTooLarge(request))
    return HttpServer::refusal(413, kTransportError, tooLargeMessage());
  // No MCP-Protocol-Version is refused: initialize agrees to whatever
  // version a client names (Protocol/ProtocolVersion.h), and refusing it
  // here would lock out the very client it agreed with.
  if (!isJSONMediaType(request.header("Content-Type")))
    return HttpServer::refusal(415, kTransportError,
                               "Content-Type muss application/json sein");
  return std::nullopt;
}

} // namespace taskory::HttpServer
