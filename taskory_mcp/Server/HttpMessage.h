#pragma once

#include <string_view>

// What a POSTed body is, so that the transport answers requests and only
// acknowledges the rest. Pure; safe from any thread.
namespace taskory::HttpServer {

enum class MessageKind {
  request,      // an object with a string "method" and an "id": answered
  notification, // a string "method" and no "id"
  response,     // no "method", an "id" and a "result" or "error"
  invalid,      // JSON, but none of the above (a batch included)
  notJSON,
};

// Reads `body` the way the stdio loop reads a line (its invalid UTF-8
// already replaced). Builds no document: only the members that tell the
// kinds apart are looked at, so a large body costs no second copy.
MessageKind classify(std::string_view body);

} // namespace taskory::HttpServer
