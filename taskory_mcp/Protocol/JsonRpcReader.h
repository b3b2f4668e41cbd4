#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

// Reading one JSON-RPC message. Every message that is JSON as RFC 8259
// defines it is read, also where a general-purpose parser gives up: numbers
// beyond double range, integers of any length and escapes of lone UTF-16
// surrogates are all valid JSON, and a client that sent one waits for its
// answer like for any other.
namespace taskory::Protocol {

// Values nested deeper than this are read but not kept (they become null), so
// the request is still answered. Real requests stay a few levels deep; the
// limit keeps recursive JSON code (copies, comparisons, the writer) away from
// input built to exhaust the stack. The reader itself never recurses.
inline constexpr std::size_t kMaxNesting = 512;

// What a message is, which decides how a transport answers it.
enum class MessageKind {
  request,      // an object with an `id` and a string `method`: answered
  notification, // a string `method` and no `id`
  response,     // no `method`, an `id` and a `result` or `error`
  invalid,      // JSON, but none of the above (a batch included)
  notJSON,
};

// The members of a request that the server reads.
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

struct Message {
  MessageKind kind = MessageKind::notJSON;
  // Filled for a request only.
  Request request;
};

// Empties `value` from its leaves up, so that nothing in its teardown needs
// memory: the JSON library's own destructor first reserves room in
// proportion to a container's size, which a message that used up the memory
// (20 million empty objects, say) leaves none of, and a destructor that
// cannot allocate ends the process. Never throws.
void release(nlohmann::json &value) noexcept;

// Releases the value when it goes out of scope, also while an exception
// unwinds past it.
class Releasing {
public:
  explicit Releasing(nlohmann::json &value) : value_(value) {}
  ~Releasing() { release(value_); }
  Releasing(const Releasing &) = delete;
  Releasing &operator=(const Releasing &) = delete;

private:
  nlohmann::json &value_;
};

// Reads one message, a stdio line (terminator removed) or an HTTP body: any
// bytes. Both transports read every message with this one function, so a
// message is of the same kind, and a request answered alike, over both.
// With duplicate keys the last one counts. Throws only std::bad_alloc.
Message readMessage(std::string_view text);

} // namespace taskory::Protocol
