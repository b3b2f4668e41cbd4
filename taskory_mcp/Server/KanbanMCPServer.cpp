#include "Server/KanbanMCPServer.h"

#include "Server/LineIO.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace taskory::KanbanMCPServer {

int serve(int in, int out, const ToolRunner &runTool) {
  LineReader reader(in);
  std::string_view line;
  for (;;) {
    try {
      if (!reader.next(line))
        break;
    } catch (const std::bad_alloc &) {
      // A line too large to hold in memory cannot be answered; drop it and
      // go on with the next one.
      reader.skipRestOfLine();
      continue;
    }
    std::optional<std::string> answer;
    try {
      answer = Protocol::handleLine(line, runTool);
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
