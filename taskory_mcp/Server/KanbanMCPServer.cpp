#include "Server/KanbanMCPServer.h"

#include "KanbanCore/Text.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "Server/LineIO.h"
#include "Server/Version.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace taskory::KanbanMCPServer {
namespace {

using nlohmann::json;

constexpr int kMethodNotFound = -32601;
constexpr std::string_view kDefaultProtocolVersion = "2025-06-18";
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

// Escapes every "/" of a compact JSON text. Outside strings such text holds
// no "/", and inside them "/" is never part of an escape or of a multi-byte
// UTF-8 sequence, so a plain byte substitution is exact.
std::string escapeSlashes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '/')
      out += "\\/";
    else
      out += c;
  }
  return out;
}

std::string messageLine(std::string_view id, std::string_view member,
                        const json &value) {
  std::string text = R"({"jsonrpc":"2.0","id":)";
  text += id;
  text += ",\"";
  text += member;
  text += "\":";
  text += compact(value);
  text += '}';
  return escapeSlashes(text);
}

// Builds the request object from parser events without recursion and writes
// the id's JSON text as it goes. nlohmann's own document builder would turn
// an integer beyond 64 bits into a double; the events still carry such a
// number's token, which is what the id needs.
class RequestReader final : public nlohmann::json_sax<json> {
public:
  json root;
  std::optional<std::string> id;

  bool null() override {
    idScalar("null");
    return add(json(nullptr));
  }
  bool boolean(bool value) override {
    idScalar(value ? "true" : "false");
    return add(json(value));
  }
  bool number_integer(number_integer_t value) override {
    idScalar(std::to_string(value));
    return add(json(value));
  }
  bool number_unsigned(number_unsigned_t value) override {
    idScalar(std::to_string(value));
    return add(json(value));
  }
  bool number_float(number_float_t value, const string_t &token) override {
    idScalar(token);
    return add(json(value));
  }
  bool string(string_t &value) override {
    if (capturing())
      idScalar(compact(json(value)));
    return add(json(std::move(value)));
  }
  bool binary(binary_t &) override { return false; }

  bool start_object(std::size_t) override {
    if (skipDeeper()) {
      idOpen('{');
      return true;
    }
    idOpen('{');
    if (open_.empty()) {
      root = json::object();
      open_.push_back(&root);
      return true;
    }
    json *object = add(json::object());
    if (!object)
      return false;
    open_.push_back(object);
    return true;
  }
  bool key(string_t &name) override {
    if (capturing()) {
      if (!idFirst_.back())
        idText_ += ',';
      idFirst_.back() = false;
      idText_ += compact(json(name));
      idText_ += ':';
    } else if (open_.size() == 1 && name == "id") {
      // A repeated "id" replaces the earlier one, as for every other key.
      idCapture_ = true;
      idText_.clear();
    }
    slot_ = skipped_ > 0 ? &discard_ : &(*open_.back())[name];
    return true;
  }
  bool end_object() override { return close('}'); }

  bool start_array(std::size_t) override {
    // A batch or any other non-object line gets no answer: stop reading.
    if (open_.empty())
      return false;
    if (skipDeeper()) {
      idOpen('[');
      return true;
    }
    idOpen('[');
    json *array = add(json::array());
    if (!array)
      return false;
    open_.push_back(array);
    return true;
  }
  bool end_array() override { return close(']'); }

  bool parse_error(std::size_t, const std::string &,
                   const nlohmann::detail::exception &) override {
    return false;
  }

private:
  bool capturing() const { return idCapture_; }

  // Adds a value to the innermost open container; a bare scalar at the top
  // level is refused, as no request can be one.
  json *add(json value) {
    if (open_.empty())
      return nullptr;
    if (skipped_ > 0)
      return &discard_;
    json &parent = *open_.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    *slot_ = std::move(value);
    return slot_;
  }

  void idSeparator() {
    if (!idFirst_.empty()) {
      if (idArray_.back() && !idFirst_.back())
        idText_ += ',';
      idFirst_.back() = false;
    }
  }
  void idScalar(std::string_view text) {
    if (!capturing())
      return;
    idSeparator();
    idText_ += text;
    if (idFirst_.empty())
      finishID();
  }
  void idOpen(char bracket) {
    if (!capturing())
      return;
    idSeparator();
    idText_ += bracket;
    idFirst_.push_back(true);
    idArray_.push_back(bracket == '[');
  }
  bool close(char bracket) {
    if (capturing()) {
      idText_ += bracket;
      idFirst_.pop_back();
      idArray_.pop_back();
      if (idFirst_.empty())
        finishID();
    }
    if (skipped_ > 0)
      --skipped_;
    else
      open_.pop_back();
    return true;
  }

  // Containers below kMaxNesting are read but not kept (their place holds
  // null): the request is still answered, and nothing recursive ever sees
  // the depth. The parser itself keeps its nesting on the heap.
  bool skipDeeper() {
    if (skipped_ == 0 && open_.size() < kMaxNesting)
      return false;
    ++skipped_;
    return true;
  }
  void finishID() {
    idCapture_ = false;
    id = std::move(idText_);
    idText_.clear();
  }

  std::vector<json *> open_;
  json *slot_ = nullptr;
  std::size_t skipped_ = 0; // open containers beyond kMaxNesting
  json discard_;
  bool idCapture_ = false;
  std::string idText_;
  std::vector<bool> idFirst_; // per open container of the id: nothing yet
  std::vector<bool> idArray_; // per open container of the id: an array
};

json initializeResult(const json &params) {
  const auto version = params.find("protocolVersion");
  return {
      {"protocolVersion", version != params.end() && version->is_string()
                              ? *version
                              : json(kDefaultProtocolVersion)},
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

} // namespace

std::optional<Request> parseRequest(std::string_view line) {
  // A raw NUL is never valid JSON, but nlohmann's reader takes it for the end
  // of the input and would answer a line whose rest it never read.
  if (line.find('\0') != std::string_view::npos)
    return std::nullopt;
  RequestReader reader;
  if (!json::sax_parse(line.begin(), line.end(), &reader))
    return std::nullopt;
  if (!reader.root.is_object() || !reader.id)
    return std::nullopt;
  auto method = reader.root.find("method");
  if (method == reader.root.end() || !method->is_string())
    return std::nullopt;
  Request request;
  request.method = std::move(method->get_ref<std::string &>());
  request.id = std::move(*reader.id);
  auto params = reader.root.find("params");
  request.params = params != reader.root.end() && params->is_object()
                       ? std::move(*params)
                       : json::object();
  return request;
}

json toolCallResult(std::string_view name, const json &arguments,
                    const ToolRunner &runTool) {
  // The one place where a failure becomes an answer, so that every request
  // gets exactly one.
  try {
    return textResult(runTool(name, arguments), false);
  } catch (const ToolError &error) {
    return textResult("Fehler: " + error.message, true);
  } catch (const std::exception &error) {
    return textResult(std::string("Fehler: ") + error.what(), true);
  } catch (...) {
    return textResult("Fehler: Unbekannter Fehler beim Ausführen des Tools",
                      true);
  }
}

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
  if (line.empty())
    return std::nullopt;
  const std::string utf8 = text::sanitizedUTF8(line);
  auto request = parseRequest(utf8);
  if (!request)
    return std::nullopt;
  const std::string &method = request->method;
  const json &params = request->params;
  if (method == "initialize")
    return respond(request->id, initializeResult(params));
  if (method == "ping")
    return respond(request->id, json::object());
  if (method == "tools/list")
    return respond(request->id, json{{"tools", KanbanTools::specs()}});
  if (method == "tools/call") {
    const auto name = params.find("name");
    const auto arguments = params.find("arguments");
    return respond(
        request->id,
        toolCallResult(
            name != params.end() && name->is_string()
                ? std::string_view(name->get_ref<const std::string &>())
                : std::string_view(),
            arguments != params.end() && arguments->is_object()
                ? *arguments
                : json::object(),
            runTool));
  }
  return respondError(request->id, kMethodNotFound,
                      "Unbekannte Methode: " + method);
}

int serve(int in, int out, const ToolRunner &runTool) {
  LineReader reader(in);
  std::string line;
  for (;;) {
    try {
      if (!reader.next(line))
        break;
    } catch (const std::bad_alloc &) {
      // A line too large to hold in memory cannot be answered; drop it and
      // go on with the next one.
      line.clear();
      line.shrink_to_fit();
      reader.skipRestOfLine();
      continue;
    }
    std::optional<std::string> answer;
    try {
      answer = handleLine(line, runTool);
    } catch (const std::bad_alloc &) {
      // Likewise for a line whose request does not fit into memory.
    }
    if (!answer)
      continue;
    // Line and line feed leave in one write, so a reader never sees half an
    // answer followed by another process's output or a missing terminator.
    *answer += '\n';
    if (const int error = writeAll(out, *answer); error != 0) {
      if (error == EPIPE)
        return 0;
      log(std::string("Antwort konnte nicht geschrieben werden: ") +
          std::strerror(error));
      return kOutputFailed;
    }
  }
  return 0;
}

void log(std::string_view message) {
  std::string text(message);
  text += '\n';
  writeAll(STDERR_FILENO, text);
}

} // namespace taskory::KanbanMCPServer
