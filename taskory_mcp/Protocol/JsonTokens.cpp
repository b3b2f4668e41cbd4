#include "Protocol/JsonTokens.h"

#include <charconv>
#include <limits>

namespace taskory::Protocol::tokens {
namespace {

using nlohmann::json;

// Whether a number token that double cannot hold is too large (rather than
// too small): the decimal exponent of its first significant digit decides.
bool overflows(std::string_view token) {
  std::size_t i = token[0] == '-' ? 1 : 0;
  int64_t position = 0; // of the first significant digit, relative to '.'
  bool found = false, point = false;
  for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
    if (token[i] == '.') {
      point = true;
      continue;
    }
    if (!found && token[i] != '0') {
      found = true;
      if (point)
        position = -position;
    }
    if (!found && point)
      ++position; // zeros after the point
    if (found && !point)
      ++position; // digits before the point
  }
  if (!found)
    return false;
  int64_t exponent = 0;
  bool negative = false;
  if (i < token.size()) {
    ++i;
    if (token[i] == '+' || token[i] == '-')
      negative = token[i++] == '-';
    for (; i < token.size() && exponent < 1'000'000'000; ++i)
      exponent = exponent * 10 + (token[i] - '0');
  }
  return position + (negative ? -exponent : exponent) > 0;
}

} // namespace

void appendUTF8(std::string &out, uint32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

void appendEscape(std::string &out, uint32_t unit) {
  constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kHex[(unit >> shift) & 0xF];
}

void EchoText::point(uint32_t value) {
  if (value >= 0x20 && value != '"' && value != '\\') {
    appendUTF8(out, value);
    return;
  }
  // Character and escape letter, in pairs.
  constexpr std::string_view kShort = "\"\"\\\\\bb\ff\nn\rr\tt";
  for (std::size_t i = 0; i < kShort.size(); i += 2) {
    if (kShort[i] == static_cast<char>(value)) {
      out += '\\';
      out += kShort[i + 1];
      return;
    }
  }
  appendEscape(out, value);
}

json numberValue(std::string_view token, bool integral) {
  const char *begin = token.data();
  const char *end = begin + token.size();
  if (integral) {
    if (token[0] == '-') {
      int64_t value = 0;
      if (std::from_chars(begin, end, value).ec == std::errc())
        return json(value);
    } else {
      uint64_t value = 0;
      if (std::from_chars(begin, end, value).ec == std::errc())
        return json(value);
    }
  }
  double value = 0;
  if (std::from_chars(begin, end, value).ec == std::errc())
    return json(value);
  const bool negative = token[0] == '-';
  if (overflows(token))
    return json(negative ? -std::numeric_limits<double>::infinity()
                         : std::numeric_limits<double>::infinity());
  return json(negative ? -0.0 : 0.0);
}

} // namespace taskory::Protocol::tokens
