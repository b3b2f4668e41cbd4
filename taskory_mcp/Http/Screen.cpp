#include "Http/Screen.h"

#include "Http/BodyLimit.h"
#include "Http/HttpAccess.h"
#include "Http/Refusal.h"
#include "KanbanCore/Text.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

namespace taskory::HttpServer {
namespace {

// Revisions whose HTTP transport this server speaks. 2025-03-26 clients send
// no version header, but a client that negotiated it may still name it.
constexpr std::string_view kProtocolVersions[] = {"2025-03-26", "2025-06-18",
                                                  "2025-11-25"};

bool isJSONMediaType(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
    type.remove_suffix(1);
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
    type.remove_prefix(1);
  return text::asciiLowercased(type) == "application/json";
}

bool isSupportedVersion(std::string_view version) {
  return std::find(std::begin(kProtocolVersions), std::end(kProtocolVersions),
                   version) != std::end(kProtocolVersions);
}

} // namespace

bool isBoardRequest(const httplib::Request &request) {
  return (request.method == "GET" || request.method == "HEAD") &&
         (request.path == "/" || request.path == "/changes");
}

Screen::Screen(Options options, std::string token)
    : options_(std::move(options)), token_(std::move(token)),
      loopbackBind_(HttpAccess::isLoopbackAddress(options_.host)) {}

bool Screen::refuses(const httplib::Request &request,
                     httplib::Response &response) const {
  // DNS rebinding: a page whose name now points at 127.0.0.1 still sends
  // its own name as Host and its own origin.
  if (loopbackBind_ && !HttpAccess::isLoopbackHostHeader(
                           request.get_header_value("Host"), options_.host)) {
    refuse(response, 403, kTransportError, "Host nicht erlaubt");
    return true;
  }
  if (request.has_header("Origin") &&
      !HttpAccess::isAcceptedOrigin(request.get_header_value("Origin"),
                                    options_.allowedOrigins)) {
    refuse(response, 403, kTransportError, "Origin nicht erlaubt");
    return true;
  }
  // The board's pages check their own lock, which also takes a cookie and
  // answers a browser with a page instead of JSON.
  if (isBoardRequest(request))
    return false;
  if (!options_.noAuth &&
      !HttpAccess::carriesToken(request.get_header_value("Authorization"),
                                token_)) {
    refuse(response, 401, kTransportError,
           "Anmeldung nötig: Authorization: Bearer <Token>");
    response.set_header("WWW-Authenticate", "Bearer");
    return true;
  }
  if (request.path != "/mcp") {
    refuse(response, 404, kTransportError, "Nicht gefunden");
    return true;
  }
  if (request.method != "POST") {
    // The server offers no stream of its own (GET) and keeps no sessions
    // that a DELETE could end.
    refuse(response, 405, kTransportError, "Methode nicht erlaubt");
    response.set_header("Allow", "POST");
    return true;
  }
  if (announcesTooLarge(request)) {
    refuse(response, 413, kTransportError, tooLargeMessage());
    return true;
  }
  if (request.has_header("MCP-Protocol-Version") &&
      !isSupportedVersion(request.get_header_value("MCP-Protocol-Version"))) {
    refuse(response, 400, kTransportError,
           "Nicht unterstützte MCP-Protocol-Version");
    return true;
  }
  if (!isJSONMediaType(request.get_header_value("Content-Type"))) {
    refuse(response, 415, kTransportError,
           "Content-Type muss application/json sein");
    return true;
  }
  return false;
}

} // namespace taskory::HttpServer
