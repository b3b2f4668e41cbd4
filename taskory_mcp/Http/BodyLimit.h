#pragma once

#include <httplib.h>

#include <cstddef>
#include <string>

// The largest request body the server reads, held wherever a body can
// arrive: a Content-Length announcing more is refused from the head, before
// any of the body is read (or a client waiting for "100 Continue" sends
// it), and a chunked or compressed body, which announces nothing, is cut off
// as it grows; the library would gather such a body without limit. Pure
// functions; safe from any thread.
namespace taskory::HttpServer {

inline constexpr std::size_t kMaxBodyBytes = std::size_t(64) << 20;

// True when a Content-Length header announces more than kMaxBodyBytes;
// false for a value that is no length at all, which the library refuses.
bool announcesTooLarge(const httplib::Request &request);

enum class BodyRead { complete, tooLarge, incomplete };

// Appends the request's body to `body`, stopping as soon as it would grow
// past kMaxBodyBytes (tooLarge) or the client stops sending (incomplete).
BodyRead readBody(const httplib::ContentReader &read, std::string &body);

// The German text of the 413 refusal.
std::string tooLargeMessage();

} // namespace taskory::HttpServer
