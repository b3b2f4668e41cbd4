#include "KanbanTools/DateInput.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/CivilDate.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/ToolError.h"

#include <cstdint>
#include <string>

namespace taskory {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `count` digits at `pos`.
std::optional<int> fixedDigits(std::string_view text, std::size_t &pos,
                               std::size_t count) {
  if (pos + count > text.size())
    return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char c = text[pos + i];
    if (!isDigit(c))
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return value;
}

bool expect(std::string_view text, std::size_t &pos, char c) {
  if (pos >= text.size() || text[pos] != c)
    return false;
  ++pos;
  return true;
}

bool isLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30,
                                  31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// An internet date-time: yyyy-MM-ddTHH:mm:ss followed by Z or ±hh:mm, no
// fractions. Every field is range-checked so that "2025-02-30T…" is refused
// instead of rolling over into March.
std::optional<Date> parseInternetDateTime(std::string_view text) {
  std::size_t pos = 0;
  auto year = fixedDigits(text, pos, 4);
  if (!year || !expect(text, pos, '-'))
    return std::nullopt;
  auto month = fixedDigits(text, pos, 2);
  if (!month || !expect(text, pos, '-'))
    return std::nullopt;
  auto day = fixedDigits(text, pos, 2);
  if (!day || !expect(text, pos, 'T'))
    return std::nullopt;
  auto hour = fixedDigits(text, pos, 2);
  if (!hour || !expect(text, pos, ':'))
    return std::nullopt;
  auto minute = fixedDigits(text, pos, 2);
  if (!minute || !expect(text, pos, ':'))
    return std::nullopt;
  auto second = fixedDigits(text, pos, 2);
  if (!second || pos >= text.size())
    return std::nullopt;

  int64_t offsetSeconds = 0;
  const char zone = text[pos++];
  if (zone == 'Z') {
    // UTC
  } else if (zone == '+' || zone == '-') {
    auto offsetHours = fixedDigits(text, pos, 2);
    if (!offsetHours || !expect(text, pos, ':'))
      return std::nullopt;
    auto offsetMinutes = fixedDigits(text, pos, 2);
    if (!offsetMinutes || *offsetHours > 23 || *offsetMinutes > 59)
      return std::nullopt;
    offsetSeconds = (*offsetHours * 60 + *offsetMinutes) * 60;
    if (zone == '-')
      offsetSeconds = -offsetSeconds;
  } else {
    return std::nullopt;
  }
  if (pos != text.size())
    return std::nullopt;

  if (*month < 1 || *month > 12 || *day < 1 ||
      *day > daysInMonth(*year, *month) || *hour > 23 || *minute > 59 ||
      *second > 59)
    return std::nullopt;

  const int64_t days = daysFromCivil(*year, *month, *day);
  const int64_t seconds =
      days * 86400 + *hour * 3600 + *minute * 60 + *second - offsetSeconds;
  return static_cast<Date>(seconds);
}

struct PlainDate {
  int64_t year;
  int month;
  int day;
};

// yyyy-MM-dd: a year of one or more digits (at most 18, so the number cannot
// overflow; the calendar refuses years outside its range anyway), a month and
// a day of one or two digits, nothing before or after.
std::optional<PlainDate> parsePlainDate(std::string_view text) {
  std::size_t pos = 0;
  int64_t year = 0;
  std::size_t yearDigits = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    if (++yearDigits > 18)
      return std::nullopt;
    year = year * 10 + (text[pos] - '0');
    ++pos;
  }
  if (yearDigits == 0 || !expect(text, pos, '-'))
    return std::nullopt;
  auto readShort = [&](int &out) {
    std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && isDigit(text[pos]) && pos - start < 2) {
      value = value * 10 + (text[pos] - '0');
      ++pos;
    }
    out = value;
    return pos > start;
  };
  int month = 0;
  int day = 0;
  if (!readShort(month) || !expect(text, pos, '-') || !readShort(day) ||
      pos != text.size())
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
    return std::nullopt;
  return PlainDate{year, month, day};
}

PlainDate nextDay(PlainDate date) {
  if (date.day < daysInMonth(date.year, date.month))
    return {date.year, date.month, date.day + 1};
  if (date.month < 12)
    return {date.year, date.month + 1, 1};
  return {date.year + 1, 1, 1};
}

bool sameDay(const Calendar::Components &c, const PlainDate &date) {
  return c.year == date.year && c.month == date.month && c.day == date.day;
}

std::string dateError(std::string_view text) {
  return "Datum nicht lesbar: " + std::string(text) +
         " (erwartet YYYY-MM-DD oder ISO-8601)";
}

} // namespace

std::optional<Date> parseOptionalDate(std::string_view text,
                                      const Calendar &calendar) {
  const std::string lowered = text::asciiLowercased(text);
  if (lowered.empty() || lowered == "none" || lowered == "null")
    return std::nullopt;
  if (auto instant = parseInternetDateTime(text))
    return instant;
  if (auto plain = parsePlainDate(text)) {
    // Calendar::date already gives the first kDueHour:00 of a day that has
    // it twice and the next existing time when that hour is skipped.
    // The result must lie on the day asked for, or on the next one when the
    // whole rest of the day is skipped (a time zone that jumped over a date).
    // Anything else (the ends of the calendar's range, the days a calendar
    // reform dropped) would be a plainly wrong date, so it is unreadable.
    const PlainDate following = nextDay(*plain);
    auto acceptable = [&](std::optional<Date> date) {
      if (!date)
        return false;
      const Calendar::Components c = calendar.components(*date);
      return sameDay(c, *plain) || sameDay(c, following);
    };
    if (auto date =
            calendar.date(plain->year, plain->month, plain->day, kDueHour);
        acceptable(date))
      return date;
    if (auto midnight = calendar.date(plain->year, plain->month, plain->day);
        acceptable(midnight))
      return midnight;
  }
  throw ToolError{dateError(text)};
}

Date dueWithinDays(const Calendar &calendar, Date now, int64_t days) {
  if (auto limit = calendar.addingDays(now, days))
    return *limit;
  const auto range = calendar.range();
  if (!range || days == 0)
    return now;
  return days > 0 ? range->second : range->first;
}

} // namespace taskory
