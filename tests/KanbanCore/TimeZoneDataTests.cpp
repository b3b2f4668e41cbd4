#include "KanbanCore/TimeZoneData.h"

#include "support/ZoneFileBuilder.h"

#include <gtest/gtest.h>

#include <ostream>

namespace taskory::TimeZoneData {

std::ostream &operator<<(std::ostream &out, const ChangeDay &day) {
  return out << "{kind " << static_cast<int>(day.kind) << " day " << day.day
             << " M" << day.month << "." << day.week << "." << day.weekday
             << " /" << day.seconds << "s}";
}

std::ostream &operator<<(std::ostream &out, const Rule &rule) {
  out << "standard " << rule.standardOffset;
  if (rule.daylight)
    out << " daylight " << rule.daylight->offset << " from "
        << rule.daylight->start << " to " << rule.daylight->end;
  return out;
}

namespace {

using Kind = ChangeDay::Kind;
using test::zoneFile;

constexpr int32_t kHour = 3600;

ChangeDay weekdayOf(int month, int week, int weekday, int32_t seconds = 7200) {
  return {Kind::weekdayOfMonth, 0, month, week, weekday, seconds};
}

TEST(TimeZoneRule, ParsesPosixRuleStrings) {
  const ChangeDay usStart = weekdayOf(3, 2, 0), usEnd = weekdayOf(11, 1, 0);
  const std::pair<const char *, Rule> cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3",
       {kHour, Rule::Daylight{2 * kHour, weekdayOf(3, 5, 0),
                              weekdayOf(10, 5, 0, 3 * kHour)}}},
      // Offsets count west of Greenwich; the daylight offset defaults to one
      // hour east of the standard one, the change days to the US rules.
      {"EST5EDT", {-5 * kHour, Rule::Daylight{-4 * kHour, usStart, usEnd}}},
      {"GMT+3", {-3 * kHour, std::nullopt}},
      {"<+0330>-3:30", {3 * kHour + 1800, std::nullopt}},
      {"UTC0", {0, std::nullopt}},
      {"<-03>3<-02>,M3.5.0/-2,M10.5.0/-1",
       {-3 * kHour, Rule::Daylight{-2 * kHour, weekdayOf(3, 5, 0, -2 * kHour),
                                   weekdayOf(10, 5, 0, -kHour)}}},
      {"IST-2IDT,M3.4.4/26,M10.5.0",
       {2 * kHour, Rule::Daylight{3 * kHour, weekdayOf(3, 4, 4, 26 * kHour),
                                  weekdayOf(10, 5, 0)}}},
      {"AAA-1BBB-2:30:15,J60/1:30:15,300",
       {kHour, Rule::Daylight{2 * kHour + 1815,
                              {Kind::dayOfYear, 60, 0, 0, 0, 5415},
                              {Kind::zeroBasedDay, 300, 0, 0, 0, 7200}}}}};
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(parseRule(text), std::optional<Rule>(expected)) << text;

  for (const char *text :
       {"", "Europe/Berlin", "/etc/localtime", "CET", "CE-1", "CET-25",
        "CET-1:60", "<AB>-1", "<A!B>-1", "CET-1CEST,M3.5.0",
        "CET-1CEST,M13.5.0,M10.5.0", "CET-1CEST,M3.6.0,M10.5.0",
        "CET-1CEST,M3.5.7,M10.5.0", "CET-1CEST,J0,J365", "CET-1CEST,366,1",
        "CET-1CEST,M3.5.0/168,M10.5.0", "CET-1CEST,M3.5.0,M10.5.0x",
        "CET-1CEST;"})
    EXPECT_EQ(parseRule(text), std::nullopt) << text;
}

TEST(TimeZoneFile, ParsesFilesOfEveryVersion) {
  const std::vector<std::pair<int64_t, uint8_t>> transitions = {
      {-1'000'000'000, 1}, {1'901'149'200, 2}};
  const std::vector<test::ZoneFileType> types = {
      {3208, false}, {kHour, false}, {2 * kHour, true}};
  for (char version : {'\0', '2', '3'}) {
    const auto zone = parseZoneFile(
        zoneFile(version, transitions, types, "CET-1CEST,M3.5.0,M10.5.0/3"));
    ASSERT_TRUE(zone) << "version " << int(version);
    EXPECT_EQ(zone->transitions,
              (std::vector<int64_t>{-1'000'000'000, 1'901'149'200}));
    EXPECT_EQ(zone->typeIndices, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(zone->types,
              (std::vector<LocalTimeType>{
                  {3208, false}, {kHour, false}, {2 * kHour, true}}));
    EXPECT_EQ(zone->footer, version ? "CET-1CEST,M3.5.0,M10.5.0/3" : "")
        << "version " << int(version);
  }
}

TEST(TimeZoneFile, RefusesWhatIsNoZoneFile) {
  const std::string good = zoneFile('2', {{0, 0}}, {{0, false}}, "UTC0");
  std::string badMagic = good;
  badMagic[0] = 'X';
  const std::pair<std::string, std::string> cases[] = {
      {"empty", ""},
      {"a rule string", "CET-1CEST,M3.5.0,M10.5.0/3"},
      {"bad magic", badMagic},
      {"cut in the header", good.substr(0, 30)},
      {"cut in the 64-bit block", good.substr(0, good.size() - 12)},
      {"no types", zoneFile('2', {}, {})},
      {"type index out of range", zoneFile('2', {{0, 1}}, {{0, false}})},
      {"transitions out of order",
       zoneFile('2', {{10, 0}, {5, 0}}, {{0, false}})},
      {"offset of 26 hours", zoneFile('2', {}, {{26 * kHour, false}})}};
  for (const auto &[label, bytes] : cases)
    EXPECT_FALSE(parseZoneFile(bytes)) << label;
  EXPECT_TRUE(parseZoneFile(good)) << "the good file the others come from";
}

} // namespace
} // namespace taskory::TimeZoneData
