#pragma once

#include "KanbanCore/Text.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The scalar tokens of a JSON text as the message reader decodes them:
// string content into one of three receivers, number tokens into values.
// Pure; safe from any thread.
namespace taskory::Protocol::tokens {

void appendUTF8(std::string &out, uint32_t point);
// `unit` as a \uXXXX escape, in lower-case hex.
void appendEscape(std::string &out, uint32_t unit);

// Receivers of a string's content, decoded. Raw runs hold no quote,
// backslash or control character but may hold bytes that are not UTF-8;
// finish() learns whether any byte above ASCII was seen, so that only such
// strings pay for a UTF-8 check. Replacing ill-formed sequences after
// decoding gives the same text as replacing them in the line first: an
// escape's UTF-8 never starts with a continuation byte, so it cannot
// complete a sequence that raw bytes began.
struct DiscardText {
  void reserve(std::size_t) {}
  void raw(std::string_view) {}
  void point(uint32_t) {}
  void loneSurrogate(uint32_t) {}
  void finish(bool) {}
};

struct ValueText {
  std::string text;
  void reserve(std::size_t size) { text.reserve(size); }
  void raw(std::string_view run) { text.append(run); }
  void point(uint32_t value) { appendUTF8(text, value); }
  void loneSurrogate(uint32_t) { text += "\xEF\xBF\xBD"; }
  void finish(bool aboveASCII) {
    if (aboveASCII && !text::isValidUTF8(text))
      text = text::sanitizedUTF8(text);
  }
};

// The string again as compact JSON, written as the answer's writer writes
// strings (raw UTF-8; quote, backslash and control characters escaped), with
// a lone surrogate kept as its escape. Ill-formed bytes are replaced once
// the whole id has been read.
struct EchoText {
  std::string &out;
  void reserve(std::size_t) {}
  void raw(std::string_view run) { out.append(run); }
  void point(uint32_t value);
  void loneSurrogate(uint32_t unit) { appendEscape(out, unit); }
  void finish(bool) {}
};

// The value of a number token that the grammar has accepted. As nlohmann's
// own parser does, integers stay integers (unsigned when not negative) as
// long as 64 bits hold them. A token beyond double range reads as an
// infinity of its sign, one too small as a zero of its sign.
nlohmann::json numberValue(std::string_view token, bool integral);

} // namespace taskory::Protocol::tokens
