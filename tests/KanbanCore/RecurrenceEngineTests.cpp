#include "KanbanCore/RecurrenceEngine.h"

#include "KanbanCore/Calendar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace taskory {
namespace {

using Frequency = RecurrenceRule::Frequency;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

class RecurrenceEngineTest : public ::testing::Test {
protected:
  Calendar calendar{"Europe/Berlin", "de_DE"};

  // Local wall time in Berlin.
  Date at(int year, int month, int day, int hour = 9, int minute = 0,
          int second = 0) const {
    auto date = calendar.date(year, month, day, hour, minute, second);
    EXPECT_TRUE(date) << year << "-" << month << "-" << day;
    return date.value_or(0);
  }

  std::string text(std::optional<Date> date) const {
    return date ? calendar.format(*date, "EEE yyyy-MM-dd HH:mm:ss") : "nichts";
  }

  static RecurrenceRule rule(Frequency frequency, int64_t interval,
                             std::vector<int64_t> days = {},
                             std::optional<int64_t> dayOfMonth = {}) {
    // Built field by field so that stored intervals below 1 stay as they are.
    RecurrenceRule r;
    r.frequency = frequency;
    r.interval = interval;
    r.daysOfWeek = std::move(days);
    r.dayOfMonth = dayOfMonth;
    return r;
  }

  struct Case {
    const char *what;
    RecurrenceRule rule;
    Date after;
    std::optional<Date> expected;
  };

  void check(std::initializer_list<Case> cases) const {
    for (const auto &c : cases) {
      auto next = RecurrenceEngine::nextDueDate(c.after, c.rule, calendar);
      EXPECT_EQ(text(next), text(c.expected))
          << c.what << ", after " << text(c.after);
      if (next && c.expected) {
        EXPECT_EQ(*next, *c.expected) << c.what; // to the fraction
      }
    }
  }
};

TEST_F(RecurrenceEngineTest, DailyKeepsTheLocalTime) {
  check({
      {"daily", rule(Frequency::daily, 1), at(2025, 3, 12, 17),
       at(2025, 3, 13, 17)},
      {"every 3 days", rule(Frequency::daily, 3), at(2025, 3, 12, 17, 30, 15),
       at(2025, 3, 15, 17, 30, 15)},
      {"interval 0 repeats daily", rule(Frequency::daily, 0), at(2025, 3, 12),
       at(2025, 3, 13)},
      {"negative interval repeats daily", rule(Frequency::daily, -4),
       at(2025, 3, 12), at(2025, 3, 13)},
      {"past dates stay in the past", rule(Frequency::daily, 1), at(2015, 6, 1),
       at(2015, 6, 2)},
      {"spring change", rule(Frequency::daily, 1), at(2025, 3, 29, 17),
       at(2025, 3, 30, 17)},
      {"autumn change", rule(Frequency::daily, 1), at(2025, 10, 25, 17),
       at(2025, 10, 26, 17)},
      {"leap day", rule(Frequency::daily, 1), at(2024, 2, 28), at(2024, 2, 29)},
  });
  // Across the spring change 17:00 to 17:00 is 23 hours, in autumn 25.
  EXPECT_EQ(*RecurrenceEngine::nextDueDate(
                at(2025, 3, 29, 17), rule(Frequency::daily, 1), calendar) -
                at(2025, 3, 29, 17),
            23 * 3600.0);
  EXPECT_EQ(*RecurrenceEngine::nextDueDate(
                at(2025, 10, 25, 17), rule(Frequency::daily, 1), calendar) -
                at(2025, 10, 25, 17),
            25 * 3600.0);
  Date fractional = at(2025, 3, 29, 17) + 0.375;
  EXPECT_EQ(*RecurrenceEngine::nextDueDate(fractional,
                                           rule(Frequency::daily, 1), calendar),
            at(2025, 3, 30, 17) + 0.375);
}

TEST_F(RecurrenceEngineTest, WeekdaysSkipTheWeekendAndIgnoreTheInterval) {
  // 14 March 2025 is a Friday.
  check({
      {"Friday", rule(Frequency::weekdays, 1), at(2025, 3, 14),
       at(2025, 3, 17)},
      {"Saturday", rule(Frequency::weekdays, 1), at(2025, 3, 15),
       at(2025, 3, 17)},
      {"Sunday", rule(Frequency::weekdays, 1), at(2025, 3, 16),
       at(2025, 3, 17)},
      {"Monday", rule(Frequency::weekdays, 1), at(2025, 3, 17),
       at(2025, 3, 18)},
      {"Tuesday, interval 5", rule(Frequency::weekdays, 5), at(2025, 3, 18),
       at(2025, 3, 19)},
      {"Friday before the spring change", rule(Frequency::weekdays, 1),
       at(2025, 3, 28, 17, 45), at(2025, 3, 31, 17, 45)},
  });
}

TEST_F(RecurrenceEngineTest, WeeklyTakesTheNextListedWeekday) {
  // 10 March 2025 is a Monday, 12 March a Wednesday, 13 March a Thursday.
  check({
      {"[2,4] n=2 after Monday", rule(Frequency::weekly, 2, {2, 4}),
       at(2025, 3, 10), at(2025, 3, 12)},
      {"[2,4] n=2 after Wednesday", rule(Frequency::weekly, 2, {2, 4}),
       at(2025, 3, 12), at(2025, 3, 24)},
      {"[4,2,4] as [2,4] after Monday", rule(Frequency::weekly, 2, {4, 2, 4}),
       at(2025, 3, 10), at(2025, 3, 12)},
      {"[4,2,4] as [2,4] after Wednesday",
       rule(Frequency::weekly, 2, {4, 2, 4}), at(2025, 3, 12), at(2025, 3, 24)},
      {"[2,4] after Tuesday", rule(Frequency::weekly, 3, {2, 4}),
       at(2025, 3, 11), at(2025, 3, 12)},
      {"[2,4] after Saturday", rule(Frequency::weekly, 1, {2, 4}),
       at(2025, 3, 15), at(2025, 3, 17)},
      {"empty, n=3, Thursday", rule(Frequency::weekly, 3), at(2025, 3, 13),
       at(2025, 4, 3)},
      {"only own weekday", rule(Frequency::weekly, 2, {4}), at(2025, 3, 12),
       at(2025, 3, 26)},
      {"only own weekday, n=1", rule(Frequency::weekly, 1, {4}),
       at(2025, 3, 12, 10, 30, 45), at(2025, 3, 19, 10, 30, 45)},
      {"interval 0 as 1", rule(Frequency::weekly, 0), at(2025, 3, 12),
       at(2025, 3, 19)},
      {"Sunday to Saturday", rule(Frequency::weekly, 1, {7}), at(2025, 3, 9),
       at(2025, 3, 15)},
      {"Saturday to Sunday", rule(Frequency::weekly, 1, {1}), at(2025, 3, 15),
       at(2025, 3, 16)},
      {"autumn change", rule(Frequency::weekly, 1, {2}), at(2025, 10, 20),
       at(2025, 10, 27)},
      {"Monday 09:00 after Friday, spring change",
       rule(Frequency::weekly, 1, {2}), at(2025, 3, 28), at(2025, 3, 31)},
  });
}

TEST_F(RecurrenceEngineTest, WeekdayNumbersOutsideTheWeekNeverStepBackwards) {
  // Numbers outside 1...7 count literally while that moves forward (9 after
  // a Wednesday is five days on). Taken literally, 0 after a Saturday would
  // give the same day again, -5 a day in the past and INT64_MIN an overflow;
  // there only the real weekdays count.
  check({
      {"[0] after Saturday", rule(Frequency::weekly, 1, {0}), at(2025, 3, 15),
       at(2025, 3, 22)},
      {"[-5] after Wednesday", rule(Frequency::weekly, 1, {-5}),
       at(2025, 3, 12), at(2025, 3, 19)},
      {"[9] after Wednesday", rule(Frequency::weekly, 2, {9}), at(2025, 3, 12),
       at(2025, 3, 17)},
      {"[9, 2] after Wednesday", rule(Frequency::weekly, 1, {9, 2}),
       at(2025, 3, 12), at(2025, 3, 17)},
      {"[0, 6] after Saturday", rule(Frequency::weekly, 1, {0, 6}),
       at(2025, 3, 15), at(2025, 3, 21)},
      {"[INT64_MIN]", rule(Frequency::weekly, 1, {kMin}), at(2025, 3, 12),
       at(2025, 3, 19)},
      {"[INT64_MAX, 5]", rule(Frequency::weekly, 1, {kMax, 5}), at(2025, 3, 12),
       at(2025, 3, 13)},
      {"[INT64_MIN, INT64_MAX] n=max",
       rule(Frequency::weekly, kMax, {kMin, kMax}), at(2025, 3, 12),
       std::nullopt},
  });
}

TEST_F(RecurrenceEngineTest, MonthlyPinsToTheMonthEnd) {
  check({
      {"31st after 15 Jan", rule(Frequency::monthly, 1, {}, 31),
       at(2025, 1, 15, 10, 30, 45), at(2025, 2, 28, 10, 30, 0)},
      {"31st after 15 Jan, leap year", rule(Frequency::monthly, 1, {}, 31),
       at(2024, 1, 15, 10, 30, 45), at(2024, 2, 29, 10, 30, 0)},
      {"31st after 15 Mar", rule(Frequency::monthly, 1, {}, 31),
       at(2025, 3, 15, 10, 30, 45), at(2025, 4, 30, 10, 30, 0)},
      {"31st after 15 Apr", rule(Frequency::monthly, 1, {}, 31),
       at(2025, 4, 15, 10, 30, 45), at(2025, 5, 31, 10, 30, 0)},
      {"no day after 31 Jan", rule(Frequency::monthly, 1),
       at(2025, 1, 31, 10, 30, 45), at(2025, 2, 28, 10, 30, 45)},
      {"no day after 31 Jan, leap year", rule(Frequency::monthly, 1),
       at(2024, 1, 31, 10, 30, 45), at(2024, 2, 29, 10, 30, 45)},
      {"every 3 months over the year end", rule(Frequency::monthly, 3),
       at(2025, 11, 30, 8), at(2026, 2, 28, 8)},
      {"1st", rule(Frequency::monthly, 1, {}, 1), at(2025, 1, 31, 8),
       at(2025, 2, 1, 8)},
      {"over the spring change", rule(Frequency::monthly, 1),
       at(2025, 3, 15, 17), at(2025, 4, 15, 17)},
      {"day 0 as no day", rule(Frequency::monthly, 1, {}, 0),
       at(2025, 1, 20, 8), at(2025, 2, 20, 8)},
      {"negative day as no day", rule(Frequency::monthly, 1, {}, -3),
       at(2025, 1, 20, 8), at(2025, 2, 20, 8)},
      {"huge day as month end", rule(Frequency::monthly, 1, {}, kMax),
       at(2025, 1, 20, 8, 15, 10), at(2025, 2, 28, 8, 15)},
      // 02:30 does not exist on 30 March: the next existing time.
      {"into the spring gap", rule(Frequency::monthly, 1, {}, 30),
       at(2025, 2, 10, 2, 30), at(2025, 3, 30, 3, 0)},
  });
}

TEST_F(RecurrenceEngineTest, YearlyPinsTheLeapDay) {
  check({
      {"29 Feb 2024", rule(Frequency::yearly, 1), at(2024, 2, 29, 10, 30, 45),
       at(2025, 2, 28, 10, 30, 45)},
      {"29 Feb 2024, every 4 years", rule(Frequency::yearly, 4),
       at(2024, 2, 29, 10), at(2028, 2, 29, 10)},
      {"summer date", rule(Frequency::yearly, 2), at(2025, 7, 1, 17),
       at(2027, 7, 1, 17)},
  });
}

TEST_F(RecurrenceEngineTest, NumbersBeyondTheCalendarGiveNothing) {
  Date after = at(2025, 3, 12);
  const int64_t huge[] = {
      kMax,       kMax / 7, kMax / 7 + 1, INT32_MAX, int64_t{INT32_MAX} + 1,
      100'000'000};
  for (int64_t n : huge)
    for (auto frequency : {Frequency::daily, Frequency::weekly,
                           Frequency::monthly, Frequency::yearly}) {
      EXPECT_FALSE(
          RecurrenceEngine::nextDueDate(after, rule(frequency, n), calendar))
          << rawValue(frequency) << " every " << n;
      EXPECT_FALSE(RecurrenceEngine::nextDueDate(
          after, rule(frequency, n, {2, 4}, 15), calendar))
          << rawValue(frequency) << " every " << n;
    }

  const Date unusable[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e300,
                           -1e300};
  for (Date date : unusable)
    for (auto frequency : kAllFrequencies)
      EXPECT_FALSE(
          RecurrenceEngine::nextDueDate(date, rule(frequency, 1), calendar))
          << rawValue(frequency) << " after " << date;

  // The last day the calendar can form has no successor.
  Date last = at(9999, 12, 31);
  for (auto frequency : kAllFrequencies)
    EXPECT_FALSE(
        RecurrenceEngine::nextDueDate(last, rule(frequency, 1), calendar))
        << rawValue(frequency);
}

} // namespace
} // namespace taskory
