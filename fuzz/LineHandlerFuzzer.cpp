// Feeds arbitrary bytes to the line handler, as the loop would after
// splitting its input at line feeds. The tool runner is a stand-in that
// answers with its input or throws, so that both sides of the tools/call
// envelope are exercised without a store.
//
// A checker of its own, written straight from the JSON grammar of RFC 8259
// and sharing no code with the server's reader, decides which lines are
// requests: a JSON object with an "id" member whose last "method" member is
// a string. Each of those must get exactly one answer and every other line
// none.

#include "KanbanTools/ToolError.h"
#include "Protocol/Answer.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using nlohmann::json;

std::string stubTool(std::string_view name, const json &arguments) {
  if (name.size() % 3 == 1)
    throw taskory::ToolError{std::string(name)};
  if (name.size() % 3 == 2)
    throw std::runtime_error(std::string(name));
  // Hand the raw bytes back so that invalid UTF-8 in a tool text reaches the
  // writer as well.
  return std::string(name) +
         arguments.dump(-1, ' ', false, json::error_handler_t::replace);
}

void check(bool condition) {
  if (!condition)
    std::abort();
}

// What the grammar check found out about a line.
struct Shape {
  bool json = false;           // one JSON text, top level an object
  bool hasID = false;          // a top-level "id" member
  bool methodIsString = false; // the last top-level "method" is a string
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// RFC 8259 as a push-down automaton. Bytes above ASCII count as characters
// inside strings: the server reads ill-formed UTF-8 as U+FFFD.
Shape shapeOf(std::string_view s) {
  Shape shape;
  std::size_t i = s.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  enum Expect { value, key, colon, next } expect = value;
  std::vector<char> stack; // '{' or '['
  std::u32string lastKey;  // decoded, of the top-level object
  auto ws = [&] {
    while (i < s.size() &&
           (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
      ++i;
  };
  // A string at s[i] == '"'; its code units decoded into `out`.
  auto string = [&](std::u32string *out) {
    ++i;
    while (i < s.size()) {
      const auto c = static_cast<unsigned char>(s[i++]);
      if (c == '"')
        return true;
      if (c < 0x20)
        return false;
      if (c != '\\') {
        if (out)
          out->push_back(c);
        continue;
      }
      if (i >= s.size())
        return false;
      const char e = s[i++];
      if (e == 'u') {
        if (i + 4 > s.size())
          return false;
        char32_t unit = 0;
        for (int k = 0; k < 4; ++k, ++i) {
          if (!isHex(s[i]))
            return false;
          unit = unit * 16 +
                 static_cast<char32_t>(
                     isDigit(s[i]) ? s[i] - '0' : (s[i] | 0x20) - 'a' + 10);
        }
        if (out)
          out->push_back(unit);
      } else {
        // The escaped character itself: "me\thod" names a key with a tab,
        // not "method".
        constexpr std::string_view kEscapes = "\"\\/bfnrt";
        constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
        const std::size_t at = kEscapes.find(e);
        if (at == std::string_view::npos)
          return false;
        if (out)
          out->push_back(static_cast<unsigned char>(kMeanings[at]));
      }
    }
    return false;
  };
  ws();
  if (i >= s.size() || s[i] != '{')
    return shape;
  for (;;) {
    ws();
    if (i >= s.size())
      return shape;
    const char c = s[i];
    if (expect == value) {
      if (stack.size() == 1 && lastKey == U"id")
        shape.hasID = true;
      if (stack.size() == 1 && lastKey == U"method")
        shape.methodIsString = c == '"';
      if (c == '{' || c == '[') {
        stack.push_back(c);
        ++i;
        ws();
        if (i < s.size() && s[i] == (c == '{' ? '}' : ']')) {
          ++i;
          stack.pop_back();
          expect = next;
          if (stack.empty()) { // the request object itself was empty
            ws();
            shape.json = i == s.size();
            return shape;
          }
        } else {
          expect = c == '{' ? key : value;
        }
      } else if (c == '"') {
        if (!string(nullptr))
          return shape;
        expect = next;
      } else if (c == 't' || c == 'f' || c == 'n') {
        const std::string_view word = c == 't'   ? "true"
                                      : c == 'f' ? "false"
                                                 : "null";
        if (s.substr(i, word.size()) != word)
          return shape;
        i += word.size();
        expect = next;
      } else {
        // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
        if (s[i] == '-')
          ++i;
        if (i < s.size() && s[i] == '0')
          ++i;
        else if (i < s.size() && s[i] >= '1' && s[i] <= '9')
          while (i < s.size() && isDigit(s[i]))
            ++i;
        else
          return shape;
        if (i < s.size() && s[i] == '.') {
          if (++i >= s.size() || !isDigit(s[i]))
            return shape;
          while (i < s.size() && isDigit(s[i]))
            ++i;
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
          ++i;
          if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
          if (i >= s.size() || !isDigit(s[i]))
            return shape;
          while (i < s.size() && isDigit(s[i]))
            ++i;
        }
        expect = next;
      }
    } else if (expect == key) {
      std::u32string name;
      if (c != '"' || !string(&name))
        return shape;
      if (stack.size() == 1)
        lastKey = std::move(name);
      expect = colon;
    } else if (expect == colon) {
      if (c != ':')
        return shape;
      ++i;
      expect = value;
    } else if (c == ',') {
      ++i;
      expect = stack.back() == '{' ? key : value;
    } else if (c == (stack.back() == '{' ? '}' : ']')) {
      ++i;
      stack.pop_back();
      if (stack.empty()) {
        ws();
        shape.json = i == s.size();
        return shape;
      }
    } else {
      return shape;
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  // The reader never hands over a line feed; split as it would.
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos)
      end = bytes.size();
    const auto line = bytes.substr(start, end - start);
    const auto answer = taskory::Protocol::handleLine(line, stubTool);
    const Shape shape = shapeOf(line);
    check(answer.has_value() ==
          (shape.json && shape.hasID && shape.methodIsString));
    if (answer) {
      // Every answer is one line of JSON with the members a client expects,
      // and never holds a bare "/".
      check(answer->find('\n') == std::string::npos);
      check(answer->starts_with(R"({"jsonrpc":"2.0","id":)"));
      for (std::size_t slash = answer->find('/'); slash != std::string::npos;
           slash = answer->find('/', slash + 1)) {
        std::size_t backslashes = 0;
        while (backslashes < slash &&
               (*answer)[slash - backslashes - 1] == '\\')
          ++backslashes;
        check(backslashes % 2 == 1);
      }
      check(shapeOf(*answer).json);
      // An id with a lone surrogate escape is JSON that nlohmann refuses;
      // every other answer must read back with both members.
      const json parsed = json::parse(*answer, nullptr, false);
      check(parsed.is_discarded() ||
            (parsed.is_object() && parsed.contains("id") &&
             parsed.contains("result") != parsed.contains("error")));
    }
    start = end + 1;
  }
  return 0;
}
