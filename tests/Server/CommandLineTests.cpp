#include "Server/CommandLine.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace taskory {
namespace {

// Hosts have always been able to pass arguments the server ignores; only the
// two options on their own may keep it from serving.
TEST(CommandLine, OnlyALoneVersionOrHelpKeepsTheServerFromServing) {
  using Action = CommandLine::Action;
  const std::pair<std::vector<std::string_view>, Action> cases[] = {
      {{}, Action::serve},
      {{"--version"}, Action::printVersion},
      {{"--help"}, Action::printHelp},
      {{"--version", "--help"}, Action::serve},
      {{"--help", "extra"}, Action::serve},
      {{"stray"}, Action::serve},
      {{""}, Action::serve},
      {{"-h"}, Action::serve},
      {{"--versions"}, Action::serve},
      {{"--version="}, Action::serve},
      {{"--HELP"}, Action::serve}};
  for (const auto &[arguments, action] : cases) {
    std::string shown;
    for (auto argument : arguments)
      shown += "[" + std::string(argument) + "]";
    EXPECT_EQ(parseCommandLine(arguments).action, action) << shown;
  }
}

} // namespace
} // namespace taskory
