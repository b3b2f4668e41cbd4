#pragma once

#include "Http/Message.h"

#include <cstddef>
#include <string>

// The largest request body the server reads, held wherever a body can
// arrive: a Content-Length announcing more is refused from the head, before
// any of the body is read (or a client waiting for "100 Continue" sends
// it), and a chunked body, which announces nothing, is cut off as it grows.
// Pure functions; safe from any thread.
namespace taskory::HttpServer {

inline constexpr std::size_t kMaxBodyBytes = std::size_t(64) << 20;

// True when a Content-Length header announces more than kMaxBodyBytes;
// false for a value that is no length at all, which the reader refuses.
bool announcesTooLarge(const HttpRequest &request);

// The German text of the 413 refusal.
std::string tooLargeMessage();

} // namespace taskory::HttpServer
