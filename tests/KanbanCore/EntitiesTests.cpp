#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Uuid.h"

#include <gtest/gtest.h>

#include <limits>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(Entities, RawValuesOfAnyRangeReadAsACase) {
  Card card("x", 0, 0);
  EXPECT_EQ(card.priority(), Priority::medium);
  const std::vector<std::pair<int64_t, Priority>> priorities = {
      {kMin, Priority::urgent}, {1, Priority::urgent}, {2, Priority::important},
      {4, Priority::important}, {5, Priority::medium}, {7, Priority::medium},
      {8, Priority::low},       {kMax, Priority::low}};
  for (auto [raw, expected] : priorities) {
    card.priorityRaw = raw;
    EXPECT_EQ(card.priority(), expected) << raw;
    card.setPriority(card.priority());
    EXPECT_EQ(priorityFromRawValue(card.priorityRaw), expected) << raw;
  }
  const std::vector<std::pair<int64_t, CardProgress>> progress = {
      {kMin, CardProgress::notStarted}, {49, CardProgress::notStarted},
      {50, CardProgress::inProgress},   {99, CardProgress::inProgress},
      {100, CardProgress::completed},   {150, CardProgress::completed}};
  for (auto [percent, expected] : progress) {
    card.percentComplete = percent;
    EXPECT_EQ(card.progress(), expected) << percent;
  }
  Bucket bucket("b", 0, 0);
  for (int64_t raw : {int64_t{-1}, kMin}) {
    bucket.autoProgressRaw = raw;
    EXPECT_FALSE(bucket.autoProgress()) << raw;
  }
  bucket.autoProgressRaw = 75;
  EXPECT_EQ(bucket.autoProgress(), CardProgress::inProgress);
  for (const char *raw : {"", "Automatic", "checklist "})
    EXPECT_EQ(previewFromRaw(raw), CardPreview::automatic) << raw;
  for (const char *raw : {"", "video", "File"})
    EXPECT_EQ(attachmentKindFromRaw(raw), AttachmentKind::link) << raw;
}

// 2025-03-12 10:00 UTC is 11:00 in Berlin; the day began at 23:00 UTC.
TEST(Entities, LateMeansDueBeforeTheStartOfTodayAndNotDone) {
  const Date now = 1741773600.0, startOfToday = 1741734000.0;
  Calendar calendar("Europe/Berlin", "de_DE");
  const std::vector<std::tuple<std::optional<Date>, int64_t, bool>> cases = {
      {startOfToday - 1, 50, true},
      {startOfToday - 1, 100, false},
      {startOfToday - 1, 150, false},
      {startOfToday, 0, false},
      {std::nullopt, 0, false}};
  for (const auto &[due, percent, late] : cases) {
    Card card("x", 0, now);
    card.dueDate = due;
    card.percentComplete = percent;
    EXPECT_EQ(isLate(card, now, calendar), late) << due.value_or(0) << percent;
  }
}

TEST(Uuid, ParsesEitherCaseAndCutsShortIDsWhole) {
  EXPECT_EQ(parseUUID("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"),
            "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
  for (const char *bad : {"", "0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D",
                          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4",
                          "0A1B2C3D_4E5F-4A6B-8C7D-9E0F1A2B3C4D",
                          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G"})
    EXPECT_FALSE(parseUUID(bad)) << bad;
  UUID id = makeUUID();
  EXPECT_EQ(parseUUID(id), id);
  EXPECT_EQ(id[14], '4') << id;
  EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
  EXPECT_NE(makeUUID(), id);
  EXPECT_EQ(shortID("abcdef12-0000-4000-8000-000000000000"), "ABCDEF12");
  EXPECT_EQ(shortID("abcdefg\xc3\xa4xyz"), "ABCDEFG")
      << "never half a character";
}

TEST(RecurrenceRule, EncodesCompactlyAndDecodesTolerantly) {
  EXPECT_EQ(RecurrenceRule(F::daily, -3).interval, 1);
  const std::vector<std::pair<RecurrenceRule, std::string>> encoded = {
      {RecurrenceRule(F::weekly, 2, {2, 4}),
       R"({"frequency":"weekly","interval":2,"daysOfWeek":[2,4]})"},
      {RecurrenceRule(F::monthly, 1, {}, 31),
       R"({"frequency":"monthly","interval":1,"daysOfWeek":[],"dayOfMonth":31})"},
      {RecurrenceRule(F::yearly, kMax, {kMin}),
       R"({"frequency":"yearly","interval":9223372036854775807,"daysOfWeek":[-9223372036854775808]})"},
  };
  for (const auto &[rule, json] : encoded) {
    EXPECT_EQ(rule.encode(), json);
    EXPECT_EQ(RecurrenceRule::decode(json), rule) << json;
  }
  // Stored as given (interval 0 included), other key order, extra keys,
  // whole numbers written as floats.
  for (const char *json :
       {R"({"daysOfWeek":[9,0],"interval":0,"frequency":"weekly","x":[1]})",
        R"( { "frequency" : "weekly", "interval" : 0.0, "daysOfWeek" : [9.0, 0],
              "dayOfMonth" : null } )"}) {
    auto rule = RecurrenceRule::decode(json);
    ASSERT_TRUE(rule) << json;
    EXPECT_EQ(rule->encode(),
              R"({"frequency":"weekly","interval":0,"daysOfWeek":[9,0]})");
  }
  for (
      const char *json :
      {"", "[]", R"({"frequency":"Weekly","interval":1,"daysOfWeek":[]})",
       R"({"frequency":"daily","interval":1})",
       R"({"frequency":"daily","interval":"1","daysOfWeek":[]})",
       R"({"frequency":"daily","interval":1.5,"daysOfWeek":[]})",
       R"({"frequency":"daily","interval":9223372036854775808,"daysOfWeek":[]})",
       R"({"frequency":"daily","interval":1,"daysOfWeek":["2"]})",
       R"({"frequency":"monthly","interval":1,"daysOfWeek":[],"dayOfMonth":"3"})",
       R"({"frequency":"daily","interval":1,"daysOfWeek":[]} trailing)",
       "{\"frequency\":\"da\xFFly\",\"interval\":1,\"daysOfWeek\":[]}"})
    EXPECT_FALSE(RecurrenceRule::decode(json)) << json;
  Card card("x", 0, 0);
  card.recurrenceRuleData = "\xff\xfe";
  EXPECT_FALSE(card.recurrenceRule()) << "unreadable data: no recurrence";
}

TEST(RecurrenceRule, SummaryPrintsTheStoredInterval) {
  const std::vector<std::tuple<F, int64_t, std::string>> cases = {
      {F::daily, 1, "Täglich"},
      {F::daily, 0, "Alle 0 Tage"},
      {F::daily, -2, "Alle -2 Tage"},
      {F::weekdays, 4, "Werktags (Mo–Fr)"},
      {F::weekly, 2, "Alle 2 Wochen"},
      {F::monthly, 1, "Monatlich"},
      {F::monthly, 12, "Alle 12 Monate"},
      {F::yearly, 1, "Jährlich"},
      {F::yearly, kMax, "Alle 9223372036854775807 Jahre"}};
  for (const auto &[frequency, interval, summary] : cases) {
    RecurrenceRule rule(frequency, 1, {2, 4}, 15);
    rule.interval = interval;
    EXPECT_EQ(rule.localizedSummary(), summary) << interval;
  }
  EXPECT_EQ(localizedName(F::weekly), "Wöchentlich");
  EXPECT_FALSE(frequencyFromRaw("Daily"));
}

TEST(PlannerPalette, LabelColoursAndBrightness) {
  const LabelColorSpec pink{"Pink", "#FBDDF0", "#AC2D7E"};
  for (int64_t slot : {int64_t{0}, int64_t{25}, int64_t{-1}, kMax, kMin})
    EXPECT_EQ(PlannerPalette::labelColor(slot), pink) << slot;
  EXPECT_EQ(PlannerPalette::labelColor(24),
            (LabelColorSpec{"Dunkelgrau", "#605E5C", "#FFFFFF"}));
  for (const auto &spec : PlannerPalette::labelColors)
    EXPECT_TRUE(PlannerPalette::perceivedBrightness(spec.backgroundHex));
  const std::vector<std::pair<std::string, double>> good = {
      {" #FF0000 ", 0.299},
      {"\t#00ff00\n", 0.587},
      {"0000Ff", 0.114},
      {"\xC2\xA0#FFFFFF\xE3\x80\x80", 1.0}}; // Unicode blanks
  for (const auto &[hex, brightness] : good)
    EXPECT_NEAR(PlannerPalette::perceivedBrightness(hex).value_or(-1),
                brightness, 1e-12)
        << hex;
  for (const char *hex : {"", "#FFF", "#12345G", "#FFFFFFF", "##FFFFFF",
                          "# FFFFFF", "+FFFFF", "0x1234", "#FFFFFF\xFF"})
    EXPECT_FALSE(PlannerPalette::perceivedBrightness(hex)) << hex;
  for (auto [hex, dark] : std::vector<std::pair<const char *, bool>>{
           {"#8C8C8C", true}, {"#8D8D8D", false}, {"kein Farbwert", false}})
    EXPECT_EQ(PlannerPalette::isDark(hex), dark) << hex;
}

TEST(SortOrderHelper, AppendingAndMidpoints) {
  EXPECT_EQ(SortOrderHelper::appending(std::nullopt), 1024.0);
  EXPECT_EQ(SortOrderHelper::appending(-4096.0), -3072.0);
  EXPECT_EQ(SortOrderHelper::between(2048, 1024), 1536);
  // The sum of two large neighbours overflows; their midpoint does not.
  constexpr double kHuge = std::numeric_limits<double>::max();
  EXPECT_EQ(SortOrderHelper::between(kHuge, kHuge), kHuge);
  double low = 1024, high = 2048;
  for (int i = 0; i < 40; ++i) {
    high = SortOrderHelper::between(low, high);
    ASSERT_LT(low, high) << i;
  }
}

} // namespace
} // namespace taskory
