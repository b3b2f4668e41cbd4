#include "KanbanCore/RecurrenceRule.h"

#include <gtest/gtest.h>

#include <string>

namespace taskory {
namespace {

using Frequency = RecurrenceRule::Frequency;

TEST(RecurrenceRule, InitialiserRaisesIntervalsBelowOne) {
  EXPECT_EQ(RecurrenceRule(Frequency::daily, 0).interval, 1);
  EXPECT_EQ(RecurrenceRule(Frequency::daily, -3).interval, 1);
  EXPECT_EQ(RecurrenceRule(Frequency::daily, INT64_MIN).interval, 1);
  EXPECT_EQ(RecurrenceRule(Frequency::daily, 4).interval, 4);
  RecurrenceRule odd(Frequency::weekly, 1, {9, 0, -1});
  EXPECT_EQ(odd.daysOfWeek, (std::vector<int64_t>{9, 0, -1}));
  EXPECT_FALSE(odd.dayOfMonth);
}

TEST(RecurrenceRule, EncodesCompactJSON) {
  struct Case {
    RecurrenceRule rule;
    std::string json;
  } cases[] = {
      {RecurrenceRule(Frequency::weekly, 2, {2, 4}),
       R"({"frequency":"weekly","interval":2,"daysOfWeek":[2,4]})"},
      {RecurrenceRule(Frequency::daily, 1),
       R"({"frequency":"daily","interval":1,"daysOfWeek":[]})"},
      {RecurrenceRule(Frequency::monthly, 1, {}, 31),
       R"({"frequency":"monthly","interval":1,"daysOfWeek":[],"dayOfMonth":31})"},
      {RecurrenceRule(Frequency::weekdays, 5),
       R"({"frequency":"weekdays","interval":5,"daysOfWeek":[]})"},
      {RecurrenceRule(Frequency::yearly, INT64_MAX, {INT64_MIN}),
       R"({"frequency":"yearly","interval":9223372036854775807,"daysOfWeek":[-9223372036854775808]})"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.rule.encode(), c.json) << c.json;
    EXPECT_EQ(RecurrenceRule::decode(c.rule.encode()), c.rule) << c.json;
  }
}

TEST(RecurrenceRule, DecodesTolerantly) {
  struct Case {
    std::string json;
    Frequency frequency;
    int64_t interval;
    std::vector<int64_t> days;
    std::optional<int64_t> dayOfMonth;
  } cases[] = {
      {R"({"daysOfWeek":[2,4],"interval":2,"frequency":"weekly"})",
       Frequency::weekly,
       2,
       {2, 4},
       {}},
      {R"( { "frequency" : "monthly", "interval" : 1, "daysOfWeek" : [ ],
             "dayOfMonth" : 15 } )",
       Frequency::monthly,
       1,
       {},
       15},
      {R"({"frequency":"daily","interval":0,"daysOfWeek":[]})",
       Frequency::daily,
       0,
       {},
       {}}, // taken as stored
      {R"({"frequency":"daily","interval":-7,"daysOfWeek":[]})",
       Frequency::daily,
       -7,
       {},
       {}},
      {R"({"frequency":"weekly","interval":1,"daysOfWeek":[9,0],"note":"x","v":[1]})",
       Frequency::weekly,
       1,
       {9, 0},
       {}},
      {R"({"frequency":"monthly","interval":1,"daysOfWeek":[],"dayOfMonth":null})",
       Frequency::monthly,
       1,
       {},
       {}},
      {R"({"frequency":"yearly","interval":2.0,"daysOfWeek":[1.0]})",
       Frequency::yearly,
       2,
       {1},
       {}},
  };
  for (const auto &c : cases) {
    auto rule = RecurrenceRule::decode(c.json);
    ASSERT_TRUE(rule) << c.json;
    EXPECT_EQ(rule->frequency, c.frequency) << c.json;
    EXPECT_EQ(rule->interval, c.interval) << c.json;
    EXPECT_EQ(rule->daysOfWeek, c.days) << c.json;
    EXPECT_EQ(rule->dayOfMonth, c.dayOfMonth) << c.json;
  }
}

TEST(RecurrenceRule, RefusesOtherShapes) {
  const std::string bad[] = {
      "",
      "null",
      "[]",
      "\"weekly\"",
      R"({"frequency":"Weekly","interval":1,"daysOfWeek":[]})",
      R"({"frequency":"DAILY","interval":1,"daysOfWeek":[]})",
      R"({"frequency":"none","interval":1,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":1})",
      R"({"frequency":"daily","daysOfWeek":[]})",
      R"({"interval":1,"daysOfWeek":[]})",
      R"({"frequency":1,"interval":1,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":"1","daysOfWeek":[]})",
      R"({"frequency":"daily","interval":1.5,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":true,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":null,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":9223372036854775808,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":1e300,"daysOfWeek":[]})",
      R"({"frequency":"daily","interval":1,"daysOfWeek":null})",
      R"({"frequency":"daily","interval":1,"daysOfWeek":"2"})",
      R"({"frequency":"daily","interval":1,"daysOfWeek":["2"]})",
      R"({"frequency":"daily","interval":1,"daysOfWeek":[[2]]})",
      R"({"frequency":"monthly","interval":1,"daysOfWeek":[],"dayOfMonth":"3"})",
      R"({"frequency":"daily","interval":1,"daysOfWeek":[]} trailing)",
      R"({"frequency":"daily","interval":1,"daysOfWeek":[])",
      "{\"frequency\":\"da\xFFly\",\"interval\":1,\"daysOfWeek\":[]}",
  };
  for (const auto &json : bad)
    EXPECT_FALSE(RecurrenceRule::decode(json)) << json;
}

TEST(RecurrenceRule, SummaryPrintsTheStoredInterval) {
  struct Case {
    Frequency frequency;
    int64_t interval;
    std::string summary;
  } cases[] = {
      {Frequency::daily, 1, "Täglich"},
      {Frequency::daily, 3, "Alle 3 Tage"},
      {Frequency::daily, 0, "Alle 0 Tage"},
      {Frequency::daily, -2, "Alle -2 Tage"},
      {Frequency::weekdays, 1, "Werktags (Mo–Fr)"},
      {Frequency::weekdays, 4, "Werktags (Mo–Fr)"},
      {Frequency::weekly, 1, "Wöchentlich"},
      {Frequency::weekly, 2, "Alle 2 Wochen"},
      {Frequency::monthly, 1, "Monatlich"},
      {Frequency::monthly, 12, "Alle 12 Monate"},
      {Frequency::yearly, 1, "Jährlich"},
      {Frequency::yearly, INT64_MAX, "Alle 9223372036854775807 Jahre"},
  };
  for (const auto &c : cases) {
    RecurrenceRule rule;
    rule.frequency = c.frequency;
    rule.interval = c.interval;
    rule.daysOfWeek = {2, 4};
    rule.dayOfMonth = 15;
    EXPECT_EQ(rule.localizedSummary(), c.summary)
        << rawValue(c.frequency) << " " << c.interval;
  }
}

TEST(RecurrenceRule, FrequencyRawValuesAndNames) {
  const char *raws[] = {"daily", "weekdays", "weekly", "monthly", "yearly"};
  const char *names[] = {"Täglich", "Werktags (Mo–Fr)", "Wöchentlich",
                         "Monatlich", "Jährlich"};
  for (std::size_t i = 0; i < kAllFrequencies.size(); ++i) {
    EXPECT_EQ(rawValue(kAllFrequencies[i]), raws[i]);
    EXPECT_EQ(localizedName(kAllFrequencies[i]), names[i]);
    EXPECT_EQ(frequencyFromRaw(raws[i]), kAllFrequencies[i]) << raws[i];
  }
  for (const char *raw : {"Daily", "WEEKLY", "none", "", "daily "})
    EXPECT_FALSE(frequencyFromRaw(raw)) << raw;
}

} // namespace
} // namespace taskory
