#pragma once

#include "Protocol/Answer.h"

#include <string_view>

// The stdio JSON-RPC server: one request per input line, one answer per
// request that carries an id, in the order the requests came. Everything
// runs on the calling thread.
namespace taskory::KanbanMCPServer {

using Protocol::ToolRunner;

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
