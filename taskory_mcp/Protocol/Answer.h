#pragma once

#include "Protocol/JsonRpcReader.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What the server answers, the same over both transports: the methods it
// knows, the tools/call envelope, and the wire text of every answer. Pure
// apart from the tool runner it is given; safe from any thread.
namespace taskory::Protocol {

// Runs one tools/call: returns the tool's text or throws. A throw of any
// kind becomes an isError result, so a runner never has to catch.
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

} // namespace taskory::Protocol
