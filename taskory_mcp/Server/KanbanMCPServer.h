#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The stdio JSON-RPC server: one request per input line, one answer per
// request that carries an id, in the order the requests came. Everything
// runs on the calling thread.
namespace taskory::KanbanMCPServer {

// Runs one tools/call: returns the tool's text or throws. The loop turns a
// throw of any kind into an isError result, so a runner never has to catch.
using ToolRunner = std::function<std::string(std::string_view name,
                                             const nlohmann::json &arguments)>;

// Values nested deeper than this are read but not kept (they become null), so
// the request is still answered. Real requests stay a few levels deep; the
// limit keeps recursive JSON code (copies, comparisons, the writer) away from
// input built to exhaust the stack.
inline constexpr std::size_t kMaxNesting = 512;

// The members of a request line that the server reads.
struct Request {
  std::string method;
  // The id exactly as it must be echoed, as compact JSON text. Numbers keep
  // their own token ("1.50", "123456789012345678901234567890"), so integers
  // beyond 64 bits and fractions come back unchanged.
  std::string id;
  // `params` when it is an object, else an empty object.
  nlohmann::json params;
};

// Reads a line (valid UTF-8, terminator removed). Nothing for lines that get
// no answer: not JSON, not an object, no
// string `method`, or no `id` (a notification). With duplicate keys the last
// one counts.
std::optional<Request> parseRequest(std::string_view line);

// Handles one input line (any bytes; the line feed removed) and returns the
// answer line without its line feed, or nothing when the line gets no answer.
// Never throws for any input except std::bad_alloc.
std::optional<std::string> handleLine(std::string_view line,
                                      const ToolRunner &runTool);

// The wire text of a success and of an error answer: compact JSON on one
// line, UTF-8 unescaped, "/" escaped as "\/", invalid UTF-8 written as U+FFFD.
// `id` is JSON text as in Request::id.
std::string respond(std::string_view id, const nlohmann::json &result);
std::string respondError(std::string_view id, int code,
                         std::string_view message);

// The tools/call result object for the tool run by `runTool`.
nlohmann::json toolCallResult(std::string_view name,
                              const nlohmann::json &arguments,
                              const ToolRunner &runTool);

// Exit status of serve() when standard output failed for another reason
// than a gone reader.
inline constexpr int kOutputFailed = 2;

// The request loop: reads `in` to its end and writes each answer to `out`
// followed by a line feed, in one write. Returns the process exit status: 0
// at end of input and also when the reader of `out` has gone (EPIPE: the
// client ended the session), kOutputFailed after logging any other failure
// of `out`. The caller must ignore SIGPIPE.
int serve(int in, int out, const ToolRunner &runTool);

// Writes `message` and a line feed to standard error in one write; no prefix.
void log(std::string_view message);

} // namespace taskory::KanbanMCPServer
