#include "KanbanCore/Calendar.h"

#include "KanbanCore/RecurrenceEngine.h"

#include <gtest/gtest.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <memory>
#include <string_view>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class CalendarTest : public ::testing::Test {
protected:
  Calendar calendar{"Europe/Berlin", "de_DE"};

  // A local wall time in Berlin.
  Date at(int year, int month, int day, int hour = 9, int minute = 0,
          int second = 0) const {
    return calendar.date(year, month, day, hour, minute, second).value();
  }
  std::string text(std::optional<Date> date) const {
    return date ? calendar.format(*date, "EEE yyyy-MM-dd HH:mm:ss") : "-";
  }
  // A rule field by field, so that stored intervals below 1 stay as they are.
  static RecurrenceRule rule(F frequency, int64_t interval,
                             std::vector<int64_t> days = {},
                             std::optional<int64_t> dayOfMonth = {}) {
    RecurrenceRule r(frequency, 1, std::move(days), dayOfMonth);
    r.interval = interval;
    return r;
  }
};

TEST_F(CalendarTest, LocalTimesAroundClockChanges) {
  const std::vector<std::tuple<Date, Date, double>> cases = {
      {at(2025, 3, 30, 2, 30), at(2025, 3, 30, 3, 30), 0}, // gap: moved by it
      {at(2025, 10, 26, 2, 30), 1761438600.0, 0}, // twice: the first (CEST)
      {*calendar.addingDays(at(2025, 3, 29, 17), 1), at(2025, 3, 29, 17), 23},
      {*calendar.addingDays(at(2025, 10, 25, 17), 1), at(2025, 10, 25, 17), 25},
      {*calendar.addingDays(at(2025, 3, 29, 2, 30), 1), at(2025, 3, 30, 3, 30),
       0},
      {*calendar.addingMonths(at(2025, 1, 31), 1), at(2025, 2, 28), 0},
      {*calendar.addingYears(at(2024, 2, 29), 1), at(2025, 2, 28), 0}};
  for (const auto &[got, from, hours] : cases)
    EXPECT_EQ(got - from, hours * 3600) << text(got);
  // Midnight skipped (Santiago, 7 September 2025): the day starts at 01:00.
  Calendar chile("America/Santiago", "es_CL");
  EXPECT_EQ(
      chile.format(chile.startOfDay(*chile.date(2025, 9, 7, 12)), "HH:mm"),
      "01:00");
  // Friday 23:30 UTC is already Saturday in Berlin.
  EXPECT_TRUE(calendar.isWeekend(1741995000.0));
  calendar.setFirstWeekday(2);
  auto week = calendar.weekInterval(at(2025, 3, 30, 12)).value();
  EXPECT_EQ(text(week.first) + " / " + text(week.second),
            "Mo. 2025-03-24 00:00:00 / Mo. 2025-03-31 00:00:00");
  EXPECT_EQ(week.second - week.first, 7 * 86400 - 3600);
}

TEST_F(CalendarTest, NothingBeyondTheCalendarNorAnyCrash) {
  EXPECT_FALSE(calendar.date(2025, 2, 29) || calendar.date(2025, 1, 1, 24) ||
               calendar.date(10000, 1, 1) || calendar.date(kMin, 1, 1));
  EXPECT_TRUE(calendar.date(9999, 12, 31, 23, 59, 59));
  for (Date date : {kNaN, -kInf, 1e15}) {
    EXPECT_FALSE(calendar.addingDays(date, 1) || calendar.weekInterval(date));
    EXPECT_EQ(calendar.format(date, "yyyy-MM-dd"), "") << date;
    EXPECT_EQ(calendar.weekday(date), 0) << date;
  }
  for (int64_t amount : {kMin, int64_t{5'000'000}})
    EXPECT_FALSE(calendar.addingDays(at(2025, 3, 12), amount) ||
                 calendar.addingMonths(at(2025, 3, 12), amount) ||
                 calendar.addingYears(at(2025, 3, 12), amount))
        << amount;
  EXPECT_FALSE(calendar.addingYears(at(2025, 3, 12), 7975)) << "not pinned";
  EXPECT_FALSE(calendar.addingDays(at(9999, 12, 31), 1));
  EXPECT_EQ(calendar.format(1e12, "yyyy"), "33658") << "stored dates show";
  const auto [first, last] = calendar.range().value();
  EXPECT_EQ(calendar.format(first, "yyyy-MM-dd HH:mm:ss") + " / " +
                calendar.format(last, "yyyy-MM-dd HH:mm:ss"),
            "0001-01-01 00:00:00 / 9999-12-31 23:59:59");
  EXPECT_TRUE(calendar.addingDays(last, 0)) << "the last instant is inside";
}

TEST_F(CalendarTest, AnUnknownZoneBehavesAsUTC) {
  Calendar odd("No/Such_Zone", "xx_INVALID");
  EXPECT_EQ(odd.format(*odd.date(2025, 3, 12, 17), "HH:mm"), "17:00");
}

// Fields of an instant are what ICU's Gregorian calendar in the same zone
// says, whichever way they are computed: around clock changes, in zones with
// odd offsets or a skipped day, with fractions of a second, at the switch
// from the Julian calendar and past the year 9999.
TEST(CalendarComponents, AreICUsFieldsInEveryZoneAtEveryInstant) {
  std::vector<Date> instants;
  for (Date from : {1743120000.0, 1761264000.0, 1325203200.0 /* Apia */})
    for (int quarter = 0; quarter < 6 * 96; ++quarter)
      instants.push_back(from + quarter * 900.0);
  uint64_t seed = 42;
  const auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(seed >> 11) / static_cast<double>(1ULL << 53);
  };
  for (int i = 0; i < 4000; ++i) {
    // Years 1 to 10999, whole seconds and odd fractions.
    const Date whole = std::floor(-62135596800.0 + next() * 3.47e11);
    instants.push_back(whole);
    instants.push_back(whole + next());
    instants.push_back(whole - 0.0005);
  }
  const Date day = 86400;
  for (Date edge : {-12219292800.0 /* 1582-10-15 */, -12212553600.0,
                    -12244089600.0, 253402300799.0 /* 9999-12-31 23:59:59 */,
                    -62135596800.0, 0.0, 1.8e14, -1.8e14})
    for (Date shift : {-2 * day, -day, -1.0, -0.001, 0.0, 0.001, 1.0, day})
      // Beyond ±1.8e14 the calendar reads nothing (see above).
      if (std::fabs(edge + shift) <= 1.8e14)
        instants.push_back(edge + shift);

  for (const char *zone :
       {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
        "Asia/Kathmandu", "Pacific/Apia", "America/St_Johns", "UTC",
        "Pacific/Kiritimati", "America/Santiago", "Africa/Casablanca"}) {
    const Calendar calendar(zone, "de_DE");
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar icu(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zone)),
        icu::Locale::getRoot(), status);
    icu.setLenient(true);
    ASSERT_TRUE(U_SUCCESS(status)) << zone;
    int differences = 0;
    for (Date instant : instants) {
      status = U_ZERO_ERROR;
      icu.setTime(instant * 1000.0, status);
      const auto field = [&](UCalendarDateFields which) {
        return static_cast<int64_t>(icu.get(which, status));
      };
      const std::vector<int64_t> expected = {
          field(UCAL_EXTENDED_YEAR), field(UCAL_MONTH) + 1, field(UCAL_DATE),
          field(UCAL_HOUR_OF_DAY),   field(UCAL_MINUTE),    field(UCAL_SECOND),
          field(UCAL_DAY_OF_WEEK)};
      ASSERT_TRUE(U_SUCCESS(status)) << zone << " at " << instant;
      const Calendar::Components got = calendar.components(instant);
      const std::vector<int64_t> actual = {got.year,   got.month,  got.day,
                                           got.hour,   got.minute, got.second,
                                           got.weekday};
      if (actual != expected && ++differences <= 3)
        ADD_FAILURE() << zone << " at " << std::setprecision(17) << instant
                      << ": " << testing::PrintToString(actual)
                      << " instead of " << testing::PrintToString(expected);
    }
    EXPECT_EQ(differences, 0) << zone;
  }
}

// Dates are read back only in ASCII digits, so locales whose numbers use
// digits of their own still write those; the weekday stays the locale's.
TEST_F(CalendarTest, DigitsAreASCIIInEveryLocale) {
  const std::pair<const char *, const char *> cases[] = {
      {"ar_EG", "الأربعاء"},
      {"fa_IR", "چهارشنبه"},
      {"ar_SA", "الأربعاء"},
      {"my_MM", "ဗုဒ္ဓဟူး"},
      {"ar_EG@numbers=arab", "الأربعاء"},
      {"hi_IN@numbers=deva", "बुधवार"}};
  const Date date = at(2025, 3, 12, 17, 5);
  for (const auto &[locale, weekday] : cases) {
    const Calendar local("Europe/Berlin", locale);
    EXPECT_EQ(local.format(date, "yyyy-MM-dd HH:mm"), "2025-03-12 17:05")
        << locale;
    EXPECT_EQ(local.format(date, "EEEE dd.MM."),
              std::string(weekday) + " 12.03.")
        << locale;
    EXPECT_EQ(local.format(1e12, "yyyy"), "33658") << locale << " past 9999";
  }
}

struct NextDueCase {
  std::string_view what;
  RecurrenceRule rule;
  Date after;
  std::string expected;
};

class NextDueDate : public CalendarTest {
protected:
  void expectNext(std::initializer_list<NextDueCase> cases) {
    for (const NextDueCase &c : cases)
      EXPECT_EQ(text(RecurrenceEngine::nextDueDate(c.after, c.rule, calendar)),
                c.expected)
          << c.what << ": " << c.rule.encode() << " after " << text(c.after);
  }
};

// 10 March 2025 is a Monday.
TEST_F(NextDueDate, StepsByTheRulesFrequencyTimesItsInterval) {
  expectNext({{"every third day keeps the time", rule(F::daily, 3),
               at(2025, 3, 12, 17, 30, 15), "Sa. 2025-03-15 17:30:15"},
              {"an interval below one means one", rule(F::daily, -4),
               at(2025, 3, 12), "Do. 2025-03-13 09:00:00"},
              {"weekdays skip the weekend", rule(F::weekdays, 5),
               at(2025, 3, 14), "Mo. 2025-03-17 09:00:00"},
              {"every second Wednesday", rule(F::weekly, 2, {4}),
               at(2025, 3, 12), "Mi. 2025-03-26 09:00:00"},
              {"weekly on Sunday", rule(F::weekly, 1, {1}), at(2025, 3, 15),
               "So. 2025-03-16 09:00:00"}});
}

TEST_F(NextDueDate, AMonthTooShortForTheDayEndsOnItsLastDay) {
  expectNext({{"the 31st in a leap February", rule(F::monthly, 1, {}, 31),
               at(2024, 1, 15, 10, 30, 45), "Do. 2024-02-29 10:30:00"},
              {"from 31 January", rule(F::monthly, 1),
               at(2025, 1, 31, 10, 30, 45), "Fr. 2025-02-28 10:30:45"}});
}

// Weekday numbers outside 1...7 count literally while that moves forward,
// and never step backwards or overflow.
TEST_F(NextDueDate, WeekdaysOutsideTheWeekNeverStepBackwards) {
  expectNext({{"day 8", rule(F::weekly, 1, {8}), at(2025, 3, 10),
               "So. 2025-03-16 09:00:00"},
              {"the smallest day", rule(F::weekly, 1, {kMin}), at(2025, 3, 12),
               "Mi. 2025-03-19 09:00:00"},
              {"smallest and largest day, largest interval",
               rule(F::weekly, kMax, {kMin, kMax}), at(2025, 3, 12), "-"}});
  for (int64_t far : {int64_t{2'000'000'000}, int64_t{2'100'000'000},
                      int64_t{3'000'000'000}, kMax})
    expectNext({{"beyond the calendar", rule(F::weekly, 1, {far}),
                 at(2025, 3, 10), "-"}});
}

TEST_F(NextDueDate, IntervalsBeyondTheCalendarGiveNoDate) {
  for (auto frequency : kAllFrequencies)
    for (int64_t n : {kMax, kMax / 7 + 1, int64_t{INT32_MAX} + 1})
      EXPECT_EQ(RecurrenceEngine::nextDueDate(
                    at(2025, 3, 12), rule(frequency, n, {2, 4}, 15), calendar)
                    .has_value(),
                frequency == F::weekdays) // which ignores the interval
          << rawValue(frequency) << " every " << n;
}

TEST_F(NextDueDate, NoneAfterAnUnusableOrTheLastDate) {
  for (auto frequency : kAllFrequencies)
    for (Date date : {kNaN, at(9999, 12, 31)})
      EXPECT_FALSE(
          RecurrenceEngine::nextDueDate(date, rule(frequency, 1), calendar))
          << rawValue(frequency) << " after " << date;
}

} // namespace
} // namespace taskory
