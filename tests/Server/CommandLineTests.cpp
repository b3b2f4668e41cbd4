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
  using Arguments = std::vector<std::string_view>;
  EXPECT_EQ(parseCommandLine(Arguments{"--version"}).action,
            Action::printVersion);
  EXPECT_EQ(parseCommandLine(Arguments{"--help"}).action, Action::printHelp);
  const Arguments serving[] = {
      {},     {"--version", "--help"}, {"--help", "extra"}, {"stray"}, {""},
      {"-h"}, {"--versions"},          {"--version="},      {"--HELP"}};
  for (const Arguments &arguments : serving) {
    std::string shown;
    for (auto argument : arguments)
      shown += "[" + std::string(argument) + "]";
    EXPECT_EQ(parseCommandLine(arguments).action, Action::serve) << shown;
  }
}

} // namespace
} // namespace taskory
