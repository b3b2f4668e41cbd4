#pragma once

#include <span>
#include <string>
#include <string_view>

// What the command line asks of the process. An MCP host starts the server
// without arguments; the options are for a person at a terminal, who would
// otherwise see a server silently waiting for JSON. New options become
// fields of CommandLine and cases of parseCommandLine.
namespace taskory {

struct CommandLine {
  enum class Action { serve, printVersion, printHelp };
  Action action = Action::serve;
};

// Reads the arguments after the program name. "--version" and "--help" count
// only as the one and only argument; any other arguments are ignored and the
// process serves, as it always has for hosts that pass stray arguments.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);

// The line --version prints: program name and version, with a line feed.
std::string versionText();

// The text --help prints: what the program is, how it is started, where the
// store lives and what it reads from the environment.
std::string usageText();

} // namespace taskory
