#include "Server/CommandLine.h"
#include "Server/HttpLauncher.h"
#include "Server/StartUp.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

int print(const std::string &text) {
  return std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 1
                                                                           : 0;
}

} // namespace

int main(int argc, char **argv) {
  if (taskory::HttpLauncher::requested(argc, argv))
    return taskory::HttpLauncher::run(argv);
  const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0),
                                                argv + argc);
  switch (taskory::parseCommandLine(arguments).action) {
  case taskory::CommandLine::Action::printVersion:
    return print(taskory::versionText());
  case taskory::CommandLine::Action::printHelp:
    return print(taskory::usageText());
  case taskory::CommandLine::Action::serve:
    break;
  }
  return taskory::StartUp::main();
}
