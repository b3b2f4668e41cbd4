#pragma once

#include "Server/JsonRpcReader.h"

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

// Handles one input line (any bytes; the line feed removed) and returns the
// answer line without its line feed, or nothing when the line is no request
// and so gets no answer. Never throws for any input except std::bad_alloc.
std::optional<std::string> handleLine(std::string_view line,
                                      const ToolRunner &runTool);

// The answer to a request read by readMessage, as handleLine gives it: one
// line of compact JSON without its line feed. Throws only std::bad_alloc.
std::string answer(const Request &request, const ToolRunner &runTool);

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
