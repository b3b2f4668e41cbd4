#pragma once

#include <string>

namespace taskory {

// A user-facing failure of a tool: `message` is the finished German text that
// the loop shows after "Fehler: ". A plain value, thrown by the tools.
struct ToolError {
  std::string message;
};

} // namespace taskory
