#include "Protocol/Answer.h"

#include "KanbanCore/Text.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "Protocol/ProtocolVersion.h"
#include "Server/Version.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace taskory::Protocol {
namespace {

using nlohmann::json;

constexpr int kMethodNotFound = -32601;
constexpr std::string_view kInstructions =
    "Taskory: Aufgabenverwaltung des Users (Pläne → Buckets → Karten mit "
    "Checklisten). list_cards immer mit plan + bucket oder query eingrenzen; "
    "IDs auch als Kürzel (mind. 6 Zeichen). Teilschritte als Checkliste statt "
    "eigener Karten; abhaken/ergänzen per update_card (check_items, "
    "add_items). Schreib-Tools antworten knapp, Details per get_card; nie "
    "löschen oder archivieren ohne ausdrücklichen Wunsch.";

// Compact, raw UTF-8, and never failing: bytes that are not UTF-8 (a tool
// text read from a store that other programs write) become U+FFFD, because a
// reply that cannot be written would leave the client waiting for good.
std::string compact(const json &value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Appends `text` with every "/" escaped. Outside strings compact JSON text
// holds no "/", and inside them "/" is never part of an escape or of a
// multi-byte UTF-8 sequence, so a plain byte substitution is exact.
void appendEscapingSlashes(std::string &out, std::string_view text) {
  for (std::size_t start = 0;;) {
    const std::size_t slash = text.find('/', start);
    out.append(text.substr(start, slash - start));
    if (slash == std::string_view::npos)
      return;
    out += "\\/";
    start = slash + 1;
  }
}

// Written into one buffer of the final size: a list of thousands of plans
// answers in megabytes, and every extra copy adds to the peak memory.
std::string messageLine(std::string_view id, std::string_view member,
                        const json &value) {
  const std::string body = compact(value);
  const std::string head = R"({"jsonrpc":"2.0","id":)" + std::string(id) +
                           ",\"" + std::string(member) + "\":";
  std::string text;
  text.reserve(
      head.size() + body.size() +
      static_cast<std::size_t>(std::count(body.begin(), body.end(), '/')) + 16);
  appendEscapingSlashes(text, head);
  appendEscapingSlashes(text, body);
  text += '}';
  return text;
}

const json &noArguments() {
  static const json empty = json::object();
  return empty;
}

json initializeResult(const json &params) {
  return {
      {"protocolVersion", agreedVersion(params)},
      {"capabilities", {{"tools", json::object()}}},
      {"serverInfo", {{"name", "taskory"}, {"version", kVersion}}},
      {"instructions", kInstructions},
  };
}

json textResult(std::string text, bool isError) {
  json item = json::object();
  item["type"] = "text";
  item["text"] = std::move(text);
  json result = json::object();
  result["content"] = json::array({std::move(item)});
  result["isError"] = isError;
  return result;
}

struct ToolOutcome {
  std::string text;
  bool isError = false;
};

ToolOutcome runToolCall(std::string_view name, const json &arguments,
                        const ToolRunner &runTool) {
  // The one place where a failure becomes an answer, so that every request
  // gets exactly one.
  try {
    return {runTool(name, arguments), false};
  } catch (const ToolError &error) {
    return {"Fehler: " + error.message, true};
  } catch (const std::exception &error) {
    return {std::string("Fehler: ") + error.what(), true};
  } catch (...) {
    return {"Fehler: Unbekannter Fehler beim Ausführen des Tools", true};
  }
}

// Whether one of the eight bytes of `word` needs more than a copy: below
// 0x20, above 0x7F, or one of " \ /. (Exact for any word: the subtraction
// sets a byte's top bit, where it was clear, only in a byte below the bound
// or above one that is.)
bool anyByteToLookAt(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101, kTops = kOnes * 0x80;
  const auto below = [](uint64_t w, uint64_t bound) {
    return (w - kOnes * bound) & ~w & kTops;
  };
  return ((word & kTops) | below(word, 0x20) | below(word ^ kOnes * '"', 1) |
          below(word ^ kOnes * '\\', 1) | below(word ^ kOnes * '/', 1)) != 0;
}

// Appends `text` as the inside of a JSON string, escaped byte for byte as
// compact() and messageLine() escape it: the two-character escapes, \u00xx
// for the other control characters, "\/", every other byte as it is. False
// when `text` is not UTF-8; `out` then holds a part of it.
bool appendStringBody(std::string &out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  // The bytes copied as they are: most of any text, so one look-up each.
  static constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte < 0x80; ++byte)
      plain[byte] = byte != '"' && byte != '\\' && byte != '/';
    return plain;
  }();
  std::size_t plain = 0; // the first byte not yet appended
  for (std::size_t i = 0; i < text.size();) {
    for (uint64_t word; i + 8 <= text.size(); i += 8) {
      std::memcpy(&word, text.data() + i, 8);
      if (anyByteToLookAt(word))
        break;
    }
    if (i == text.size())
      break;
    const auto byte = static_cast<unsigned char>(text[i]);
    if (kPlain[byte]) {
      ++i;
      continue;
    }
    if (byte >= 0x80) {
      const std::size_t length = text::wellFormedSequenceLength(text.substr(i));
      if (length == 0)
        return false;
      i += length;
      continue;
    }
    out.append(text.substr(plain, i - plain));
    switch (byte) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '/':
      out += "\\/";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default: {
      const char code[] = {'\\',           'u', '0', '0', kHex[byte >> 4],
                           kHex[byte & 15]};
      out.append(code, sizeof code);
    }
    }
    plain = ++i;
  }
  out.append(text.substr(plain));
  return true;
}

// The answer to a tools/call. The tool's text is the answer's bulk (an
// overview of a large board runs to megabytes), so it goes straight into the
// line instead of through a JSON value and two more copies; text that is not
// UTF-8 takes that way, which writes U+FFFD for it.
std::string toolCallAnswer(std::string_view id, const ToolOutcome &outcome) {
  std::string line;
  line.reserve(outcome.text.size() + outcome.text.size() / 16 + id.size() + 96);
  appendEscapingSlashes(line, R"({"jsonrpc":"2.0","id":)");
  appendEscapingSlashes(line, id);
  line += R"(,"result":{"content":[{"text":")";
  if (!appendStringBody(line, outcome.text))
    return messageLine(id, "result", textResult(outcome.text, outcome.isError));
  line += outcome.isError ? R"(","type":"text"}],"isError":true}})"
                          : R"(","type":"text"}],"isError":false}})";
  return line;
}

} // namespace

std::string respond(std::string_view id, const json &result) {
  return messageLine(id, "result", result);
}

std::string respondError(std::string_view id, int code,
                         std::string_view message) {
  json error = json::object();
  error["code"] = code;
  error["message"] = message;
  return messageLine(id, "error", error);
}

std::optional<std::string> handleLine(std::string_view line,
                                      const ToolRunner &runTool) {
  Message message = readMessage(line);
  const Releasing releasing(message.request.params);
  if (message.kind != MessageKind::request)
    return std::nullopt;
  return answer(message.request, runTool);
}

std::string answer(const Request &request, const ToolRunner &runTool) {
  const std::string &method = request.method;
  const json &params = request.params;
  if (method == "initialize")
    return respond(request.id, initializeResult(params));
  if (method == "ping")
    return respond(request.id, json::object());
  if (method == "tools/list")
    return respond(request.id, json{{"tools", KanbanTools::specs()}});
  if (method == "tools/call") {
    const auto name = params.find("name");
    const auto arguments = params.find("arguments");
    return toolCallAnswer(
        request.id,
        runToolCall(
            name != params.end() && name->is_string()
                ? std::string_view(name->get_ref<const std::string &>())
                : std::string_view(),
            // Both branches are lvalues, so the arguments are not copied.
            arguments != params.end() && arguments->is_object() ? *arguments
                                                                : noArguments(),
            runTool));
  }
  return respondError(request.id, kMethodNotFound,
                      "Unbekannte Methode: " + method);
}

} // namespace taskory::Protocol
