#include "Protocol/JsonRpcReader.h"

#include "KanbanCore/Text.h"
#include "Protocol/JsonTokens.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace taskory::Protocol {
namespace {

using nlohmann::json;
using tokens::DiscardText;
using tokens::EchoText;
using tokens::numberValue;
using tokens::ValueText;

// One pass over the text without recursion. Only the members the server
// uses are built: `method` and `params` as JSON values, `id` as the text to
// echo; every other member is checked and dropped, `result` and `error`
// noted as present.
class Reader {
public:
  explicit Reader(std::string_view text) : text_(text) {}

  Message message() {
    // A byte order mark may open a JSON text; readers may ignore it.
    if (text_.starts_with("\xEF\xBB\xBF"))
      pos_ = 3;
    space();
    if (!more() || peek() != '{') {
      // Any other JSON value is still JSON, only no message.
      if (!value(nullptr, nullptr))
        return {};
      space();
      return {more() ? MessageKind::notJSON : MessageKind::invalid, {}};
    }
    ++pos_;
    std::optional<std::string> id;
    json method, params;
    const Releasing releasingMethod(method), releasingParams(params);
    bool hasMethod = false, hasOutcome = false;
    space();
    if (!take('}')) {
      for (;;) {
        space();
        ValueText key;
        if (!string(key))
          return {};
        space();
        if (!take(':'))
          return {};
        bool ok;
        if (key.text == "id") {
          std::string echo;
          ok = value(nullptr, &echo);
          id = std::move(echo);
        } else if (key.text == "method") {
          hasMethod = true;
          ok = value(&method, nullptr);
        } else if (key.text == "params") {
          ok = value(&params, nullptr);
        } else {
          hasOutcome |= key.text == "result" || key.text == "error";
          ok = value(nullptr, nullptr);
        }
        if (!ok)
          return {};
        space();
        if (take(','))
          continue;
        if (take('}'))
          break;
        return {};
      }
    }
    space();
    if (pos_ != text_.size())
      return {};
    if (!hasMethod)
      return {id && hasOutcome ? MessageKind::response : MessageKind::invalid,
              {}};
    if (!method.is_string())
      return {MessageKind::invalid, {}};
    if (!id)
      return {MessageKind::notification, {}};
    Message message{MessageKind::request, {}};
    Request &request = message.request;
    request.method = std::move(method.get_ref<std::string &>());
    request.id = std::move(*id);
    if (!text::isValidUTF8(request.id))
      request.id = text::sanitizedUTF8(request.id);
    request.params = params.is_object() ? std::move(params) : json::object();
    return message;
  }

private:
  struct Open {
    json *node; // the container being built; null when it is not kept
    bool array;
    std::string key; // of an object's member whose value comes next
  };

  bool more() const { return pos_ < text_.size(); }
  char peek() const { return text_[pos_]; }
  bool take(char c) {
    if (more() && peek() == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void space() {
    while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' ||
                      peek() == '\r'))
      ++pos_;
  }

  // One member value into `out` (when building), into `echo` (the id), or
  // only checked (both null).
  bool value(json *out, std::string *echo) {
    std::vector<Open> open;
    const bool build = out != nullptr;
    for (;;) {
      space();
      if (!more())
        return false;
      const bool keep = build && (open.empty() || open.back().node);
      const char c = peek();
      if (c == '{' || c == '[') {
        ++pos_;
        if (echo)
          *echo += c;
        const bool array = c == '[';
        json *node = nullptr;
        // Depth counts the request object itself.
        if (keep && open.size() + 2 <= kMaxNesting)
          node = put(open, out, array ? json::array() : json::object());
        else if (keep)
          put(open, out, json());
        open.push_back({node, array, {}});
        space();
        if (!take(array ? ']' : '}')) {
          if (!array && !key(open.back(), echo))
            return false;
          continue;
        }
        if (echo)
          *echo += array ? ']' : '}';
        open.pop_back();
      } else if (!scalar(open, keep ? out : nullptr, echo)) {
        return false;
      }
      // After a value: close what ends here, then the next element or
      // member, or the end.
      for (;;) {
        if (open.empty())
          return true;
        space();
        Open &top = open.back();
        if (take(',')) {
          if (echo)
            *echo += ',';
          if (!top.array && !key(top, echo))
            return false;
          break;
        }
        if (!take(top.array ? ']' : '}'))
          return false;
        if (echo)
          *echo += top.array ? ']' : '}';
        open.pop_back();
      }
    }
  }

  // Stores a value at the place the innermost open container offers, or in
  // `out` at the top; returns where it went.
  static json *put(std::vector<Open> &open, json *out, json value) {
    if (open.empty()) {
      *out = std::move(value);
      return out;
    }
    Open &top = open.back();
    if (top.array) {
      top.node->push_back(std::move(value));
      return &top.node->back();
    }
    json &slot = (*top.node)[std::move(top.key)];
    top.key.clear();
    slot = std::move(value);
    return &slot;
  }

  bool key(Open &object, std::string *echo) {
    space();
    if (!more() || peek() != '"')
      return false;
    if (echo) {
      *echo += '"';
      EchoText text{*echo};
      if (!string(text))
        return false;
      *echo += "\":";
    } else if (object.node) {
      ValueText text;
      if (!string(text))
        return false;
      object.key = std::move(text.text);
    } else {
      DiscardText text;
      if (!string(text))
        return false;
    }
    space();
    return take(':');
  }

  bool scalar(std::vector<Open> &open, json *out, std::string *echo) {
    const char c = peek();
    if (c == '"') {
      if (echo) {
        *echo += '"';
        EchoText text{*echo};
        if (!string(text))
          return false;
        *echo += '"';
      } else if (out) {
        ValueText text;
        if (!string(text))
          return false;
        put(open, out, json(std::move(text.text)));
      } else {
        DiscardText text;
        return string(text);
      }
      return true;
    }
    std::string_view word;
    json literal;
    if (c == 't') {
      word = "true";
      literal = true;
    } else if (c == 'f') {
      word = "false";
      literal = false;
    } else if (c == 'n') {
      word = "null";
    } else {
      return number(open, out, echo);
    }
    if (!text_.substr(pos_).starts_with(word))
      return false;
    pos_ += word.size();
    if (echo)
      *echo += word;
    if (out)
      put(open, out, std::move(literal));
    return true;
  }

  bool digits() {
    const std::size_t start = pos_;
    while (more() && peek() >= '0' && peek() <= '9')
      ++pos_;
    return pos_ > start;
  }

  bool number(std::vector<Open> &open, json *out, std::string *echo) {
    const std::size_t start = pos_;
    take('-');
    if (take('0')) {
      // no leading zeros
    } else if (!more() || peek() < '1' || peek() > '9' || !digits()) {
      return false;
    }
    bool integral = true;
    if (take('.')) {
      integral = false;
      if (!digits())
        return false;
    }
    if (take('e') || take('E')) {
      integral = false;
      if (!take('+'))
        take('-');
      if (!digits())
        return false;
    }
    const std::string_view token = text_.substr(start, pos_ - start);
    if (echo)
      *echo += token;
    if (out)
      put(open, out, numberValue(token, integral));
    return true;
  }

  bool hex4(uint32_t &unit) {
    if (text_.size() - pos_ < 4)
      return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      unit <<= 4;
      if (c >= '0' && c <= '9')
        unit |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        unit |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        unit |= static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }

  // Finds the closing quote of the string whose content starts at `from`,
  // for reserving its room once instead of growing it piece by piece.
  std::size_t contentLength(std::size_t from) const {
    for (std::size_t i = from; i < text_.size(); ++i) {
      if (text_[i] == '\\')
        ++i;
      else if (text_[i] == '"')
        return i - from;
    }
    return 0;
  }

  template <class Sink> bool string(Sink &sink) {
    if (!take('"'))
      return false;
    bool aboveASCII = false;
    bool reserved = false;
    for (;;) {
      const std::size_t run = pos_;
      while (more()) {
        const auto byte = static_cast<unsigned char>(peek());
        if (byte == '"' || byte == '\\' || byte < 0x20)
          break;
        aboveASCII |= byte >= 0x80;
        ++pos_;
      }
      if (!reserved && more() && peek() == '\\') {
        sink.reserve(contentLength(run));
        reserved = true;
      }
      sink.raw(text_.substr(run, pos_ - run));
      if (!more())
        return false;
      const char c = text_[pos_++];
      if (c == '"') {
        sink.finish(aboveASCII);
        return true;
      }
      if (c != '\\' || !more())
        return false; // a raw control character, or the line ends
      switch (text_[pos_++]) {
      case '"':
        sink.point('"');
        break;
      case '\\':
        sink.point('\\');
        break;
      case '/':
        sink.point('/');
        break;
      case 'b':
        sink.point('\b');
        break;
      case 'f':
        sink.point('\f');
        break;
      case 'n':
        sink.point('\n');
        break;
      case 'r':
        sink.point('\r');
        break;
      case 't':
        sink.point('\t');
        break;
      case 'u': {
        uint32_t unit = 0;
        if (!hex4(unit))
          return false;
        if (unit >= 0xD800 && unit <= 0xDBFF &&
            text_.substr(pos_).starts_with("\\u")) {
          const std::size_t next = pos_;
          pos_ += 2;
          uint32_t low = 0;
          if (!hex4(low))
            return false;
          if (low >= 0xDC00 && low <= 0xDFFF) {
            sink.point(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            break;
          }
          pos_ = next; // the next escape stands on its own
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
          sink.loneSurrogate(unit);
        else
          sink.point(unit);
        break;
      }
      default:
        return false;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

} // namespace

void release(json &value) noexcept {
  // Depth is bounded by kMaxNesting: deeper values are never kept.
  if (value.is_array()) {
    while (!value.empty()) {
      release(value.back());
      value.erase(value.size() - 1);
    }
  } else if (value.is_object()) {
    while (!value.empty()) {
      const auto last = value.begin();
      release(last.value());
      value.erase(last);
    }
  }
}

Message readMessage(std::string_view text) { return Reader(text).message(); }

} // namespace taskory::Protocol
