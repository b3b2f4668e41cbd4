// Feeds arbitrary bytes to the line handler, as the loop would after
// splitting its input at line feeds. The tool runner is a stand-in that
// answers with its input or throws, so that both sides of the tools/call
// envelope are exercised without a store.

#include "KanbanTools/ToolError.h"
#include "Server/KanbanMCPServer.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

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
    const auto answer = taskory::KanbanMCPServer::handleLine(line, stubTool);
    if (answer) {
      // Every answer is one line of valid JSON with the members a client
      // expects, and never holds a bare "/".
      check(answer->find('\n') == std::string::npos);
      for (std::size_t slash = answer->find('/'); slash != std::string::npos;
           slash = answer->find('/', slash + 1)) {
        std::size_t backslashes = 0;
        while (backslashes < slash &&
               (*answer)[slash - backslashes - 1] == '\\')
          ++backslashes;
        check(backslashes % 2 == 1);
      }
      const json parsed = json::parse(*answer, nullptr, false);
      check(parsed.is_object() && parsed.contains("id") &&
            parsed.value("jsonrpc", "") == "2.0" &&
            (parsed.contains("result") != parsed.contains("error")));
    }
    start = end + 1;
  }
  return 0;
}
