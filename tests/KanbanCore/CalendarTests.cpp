#include "KanbanCore/Calendar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace taskory {
namespace {

// Seconds since 1970 of a UTC wall time, independent of the code under test.
Date utc(int year, int month, int day, int hour = 0, int minute = 0,
         int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return static_cast<Date>(timegm(&t));
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class BerlinCalendar : public ::testing::Test {
protected:
  Calendar calendar{"Europe/Berlin", "de_DE"};
};

TEST_F(BerlinCalendar, LocalTimesAroundDaylightSavingChanges) {
  struct Case {
    int year, month, day, hour, minute;
    Date expected;
  } cases[] = {
      {2025, 3, 14, 17, 0, utc(2025, 3, 14, 16)},   // winter time
      {2025, 7, 1, 17, 0, utc(2025, 7, 1, 15)},     // summer time
      {2025, 3, 30, 17, 0, utc(2025, 3, 30, 15)},   // spring-forward day
      {2025, 10, 26, 17, 0, utc(2025, 10, 26, 16)}, // fall-back day
      // 02:30 does not exist on 30 March: the next existing time is 03:00.
      {2025, 3, 30, 2, 30, utc(2025, 3, 30, 1)},
      // 02:30 occurs twice on 26 October: the first is still summer time.
      {2025, 10, 26, 2, 30, utc(2025, 10, 26, 0, 30)},
      {2025, 10, 26, 3, 0, utc(2025, 10, 26, 2)},
  };
  for (const auto &c : cases) {
    auto date = calendar.date(c.year, c.month, c.day, c.hour, c.minute);
    ASSERT_TRUE(date) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(*date, c.expected) << c.year << "-" << c.month << "-" << c.day
                                 << " " << c.hour << ":" << c.minute;
  }
}

TEST_F(BerlinCalendar, ComponentsAndWeekdays) {
  auto parts = calendar.components(utc(2025, 3, 12, 10, 5, 7));
  EXPECT_EQ(parts.year, 2025);
  EXPECT_EQ(parts.month, 3);
  EXPECT_EQ(parts.day, 12);
  EXPECT_EQ(parts.hour, 11);
  EXPECT_EQ(parts.minute, 5);
  EXPECT_EQ(parts.second, 7);
  EXPECT_EQ(parts.weekday, 4);

  struct Case {
    Date date;
    int weekday;
    bool weekend;
  } cases[] = {
      {utc(2025, 3, 9, 12), 1, true},   // Sunday
      {utc(2025, 3, 10, 12), 2, false}, // Monday
      {utc(2025, 3, 14, 12), 6, false}, // Friday
      {utc(2025, 3, 15, 12), 7, true},  // Saturday
      // Friday 23:30 UTC is already Saturday in Berlin.
      {utc(2025, 3, 14, 23, 30), 7, true},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(calendar.weekday(c.date), c.weekday) << c.date;
    EXPECT_EQ(calendar.isWeekend(c.date), c.weekend) << c.date;
  }
}

TEST_F(BerlinCalendar, StartOfDayFollowsTheLocalDay) {
  struct Case {
    Date date, expected;
  } cases[] = {
      {utc(2025, 3, 12, 10), utc(2025, 3, 11, 23)},
      {utc(2025, 3, 30, 12), utc(2025, 3, 29, 23)},   // 23-hour day
      {utc(2025, 10, 26, 22), utc(2025, 10, 25, 22)}, // 25-hour day
      {utc(2025, 3, 11, 23), utc(2025, 3, 11, 23)},   // midnight itself
  };
  for (const auto &c : cases)
    EXPECT_EQ(calendar.startOfDay(c.date), c.expected) << c.date;
}

TEST(Calendar, StartOfDayWhenMidnightIsSkipped) {
  // Santiago moved its clocks from 00:00 to 01:00 on 7 September 2025.
  Calendar chile("America/Santiago", "es_CL");
  Date noon = *chile.date(2025, 9, 7, 12);
  Date start = chile.startOfDay(noon);
  auto parts = chile.components(start);
  EXPECT_EQ(parts.day, 7);
  EXPECT_EQ(parts.hour, 1);
  EXPECT_EQ(parts.minute, 0);
}

TEST_F(BerlinCalendar, AddingDaysKeepsTheLocalTime) {
  struct Case {
    Date from;
    int64_t days;
    Date expected;
  } cases[] = {
      // 17:00 CET + 1 day = 17:00 CEST: only 23 hours later.
      {utc(2025, 3, 29, 16), 1, utc(2025, 3, 30, 15)},
      // 09:00 CEST + 1 day = 09:00 CET: 25 hours later.
      {utc(2025, 10, 25, 7), 1, utc(2025, 10, 26, 8)},
      {utc(2025, 3, 31, 15), -2, utc(2025, 3, 29, 16)},
      {utc(2025, 3, 12, 10, 0, 30), 0, utc(2025, 3, 12, 10, 0, 30)},
      // 02:30 on the day before the gap lands at the end of the gap.
      {utc(2025, 3, 29, 1, 30), 1, utc(2025, 3, 30, 1)},
  };
  for (const auto &c : cases) {
    auto result = calendar.addingDays(c.from, c.days);
    ASSERT_TRUE(result) << c.from << " + " << c.days;
    EXPECT_EQ(*result, c.expected) << c.from << " + " << c.days;
  }
  // Fractions of a second survive.
  EXPECT_EQ(*calendar.addingDays(utc(2025, 3, 29, 16) + 0.25, 1),
            utc(2025, 3, 30, 15) + 0.25);
}

TEST_F(BerlinCalendar, AddingMonthsAndYearsPinsToTheMonthEnd) {
  struct Case {
    Date from;
    int64_t months, years;
    Date expected;
  } cases[] = {
      {utc(2025, 1, 31, 9), 1, 0, utc(2025, 2, 28, 9)},
      {utc(2024, 1, 31, 9), 1, 0, utc(2024, 2, 29, 9)},
      {utc(2025, 3, 31, 8), 1, 0, utc(2025, 4, 30, 8)},
      {utc(2025, 1, 31, 9), 2, 0, utc(2025, 3, 31, 8)}, // into summer time
      {utc(2025, 12, 15, 9), 1, 0, utc(2026, 1, 15, 9)},
      {utc(2025, 3, 15, 9), -3, 0, utc(2024, 12, 15, 9)},
      {utc(2024, 2, 29, 9), 0, 1, utc(2025, 2, 28, 9)},
      {utc(2024, 2, 29, 9), 0, 4, utc(2028, 2, 29, 9)},
  };
  for (const auto &c : cases) {
    auto result = c.months ? calendar.addingMonths(c.from, c.months)
                           : calendar.addingYears(c.from, c.years);
    ASSERT_TRUE(result) << c.from << " +" << c.months << "m +" << c.years
                        << "y";
    EXPECT_EQ(*result, c.expected)
        << c.from << " +" << c.months << "m +" << c.years << "y";
  }
  EXPECT_EQ(*calendar.addingMonths(utc(2025, 1, 15, 9, 30, 45) + 0.5, 1),
            utc(2025, 2, 15, 9, 30, 45) + 0.5);
}

TEST_F(BerlinCalendar, DaysInMonth) {
  EXPECT_EQ(calendar.daysInMonth(utc(2024, 2, 10)), 29);
  EXPECT_EQ(calendar.daysInMonth(utc(2025, 2, 10)), 28);
  EXPECT_EQ(calendar.daysInMonth(utc(2025, 4, 10)), 30);
  // 31 January 23:30 UTC is already February in Berlin.
  EXPECT_EQ(calendar.daysInMonth(utc(2025, 1, 31, 23, 30)), 28);
}

TEST_F(BerlinCalendar, WeekIntervalHonoursTheFirstWeekday) {
  auto sundayFirst = calendar.weekInterval(utc(2025, 3, 12, 10));
  ASSERT_TRUE(sundayFirst);
  EXPECT_EQ(sundayFirst->first, utc(2025, 3, 8, 23));   // Sunday 9 March
  EXPECT_EQ(sundayFirst->second, utc(2025, 3, 15, 23)); // Sunday 16 March

  calendar.setFirstWeekday(2);
  EXPECT_EQ(calendar.firstWeekday(), 2);
  struct Case {
    Date date, start, end;
  } cases[] = {
      {utc(2025, 3, 12, 10), utc(2025, 3, 9, 23), utc(2025, 3, 16, 23)},
      {utc(2025, 3, 9, 22), utc(2025, 3, 2, 23), utc(2025, 3, 9, 23)},
      {utc(2025, 3, 9, 23), utc(2025, 3, 9, 23), utc(2025, 3, 16, 23)},
      // The week of the spring change is an hour short...
      {utc(2025, 3, 30, 12), utc(2025, 3, 23, 23), utc(2025, 3, 30, 22)},
      // ...and the week of the autumn change an hour long.
      {utc(2025, 10, 22, 12), utc(2025, 10, 19, 22), utc(2025, 10, 26, 23)},
  };
  for (const auto &c : cases) {
    auto week = calendar.weekInterval(c.date);
    ASSERT_TRUE(week) << c.date;
    EXPECT_EQ(week->first, c.start) << c.date;
    EXPECT_EQ(week->second, c.end) << c.date;
  }

  Calendar copy = calendar;
  EXPECT_EQ(copy.firstWeekday(), 2);
  copy.setFirstWeekday(1);
  EXPECT_EQ(calendar.firstWeekday(), 2);
}

TEST_F(BerlinCalendar, ImpossibleComponentsGiveNothing) {
  struct Case {
    int64_t year;
    int month, day, hour, minute, second;
  } cases[] = {
      {2025, 13, 1, 0, 0, 0},     {2025, 0, 1, 0, 0, 0},
      {2025, 1, 32, 0, 0, 0},     {2025, 1, 0, 0, 0, 0},
      {2025, 2, 29, 0, 0, 0},     {2024, 2, 30, 0, 0, 0},
      {2025, 4, 31, 0, 0, 0},     {2025, 1, 1, 24, 0, 0},
      {2025, 1, 1, -1, 0, 0},     {2025, 1, 1, 0, 60, 0},
      {2025, 1, 1, 0, 0, 60},     {0, 1, 1, 0, 0, 0},
      {10000, 1, 1, 0, 0, 0},     {300000, 1, 1, 0, 0, 0},
      {INT64_MAX, 1, 1, 0, 0, 0}, {INT64_MIN, 1, 1, 0, 0, 0},
  };
  for (const auto &c : cases)
    EXPECT_FALSE(
        calendar.date(c.year, c.month, c.day, c.hour, c.minute, c.second))
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":"
        << c.minute << ":" << c.second;
  EXPECT_TRUE(calendar.date(2024, 2, 29));
  EXPECT_TRUE(calendar.date(9999, 12, 31, 23, 59, 59));
  EXPECT_TRUE(calendar.date(1, 1, 1));
}

TEST_F(BerlinCalendar, UnrepresentableDatesGiveNothing) {
  Date ordinary = utc(2025, 3, 12, 10);
  const Date bad[] = {kNaN, kInf, -kInf, 1e300, -1e300, 1e15};
  for (Date date : bad) {
    EXPECT_FALSE(calendar.addingDays(date, 1)) << date;
    EXPECT_FALSE(calendar.addingMonths(date, 1)) << date;
    EXPECT_FALSE(calendar.addingYears(date, 1)) << date;
    EXPECT_FALSE(calendar.daysInMonth(date)) << date;
    EXPECT_FALSE(calendar.weekInterval(date)) << date;
    EXPECT_EQ(calendar.format(date, "yyyy-MM-dd"), "") << date;
    EXPECT_EQ(calendar.weekday(date), 0) << date;
    EXPECT_EQ(calendar.components(date).year, 0) << date;
  }
  EXPECT_TRUE(std::isnan(calendar.startOfDay(kNaN)));

  const int64_t amounts[] = {INT64_MAX, INT64_MIN, INT32_MAX, INT32_MIN,
                             5'000'000};
  for (int64_t amount : amounts) {
    EXPECT_FALSE(calendar.addingDays(ordinary, amount)) << amount;
    EXPECT_FALSE(calendar.addingMonths(ordinary, amount)) << amount;
    EXPECT_FALSE(calendar.addingYears(ordinary, amount)) << amount;
  }
  // Leaving the years 1...9999 gives nothing rather than a pinned date.
  EXPECT_FALSE(calendar.addingYears(ordinary, 8000));
  EXPECT_FALSE(calendar.addingYears(ordinary, -2025));
  EXPECT_FALSE(calendar.addingDays(*calendar.date(9999, 12, 31), 1));
  EXPECT_TRUE(calendar.addingYears(ordinary, 7974));
}

TEST_F(BerlinCalendar, FormatsInItsZoneAndLocale) {
  Date date = utc(2025, 3, 12, 16, 5);
  EXPECT_EQ(calendar.format(date, "yyyy-MM-dd"), "2025-03-12");
  EXPECT_EQ(calendar.format(date, "yyyy-MM-dd HH:mm"), "2025-03-12 17:05");
  EXPECT_EQ(calendar.format(date, "EEEE dd.MM."), "Mittwoch 12.03.");
  EXPECT_EQ(calendar.format(utc(2025, 3, 12, 23, 30), "yyyy-MM-dd"),
            "2025-03-13");
  // A stored date beyond the years this calendar produces is still shown.
  EXPECT_EQ(calendar.format(1e12, "yyyy"), "33658");

  Calendar english("America/New_York", "en_US");
  EXPECT_EQ(english.format(date, "EEEE yyyy-MM-dd HH:mm"),
            "Wednesday 2025-03-12 12:05");
  EXPECT_EQ(english.timeZoneID(), "America/New_York");
  EXPECT_EQ(english.localeID(), "en_US");
}

TEST(Calendar, NumericPatternsMatchTheFormatter) {
  // A doubled quote is a literal quote to ICU, so the second pattern always
  // goes through the ICU formatter while the first may be written directly.
  Calendar berlin("Europe/Berlin", "de_DE");
  for (Date date = utc(2024, 1, 1); date < utc(2026, 1, 1); date += 7919)
    ASSERT_EQ(berlin.format(date, "yyyy-MM-dd HH:mm:ss") + "'",
              berlin.format(date, "yyyy-MM-dd HH:mm:ss''"))
        << date;
  // Before October 1582 the calendar counts Julian days, like ICU's.
  for (Date date : {utc(1, 1, 3), utc(1582, 10, 10), utc(1000, 2, 28)})
    EXPECT_EQ(berlin.format(date, "yyyy-MM-dd") + "'",
              berlin.format(date, "yyyy-MM-dd''"))
        << date;
  EXPECT_EQ(berlin.format(utc(2025, 3, 12), "dd.MM.yyyy"), "12.03.2025");
  EXPECT_EQ(berlin.format(utc(2025, 3, 12), "yyyy-MMM-dd"), "2025-März-12");

  // Locales that write other digits keep them.
  Calendar cairo("Africa/Cairo", "ar_EG");
  EXPECT_EQ(cairo.format(utc(2025, 3, 12, 10), "yyyy-MM-dd"),
            "\u0662\u0660\u0662\u0665-\u0660\u0663-\u0661\u0662");
}

TEST(Calendar, UnknownZoneAndLocaleStillWork) {
  Calendar odd("No/Such_Zone", "xx_INVALID");
  auto date = odd.date(2025, 3, 12, 17);
  ASSERT_TRUE(date);
  EXPECT_EQ(*date, utc(2025, 3, 12, 17)); // an unknown zone behaves as UTC
  EXPECT_EQ(odd.format(*date, "yyyy-MM-dd HH:mm"), "2025-03-12 17:00");
}

TEST(Calendar, CurrentSurvivesGarbageEnvironment) {
  // ICU reads TZ and LANG once per process, so each set-up runs in a fresh
  // process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Env {
    const char *tz, *lang;
  } cases[] = {
      {"garbage", "xx_INVALID"},
      {"", "de_DE.UTF-8@@@!!"},
      {"Europe/Berlin", "\xFF\xFE"},
      {":/nonexistent/zone", "C"},
  };
  for (const auto &env : cases) {
    EXPECT_EXIT(
        {
          setenv("TZ", env.tz, 1);
          setenv("LANG", env.lang, 1);
          setenv("LC_ALL", env.lang, 1);
          Calendar calendar = Calendar::current();
          bool ok =
              calendar.date(2025, 3, 12, 17).has_value() &&
              calendar.format(1741773600.0, "EEEE yyyy-MM-dd").size() > 10;
          std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << env.tz << " " << env.lang;
  }
}

} // namespace
} // namespace taskory
