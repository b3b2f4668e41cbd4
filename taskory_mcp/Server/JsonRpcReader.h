#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Reading one request line. Every line that is JSON as RFC 8259 defines it
// is read, also where a general-purpose parser gives up: numbers beyond
// double range, integers of any length and escapes of lone UTF-16
// surrogates are all valid JSON, and a client that sent one waits for its
// answer like for any other.
namespace taskory::KanbanMCPServer {

// Values nested deeper than this are read but not kept (they become null), so
// the request is still answered. Real requests stay a few levels deep; the
// limit keeps recursive JSON code (copies, comparisons, the writer) away from
// input built to exhaust the stack. The reader itself never recurses.
inline constexpr std::size_t kMaxNesting = 512;

// The members of a request line that the server reads.
struct Request {
  std::string method;
  // The id exactly as it must be echoed, as compact JSON text: every token
  // as sent ("-0", "1.50", "1e999", integers of any length), strings with
  // their escapes resolved except those of lone surrogates, which no UTF-8
  // text can hold and which the client must see again to match its id.
  std::string id;
  // `params` when it is an object, else an empty object. Strings are UTF-8:
  // invalid bytes and lone surrogate escapes read as U+FFFD. A number beyond
  // double range reads as an infinity of its sign, which no argument accepts.
  nlohmann::json params;
};

// Reads a line (any bytes, terminator removed). Nothing for lines that get
// no answer: not JSON, not an object, no string `method`, or no `id` (a
// notification). With duplicate keys the last one counts. Throws only
// std::bad_alloc.
std::optional<Request> parseRequest(std::string_view line);

} // namespace taskory::KanbanMCPServer
