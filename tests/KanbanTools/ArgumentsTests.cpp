#include "KanbanTools/Arguments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;

std::optional<int64_t> integerOf(const std::string &text) {
  return args::integer(json::parse(R"({"n":)" + text + "}"), "n");
}

TEST(Arguments, IntegerIsOnlyWhatSixtyFourBitsHoldExactly) {
  // clang-format off
  const std::pair<const char *, int64_t> integers[] = {
      {"2", 2}, {"2.0", 2}, {"1e3", 1000}, {"-0", 0}, {"-0.0", 0}, {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN}, {"-9.223372036854775808e18", INT64_MIN}};
  // clang-format on
  for (const auto &[text, value] : integers)
    EXPECT_EQ(integerOf(text), value) << text;
  for (const char *text : {"9223372036854775808", "18446744073709551615",
                           "9.223372036854775808e18", "1e19", "-1e19", "1e30",
                           "2.5", R"("2")", "true"})
    EXPECT_EQ(integerOf(text), std::nullopt) << text;
}

TEST(Arguments, StringArrayWithAnyOtherElementCountsAsAbsent) {
  const std::pair<std::string, std::optional<std::vector<std::string>>>
      cases[] = {{R"(["Blau","Rot"])", std::vector<std::string>{"Blau", "Rot"}},
                 {"[]", std::vector<std::string>{}},
                 {R"(["Blau",5])", std::nullopt},
                 {R"([null,"Blau"])", std::nullopt},
                 {R"([["Blau"]])", std::nullopt},
                 {R"("Blau")", std::nullopt}};
  for (const auto &[text, expected] : cases) {
    const json arguments = json::parse(R"({"labels":)" + text + "}");
    const json *list = args::stringArray(arguments, "labels");
    EXPECT_EQ(list ? std::optional(args::strings(*list)) : std::nullopt,
              expected)
        << text;
  }
}

} // namespace
} // namespace taskory
