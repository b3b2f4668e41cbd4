#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace taskory {

// The one calendar type of the program: Gregorian, in one time zone, with the
// locale used for weekday names. Weekday numbers are 1 = Sunday ... 7 =
// Saturday; the weekend is Saturday and Sunday. Adding days keeps the local
// time of day across daylight-saving changes, and a local time that a clock
// change skips moves forward by the length of the gap (02:30 on the spring
// change day becomes 03:30); adding months or years pins the day to the end
// of a shorter month. Every operation that can leave the
// calendar's range returns nothing instead of a wrong date; the range is the
// local years 1 to 9999 (before 15 October 1582 days count in the Julian
// calendar, as in ICU). Stored dates beyond it are still broken down and
// formatted while ICU can represent them; NaN, infinities and dates beyond
// ICU's range give zero components, weekday 0, an unchanged startOfDay and an
// empty format. Weeks start on Sunday until setFirstWeekday says otherwise,
// whatever the locale. Copyable; not thread-safe (like the ICU object it
// wraps).
class Calendar {
public:
  struct Components {
    int64_t year = 0;
    int month = 0; // 1...12
    int day = 0;   // 1...31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0; // 1 = Sunday ... 7 = Saturday
  };

  // The user's calendar: the time zone TZ names (see fromTZ) and ICU's
  // default locale (LC_ALL/LANG). Never throws, also for locales that are not
  // installed.
  static Calendar current();
  // A calendar in the zone a TZ value names, read as the C library reads it:
  // unset (nullptr) means /etc/localtime and empty means UTC; a leading ':'
  // is dropped; a zone name ("Europe/Berlin"), a path to a zone file (under
  // /usr/share/zoneinfo, a link to one such as /etc/localtime, or a copy),
  // or a POSIX rule ("CET-1CEST,M3.5.0,M10.5.0/3"). Anything else is UTC, as
  // it is for the C library. A zone name ICU knows counts even where the
  // system has no zone files.
  static Calendar fromTZ(const char *tz, std::string_view localeID);
  // A calendar in the given IANA time zone and ICU locale ("Europe/Berlin",
  // "de_DE"): for tests and fixed set-ups.
  Calendar(std::string_view timeZoneID, std::string_view localeID);

  Calendar(const Calendar &other);
  Calendar &operator=(const Calendar &other);
  Calendar(Calendar &&) noexcept;
  Calendar &operator=(Calendar &&) noexcept;
  ~Calendar();

  // 1 = Sunday (the default) ... 7; 2 makes weeks run Monday to Sunday.
  void setFirstWeekday(int weekday);
  int firstWeekday() const;

  Components components(Date date) const;
  int weekday(Date date) const;
  bool isWeekend(Date date) const;

  // Midnight at the beginning of the day (or the first instant of the day
  // when midnight does not exist).
  Date startOfDay(Date date) const;
  // The local day `year-month-day` at hour:minute:second. A time that a clock
  // change skips moves forward by the length of the gap; a time that occurs
  // twice gives the first occurrence. Nothing when a component is out of range
  // or the date cannot be formed.
  std::optional<Date> date(int64_t year, int month, int day, int hour = 0,
                           int minute = 0, int second = 0) const;

  // The first and the last instant of the calendar's range (local
  // 0001-01-01 00:00 and the millisecond before 10000-01-01 00:00), for callers
  // that clamp a far date to the range instead of dropping it. Nothing only
  // when ICU could not build a calendar.
  std::optional<std::pair<Date, Date>> range() const;

  std::optional<Date> addingDays(Date date, int64_t days) const;
  std::optional<Date> addingMonths(Date date, int64_t months) const;
  std::optional<Date> addingYears(Date date, int64_t years) const;

  // Number of days in the month containing `date`.
  std::optional<int> daysInMonth(Date date) const;
  // [start, end) of the week (by firstWeekday) containing `date`.
  std::optional<std::pair<Date, Date>> weekInterval(Date date) const;

  // ICU pattern formatting in this calendar's zone and locale, e.g.
  // "yyyy-MM-dd", "yyyy-MM-dd HH:mm", "EEEE dd.MM.".
  std::string format(Date date, std::string_view pattern) const;

  std::string timeZoneID() const;
  std::string localeID() const;

private:
  struct Impl;
  explicit Calendar(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

} // namespace taskory
