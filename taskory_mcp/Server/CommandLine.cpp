#include "Server/CommandLine.h"

#include "KanbanCore/KanbanStore.h"
#include "Server/Version.h"

namespace taskory {

CommandLine parseCommandLine(std::span<const std::string_view> arguments) {
  CommandLine command;
  if (arguments.size() != 1)
    return command;
  if (arguments[0] == "--version")
    command.action = CommandLine::Action::printVersion;
  else if (arguments[0] == "--help")
    command.action = CommandLine::Action::printHelp;
  return command;
}

std::string versionText() { return std::string("taskory_mcp ") + kVersion + "\n"; }

std::string usageText() {
  const std::string group(KanbanStore::appGroupID());
  return versionText() +
         "MCP server for the Taskory planner boards.\n"
         "\n"
         "Usage: taskory_mcp            serve MCP on standard input and output\n"
         "       taskory_mcp --version  print the version\n"
         "       taskory_mcp --help     print this text\n"
         "       taskory_mcp --http [HOST:]PORT [--no-auth] [--allow-origin ORIGIN]...\n"
         "                              serve MCP over HTTP at HOST:PORT/mcp\n"
         "                              (HOST 127.0.0.1 unless given)\n"
         "\n"
         "An MCP host (an AI assistant's app or editor) starts the server as a\n"
         "child process and talks JSON-RPC 2.0 to it, one message per line; run\n"
         "by hand it waits for such messages until the end of its input.\n"
         "\n"
         "Store:  $XDG_DATA_HOME/" + group + "/Taskory.store\n"
         "        (without XDG_DATA_HOME: ~/.local/share/" + group + "/Taskory.store)\n"
         "Reads:  XDG_DATA_HOME and HOME for the store, TZ for the time zone,\n"
         "        LC_ALL, LC_TIME and LANG for the language of weekday names (the\n"
         "        system's locale when none is set).\n"
         "\n"
         "Hosts start servers with a bare environment: pass these variables in\n"
         "the host's \"env\" block. Client set-up: see README.md and the\n"
         "manual pages taskory_mcp(1) and taskory_mcp_http(1).\n";
}

} // namespace taskory
