#include "Server/HttpLauncher.h"

#include "Server/KanbanMCPServer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace taskory::HttpLauncher {

namespace {
constexpr const char *kExecutable = "taskory_mcp_http";
}

bool requested(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--http")
      return true;
  return false;
}

int run(char **argv) {
#if !TASKORY_HAS_HTTP
  (void)argv;
  KanbanMCPServer::log("HTTP-Modus nicht verfügbar: dieser Build von "
                       "taskory_mcp wurde ohne HTTP-Modus gebaut (er braucht "
                       "libboost-dev und libssl-dev; `make servers` baut ihn).");
  return 1;
#else
  std::error_code error;
  const std::filesystem::path self =
      std::filesystem::read_symlink("/proc/self/exe", error);
  std::string path = kExecutable;
  if (!error)
    path = (self.parent_path() / kExecutable).string();
  argv[0] = const_cast<char *>(kExecutable);
  if (!error)
    ::execv(path.c_str(), argv);
  else
    ::execvp(kExecutable, argv); // no /proc: look it up on PATH
  KanbanMCPServer::log("HTTP-Modus nicht verfügbar: " + path + ": " +
                       std::strerror(errno));
  return 1;
#endif
}

} // namespace taskory::HttpLauncher
