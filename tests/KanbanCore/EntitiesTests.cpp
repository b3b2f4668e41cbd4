#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Uuid.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// Any stored number reads as a case: priority and progress by range.
TEST(Entities, RawValuesOfAnyRangeReadAsACase) {
  const std::tuple<int64_t, Priority, CardProgress> cases[] = {
      {kMin, Priority::urgent, CardProgress::notStarted},
      {7, Priority::medium, CardProgress::notStarted},
      {50, Priority::low, CardProgress::inProgress},
      {kMax, Priority::low, CardProgress::completed}};
  Card card("x", 0, 0);
  for (const auto &[raw, priority, progress] : cases) {
    card.priorityRaw = card.percentComplete = raw;
    EXPECT_EQ(card.priority(), priority) << raw;
    EXPECT_EQ(card.progress(), progress) << raw;
  }
  Bucket bucket("b", 0, 0);
  bucket.autoProgressRaw = kMin;
  EXPECT_FALSE(bucket.autoProgress());
  EXPECT_EQ(previewFromRaw("Automatic"), CardPreview::automatic);
  EXPECT_EQ(attachmentKindFromRaw("video"), AttachmentKind::link);
}

TEST(Uuid, ParsesEitherCaseIntoUpperCase) {
  EXPECT_EQ(parseUUID("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"),
            "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
  EXPECT_FALSE(parseUUID("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G"));
}

TEST(Uuid, ShortIDsNeverCutACharacter) {
  EXPECT_EQ(shortID("abcdefg\xc3\xa4xyz"), "ABCDEFG")
      << "never half a character";
}

const RecurrenceRule kExtremeRule(F::yearly, kMax, {kMin}, 31);
// Stored as given (interval 0 included), other key order, extra keys,
// whole numbers written as floats.
constexpr const char *kOddRule =
    R"({"daysOfWeek":[9.0,0],"interval":0.0,"frequency":"weekly","x":[1]})";

TEST(RecurrenceRule, EncodingRoundTripsEvenExtremeNumbers) {
  const std::string json =
      R"({"frequency":"yearly","interval":9223372036854775807,)"
      R"("daysOfWeek":[-9223372036854775808],"dayOfMonth":31})";
  EXPECT_EQ(kExtremeRule.encode(), json);
  EXPECT_EQ(RecurrenceRule::decode(json), kExtremeRule);
}

TEST(RecurrenceRule, DecodingToleratesWhatTheEncoderWouldNotWrite) {
  auto odd = RecurrenceRule::decode(kOddRule);
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->encode(),
            R"({"frequency":"weekly","interval":0,"daysOfWeek":[9,0]})");
}

TEST(RecurrenceRule, UnreadableDataMeansNoRecurrence) {
  for (
      const char *bad :
      {R"({"frequency":"Weekly","interval":1,"daysOfWeek":[]})",
       R"({"frequency":"daily","interval":9223372036854775808,"daysOfWeek":[]})",
       R"({"frequency":"daily","interval":1,"daysOfWeek":[]} trailing)"})
    EXPECT_FALSE(RecurrenceRule::decode(bad)) << bad;
  Card card("x", 0, 0);
  card.recurrenceRuleData = "\xff\xfe";
  EXPECT_FALSE(card.recurrenceRule()) << "unreadable data: no recurrence";
}

TEST(RecurrenceRule, SummaryPrintsTheStoredIntervalHoweverOdd) {
  EXPECT_EQ(RecurrenceRule::decode(kOddRule)->localizedSummary(),
            "Alle 0 Wochen");
  EXPECT_EQ(kExtremeRule.localizedSummary(), "Alle 9223372036854775807 Jahre");
  EXPECT_EQ(RecurrenceRule(F::weekdays, 4).localizedSummary(),
            "Werktags (Mo–Fr)");
  EXPECT_EQ(RecurrenceRule(F::weekly, 1).localizedSummary(), "Wöchentlich");
}

TEST(PlannerPalette, SlotsOutsideThePaletteTakeTheFirstColour) {
  const std::pair<int64_t, std::string_view> cases[] = {
      {0, "Pink"},  {24, "Dunkelgrau"}, {25, "Pink"},
      {-1, "Pink"}, {kMin, "Pink"},     {kMax, "Pink"}};
  for (const auto &[slot, name] : cases)
    EXPECT_EQ(PlannerPalette::labelColor(slot).defaultName, name) << slot;
}

TEST(PlannerPalette, PerceivedBrightnessOfSixDigitColoursOnly) {
  const std::pair<std::string_view, std::optional<double>> cases[] = {
      {"#FFFFFF", 1.0},       {"000000", 0.0},
      {" #FF0000 ", 0.299},   {"#ff0000\n", 0.299},
      {"#FFF", std::nullopt}, {"#GGGGGG", std::nullopt},
      {"", std::nullopt},     {"##FFFFFF", std::nullopt}};
  for (const auto &[hex, expected] : cases) {
    const auto brightness = PlannerPalette::perceivedBrightness(hex);
    ASSERT_EQ(brightness.has_value(), expected.has_value()) << hex;
    if (expected) {
      EXPECT_NEAR(*brightness, *expected, 1e-12) << hex;
    }
  }
}

TEST(PlannerPalette, OnlyColoursBelowTheThresholdAreDark) {
  const std::pair<std::string_view, bool> cases[] = {
      {"#605E5C", true},  {"#FBDDF0", false}, {"#000000", true},
      {"#FFFFFF", false}, {"Rot", false},     {"", false}};
  for (const auto &[hex, dark] : cases)
    EXPECT_EQ(PlannerPalette::isDark(hex), dark) << hex;
}

TEST(SortOrderHelper, MidpointsDoNotOverflow) {
  constexpr double kHuge = std::numeric_limits<double>::max();
  const std::tuple<double, double, double> cases[] = {{2048, 1024, 1536},
                                                      {1024, 2048, 1536},
                                                      {kHuge, kHuge, kHuge},
                                                      {-kHuge, -kHuge, -kHuge}};
  for (const auto &[a, b, middle] : cases)
    EXPECT_EQ(SortOrderHelper::between(a, b), middle) << a << " " << b;
}

TEST(SortOrderHelper, AMovedElementLandsBetweenItsNewNeighbours) {
  using Neighbour = std::optional<double>;
  const std::tuple<Neighbour, Neighbour, double> cases[] = {
      {std::nullopt, std::nullopt, SortOrderHelper::gap},
      {1024.0, std::nullopt, 1024.0 + SortOrderHelper::gap},
      {std::nullopt, 1024.0, 1024.0 - SortOrderHelper::gap},
      {1024.0, 2048.0, 1536.0}};
  for (const auto &[before, after, placed] : cases)
    EXPECT_EQ(SortOrderHelper::placing(before, after), placed)
        << before.value_or(-1) << " " << after.value_or(-1);
}

} // namespace
} // namespace taskory
