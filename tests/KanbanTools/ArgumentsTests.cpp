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
  const std::pair<std::string, std::optional<int64_t>> cases[] = {
      {"2", 2},
      {"2.0", 2},
      {"1e3", 1000},
      {"-0", 0},
      {"-0.0", 0},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"-9.223372036854775808e18", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"18446744073709551615", std::nullopt},
      {"9.223372036854775808e18", std::nullopt},
      {"1e19", std::nullopt},
      {"-1e19", std::nullopt},
      {"1e30", std::nullopt},
      {"2.5", std::nullopt},
      {R"("2")", std::nullopt},
      {"true", std::nullopt}};
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(integerOf(text), expected) << text;
}

TEST(Arguments, StringArrayWithAnyOtherElementCountsAsAbsent) {
  const std::pair<std::string, std::optional<std::vector<std::string>>> cases[] = {
      {R"(["Blau","Rot"])", std::vector<std::string>{"Blau", "Rot"}},
      {"[]", std::vector<std::string>{}},
      {R"(["Blau",5])", std::nullopt},
      {R"([null,"Blau"])", std::nullopt},
      {R"([["Blau"]])", std::nullopt},
      {R"("Blau")", std::nullopt}};
  for (const auto &[text, expected] : cases) {
    const json arguments = json::parse(R"({"labels":)" + text + "}");
    const json *list = args::stringArray(arguments, "labels");
    EXPECT_EQ(list ? std::optional(args::strings(*list)) : std::nullopt, expected) << text;
  }
}

} // namespace
} // namespace taskory
