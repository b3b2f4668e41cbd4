#include "KanbanCore/PlannerPalette.h"

#include <gtest/gtest.h>

#include <string>

namespace taskory {
namespace {

TEST(PlannerPalette, SlotsOutsideThePaletteFallBackToPink) {
  const LabelColorSpec pink{"Pink", "#FBDDF0", "#AC2D7E"};
  struct Case {
    int64_t slot;
    LabelColorSpec expected;
  } cases[] = {
      {0, pink},
      {25, pink},
      {-1, pink},
      {INT64_MAX, pink},
      {INT64_MIN, pink},
      {24, {"Dunkelgrau", "#605E5C", "#FFFFFF"}},
      {3, {"Grün", "#CBEBC9", "#0B6A0B"}},
      {12, {"Cranberry", "#C50F1F", "#FFFFFF"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(PlannerPalette::labelColor(c.slot), c.expected) << c.slot;
}

TEST(PlannerPalette, EveryTableColourParses) {
  for (const auto &spec : PlannerPalette::labelColors)
    for (auto hex : {spec.backgroundHex, spec.foregroundHex})
      EXPECT_TRUE(PlannerPalette::perceivedBrightness(hex)) << hex;
  for (auto tint : PlannerPalette::cardTints)
    EXPECT_TRUE(PlannerPalette::perceivedBrightness(tint)) << tint;
}

TEST(PlannerPalette, PerceivedBrightness) {
  struct Case {
    std::string hex;
    double brightness;
  } good[] = {
      {"#FFFFFF", 1.0},
      {"000000", 0.0},
      {" #FF0000 ", 0.299},
      {"\t#00ff00\n", 0.587},
      {"#0000Ff", 0.114},
      {"\xC2\xA0#FFFFFF\xE3\x80\x80", 1.0}, // Unicode blanks
      {"#808080", 128.0 / 255},
  };
  for (const auto &c : good) {
    auto brightness = PlannerPalette::perceivedBrightness(c.hex);
    ASSERT_TRUE(brightness) << c.hex;
    EXPECT_NEAR(*brightness, c.brightness, 1e-12) << c.hex;
  }
  const std::string bad[] = {
      "",        "#",        "#FFF",     "FFF",           "#GGGGGG",
      "#12345G", "#FFFFFFF", "##FFFFFF", "# FFFFFF",      "+FFFFF",
      "-00000",  "#FF FF00", "0x1234",   "#ＦＦＦＦＦＦ", "#FFFFFF\xFF"};
  for (const auto &hex : bad)
    EXPECT_FALSE(PlannerPalette::perceivedBrightness(hex)) << hex;
}

TEST(PlannerPalette, IsDark) {
  struct Case {
    std::string hex;
    bool dark;
  } cases[] = {
      {"#605E5C", true},  {"#FBDDF0", false}, {"kein Farbwert", false},
      {"", false},        {"#000000", true},  {"#FFFFFF", false},
      {"#C50F1F", true},  {"#8C8C8C", true}, // 0.549...
      {"#8D8D8D", false},                    // 0.552...
  };
  for (const auto &c : cases)
    EXPECT_EQ(PlannerPalette::isDark(c.hex), c.dark) << c.hex;
}

} // namespace
} // namespace taskory
