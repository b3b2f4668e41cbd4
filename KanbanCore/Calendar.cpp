#include "KanbanCore/Calendar.h"

#include "KanbanCore/CivilDate.h"
#include "KanbanCore/ZoneFromTZ.h"

#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <vector>

namespace taskory {

namespace {

// Dates this calendar produces stay within the years 1 to 9999: the range of
// the four-digit "yyyy-MM-dd" texts the system reads and writes, and far
// inside what ICU can represent. ICU quietly pins a lenient calendar to its
// own limits instead of failing, so the range is checked here after every
// operation rather than trusted to ICU.
constexpr int64_t kMinYear = 1;
constexpr int64_t kMaxYear = 9999;

// Stored dates outside the produced range are still read (shown, broken into
// components) as long as ICU can represent them; ICU's own limit lies near
// 1.8e14 seconds either side of 1970.
constexpr double kMaxReadableSeconds = 1.8e14;

// Bounds of amounts worth handing to ICU: anything larger certainly leaves
// the year range, and ICU takes 32-bit amounts.
constexpr int64_t kMaxDayAmount = (kMaxYear + 1) * 367;
constexpr int64_t kMaxMonthAmount = (kMaxYear + 1) * 12;
constexpr int64_t kMaxYearAmount = kMaxYear + 1;

bool isReadable(Date date) {
  return std::isfinite(date) && std::fabs(date) <= kMaxReadableSeconds;
}

std::string toUTF8(const icu::UnicodeString &text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::Locale usableLocale(const icu::Locale &wanted) {
  if (!wanted.isBogus() && wanted.getName()[0] != '\0')
    return wanted;
  icu::Locale posix("en_US_POSIX");
  return posix.isBogus() ? icu::Locale::getRoot() : posix;
}

std::unique_ptr<icu::GregorianCalendar>
makeGregorian(std::unique_ptr<icu::TimeZone> zone, const icu::Locale &locale) {
  if (!zone)
    zone.reset(icu::TimeZone::getGMT()->clone());
  if (!zone)
    return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  // The constructor adopts the zone only when it succeeds, so keep a copy for
  // the retry in the root locale.
  std::unique_ptr<icu::TimeZone> spare(zone->clone());
  auto calendar =
      std::make_unique<icu::GregorianCalendar>(zone.release(), locale, status);
  if (U_FAILURE(status)) {
    if (!spare)
      return nullptr;
    status = U_ZERO_ERROR;
    calendar = std::make_unique<icu::GregorianCalendar>(
        spare.release(), icu::Locale::getRoot(), status);
    if (U_FAILURE(status))
      return nullptr;
  }
  // A skipped local time moves forward by the length of the gap: a daily
  // card due 02:30 the day before the spring change comes round 24 hours
  // later at 03:30. Pinning it to the gap's end (03:00) instead would move
  // the whole series to 03:00 for good, since each occurrence is computed
  // from the one before. A repeated local time means its first occurrence.
  calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  calendar->setSkippedWallTimeOption(UCAL_WALLTIME_LAST);
  calendar->setLenient(true);
  // Weeks start on Sunday whatever the locale says, so that week arithmetic
  // does not change with LANG; callers that want Monday ask for it.
  calendar->setFirstDayOfWeek(UCAL_SUNDAY);
  return calendar;
}

} // namespace

struct Calendar::Impl {
  // Null only when ICU could not build any calendar at all (no data); every
  // operation then gives nothing.
  std::unique_ptr<icu::GregorianCalendar> calendar;
  icu::Locale locale;
  // Formatters are costly to build and listing many cards formats many
  // dates, so each calendar keeps the ones it has used.
  mutable std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>,
                   std::less<>>
      formatters;

  // The first day (since 1970, local) that directComponents computes: the
  // first of January after the calendar's switch from the Julian calendar.
  double firstDirectDay = HUGE_VAL;

  Impl(std::unique_ptr<icu::TimeZone> zone, const icu::Locale &wanted)
      : locale(usableLocale(wanted)) {
    calendar = makeGregorian(std::move(zone), locale);
    if (calendar) {
      // The switch is an instant; a day's margin after it covers every zone
      // offset.
      const double switchDay =
          std::floor(calendar->getGregorianChange() / 86400000.0) + 1;
      if (std::fabs(switchDay) < 1e9) {
        const CivilDate civil = civilFromDays(static_cast<int64_t>(switchDay));
        const int64_t year =
            civil.month == 1 && civil.day == 1 ? civil.year : civil.year + 1;
        firstDirectDay = static_cast<double>(daysFromCivil(year, 1, 1));
      }
    }
  }

  Impl(const Impl &other)
      : locale(other.locale), firstDirectDay(other.firstDirectDay) {
    if (other.calendar)
      calendar.reset(other.calendar->clone());
  }

  // Positions the calendar at `date`; false when it cannot be represented.
  bool setDate(Date date) const {
    if (!calendar || !isReadable(date))
      return false;
    UErrorCode status = U_ZERO_ERROR;
    calendar->setTime(date * 1000.0, status);
    return U_SUCCESS(status);
  }

  // The fields of `date` computed from the zone's offset at that instant,
  // for the days where this calendar is plainly the proleptic Gregorian one
  // (after its switch from the Julian calendar). ICU derives the same fields
  // through its generic calendar machinery at some thousands of instructions
  // a date, and an overview shows thousands of dates. Nothing for other
  // days: ICU answers those.
  std::optional<Components> directComponents(Date date) const {
    constexpr double kMillisPerDay = 86400000.0;
    const double millis = date * 1000.0;
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    calendar->getTimeZone().getOffset(millis, false, raw, dst, status);
    if (U_FAILURE(status))
      return std::nullopt;
    const double local = millis + raw + dst;
    const double days = std::floor(local / kMillisPerDay);
    const double inDay = local - days * kMillisPerDay;
    if (!(days >= firstDirectDay) || !(inDay >= 0 && inDay < kMillisPerDay))
      return std::nullopt;
    Components parts;
    const auto civil = civilFromDays(static_cast<int64_t>(days));
    parts.year = civil.year;
    parts.month = civil.month;
    parts.day = civil.day;
    const auto milliseconds = static_cast<int32_t>(inDay);
    parts.hour = milliseconds / 3600000;
    parts.minute = milliseconds / 60000 % 60;
    parts.second = milliseconds / 1000 % 60;
    // 1970-01-01 was a Thursday (5 with Sunday as 1).
    parts.weekday =
        static_cast<int>((static_cast<int64_t>(days) % 7 + 7 + 4) % 7) + 1;
    return parts;
  }

  int field(UCalendarDateFields which, UErrorCode &status) const {
    return calendar->get(which, status);
  }

  // The calendar's current instant, when it lies in the supported years.
  std::optional<Date> result() const {
    UErrorCode status = U_ZERO_ERROR;
    UDate millis = calendar->getTime(status);
    if (U_FAILURE(status) || !std::isfinite(millis))
      return std::nullopt;
    int year = field(UCAL_EXTENDED_YEAR, status);
    if (U_FAILURE(status) || year < kMinYear || year > kMaxYear)
      return std::nullopt;
    return millis / 1000.0;
  }

  std::optional<Date> adding(Date date, UCalendarDateFields unit,
                             int64_t amount, int64_t limit) const {
    if (amount > limit || amount < -limit || !setDate(date))
      return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    calendar->add(unit, static_cast<int32_t>(amount), status);
    if (U_FAILURE(status))
      return std::nullopt;
    auto moved = result();
    if (!moved)
      return std::nullopt;
    // Month and year steps recompute from fields at millisecond precision;
    // carry the finer fraction over so the time of day stays exact.
    double millis = date * 1000.0;
    double fraction = millis - std::floor(millis);
    double movedMillis = *moved * 1000.0;
    if (movedMillis == std::floor(movedMillis))
      movedMillis += fraction;
    return movedMillis / 1000.0;
  }
};

Calendar::Calendar(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Calendar Calendar::current() {
  // A locale that is not installed falls back to root data inside ICU.
  return Calendar(std::make_unique<Impl>(zoneFromTZ(std::getenv("TZ")),
                                         icu::Locale::getDefault()));
}

Calendar Calendar::fromTZ(const char *tz, std::string_view localeID) {
  return Calendar(std::make_unique<Impl>(
      zoneFromTZ(tz), icu::Locale(std::string(localeID).c_str())));
}

Calendar::Calendar(std::string_view timeZoneID, std::string_view localeID) {
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(
      icu::UnicodeString::fromUTF8(icu::StringPiece(
          timeZoneID.data(), static_cast<int32_t>(timeZoneID.size())))));
  icu::Locale locale(std::string(localeID).c_str());
  impl_ = std::make_unique<Impl>(std::move(zone), locale);
}

Calendar::Calendar(const Calendar &other)
    : impl_(std::make_unique<Impl>(*other.impl_)) {}

Calendar &Calendar::operator=(const Calendar &other) {
  if (this != &other)
    impl_ = std::make_unique<Impl>(*other.impl_);
  return *this;
}

Calendar::Calendar(Calendar &&) noexcept = default;
Calendar &Calendar::operator=(Calendar &&) noexcept = default;
Calendar::~Calendar() = default;

void Calendar::setFirstWeekday(int weekday) {
  impl_->formatters.clear();
  if (impl_->calendar && weekday >= UCAL_SUNDAY && weekday <= UCAL_SATURDAY)
    impl_->calendar->setFirstDayOfWeek(
        static_cast<UCalendarDaysOfWeek>(weekday));
}

int Calendar::firstWeekday() const {
  if (!impl_->calendar)
    return UCAL_SUNDAY;
  return impl_->calendar->getFirstDayOfWeek();
}

Calendar::Components Calendar::components(Date date) const {
  Components parts;
  if (!impl_->calendar || !isReadable(date))
    return parts;
  if (auto direct = impl_->directComponents(date))
    return *direct;
  if (!impl_->setDate(date))
    return parts;
  UErrorCode status = U_ZERO_ERROR;
  parts.year = impl_->field(UCAL_EXTENDED_YEAR, status);
  parts.month = impl_->field(UCAL_MONTH, status) + 1;
  parts.day = impl_->field(UCAL_DATE, status);
  parts.hour = impl_->field(UCAL_HOUR_OF_DAY, status);
  parts.minute = impl_->field(UCAL_MINUTE, status);
  parts.second = impl_->field(UCAL_SECOND, status);
  parts.weekday = impl_->field(UCAL_DAY_OF_WEEK, status);
  return U_SUCCESS(status) ? parts : Components{};
}

int Calendar::weekday(Date date) const {
  if (!impl_->setDate(date))
    return 0;
  UErrorCode status = U_ZERO_ERROR;
  int value = impl_->field(UCAL_DAY_OF_WEEK, status);
  return U_SUCCESS(status) ? value : 0;
}

bool Calendar::isWeekend(Date date) const {
  int day = weekday(date);
  return day == UCAL_SATURDAY || day == UCAL_SUNDAY;
}

Date Calendar::startOfDay(Date date) const {
  if (!impl_->setDate(date))
    return date;
  auto &calendar = *impl_->calendar;
  calendar.set(UCAL_HOUR_OF_DAY, 0);
  calendar.set(UCAL_MINUTE, 0);
  calendar.set(UCAL_SECOND, 0);
  calendar.set(UCAL_MILLISECOND, 0);
  // A skipped midnight means the first instant of the day, not midnight
  // moved on by the gap (which lands later when the gap straddles midnight).
  calendar.setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
  UErrorCode status = U_ZERO_ERROR;
  UDate millis = calendar.getTime(status);
  calendar.setSkippedWallTimeOption(UCAL_WALLTIME_LAST);
  if (U_FAILURE(status) || !std::isfinite(millis))
    return date;
  return millis / 1000.0;
}

std::optional<Date> Calendar::date(int64_t year, int month, int day, int hour,
                                   int minute, int second) const {
  if (!impl_->calendar || year < kMinYear || year > kMaxYear || month < 1 ||
      month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59)
    return std::nullopt;
  auto &calendar = *impl_->calendar;
  // The calendar is lenient (a strict one rejects skipped local times instead
  // of moving them), so the day is checked against the month's length here
  // rather than rolled into the next month.
  calendar.clear();
  calendar.set(UCAL_EXTENDED_YEAR, static_cast<int32_t>(year));
  calendar.set(UCAL_MONTH, month - 1);
  calendar.set(UCAL_DATE, 1);
  UErrorCode status = U_ZERO_ERROR;
  int length = calendar.getActualMaximum(UCAL_DATE, status);
  if (U_FAILURE(status) || day > length)
    return std::nullopt;
  calendar.clear();
  calendar.set(UCAL_EXTENDED_YEAR, static_cast<int32_t>(year));
  calendar.set(UCAL_MONTH, month - 1);
  calendar.set(UCAL_DATE, day);
  calendar.set(UCAL_HOUR_OF_DAY, hour);
  calendar.set(UCAL_MINUTE, minute);
  calendar.set(UCAL_SECOND, second);
  calendar.set(UCAL_MILLISECOND, 0);
  return impl_->result();
}

std::optional<std::pair<Date, Date>> Calendar::range() const {
  auto first = date(kMinYear, 1, 1);
  if (!first)
    return std::nullopt;
  // The year after the range cannot be formed through date(), so its first
  // instant is computed from the fields directly.
  auto &calendar = *impl_->calendar;
  calendar.clear();
  calendar.set(UCAL_EXTENDED_YEAR, static_cast<int32_t>(kMaxYear + 1));
  calendar.set(UCAL_MONTH, UCAL_JANUARY);
  calendar.set(UCAL_DATE, 1);
  UErrorCode status = U_ZERO_ERROR;
  UDate beyond = calendar.getTime(status);
  if (U_FAILURE(status) || !std::isfinite(beyond))
    return std::nullopt;
  // ICU counts in milliseconds; the last one before the next year is the
  // last instant it places inside the range.
  return std::make_pair(*first, (beyond - 1.0) / 1000.0);
}

std::optional<Date> Calendar::addingDays(Date date, int64_t days) const {
  return impl_->adding(date, UCAL_DATE, days, kMaxDayAmount);
}

std::optional<Date> Calendar::addingMonths(Date date, int64_t months) const {
  return impl_->adding(date, UCAL_MONTH, months, kMaxMonthAmount);
}

std::optional<Date> Calendar::addingYears(Date date, int64_t years) const {
  return impl_->adding(date, UCAL_YEAR, years, kMaxYearAmount);
}

std::optional<int> Calendar::daysInMonth(Date date) const {
  if (!impl_->setDate(date))
    return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  int length = impl_->calendar->getActualMaximum(UCAL_DATE, status);
  if (U_FAILURE(status))
    return std::nullopt;
  return length;
}

std::optional<std::pair<Date, Date>> Calendar::weekInterval(Date date) const {
  if (!impl_->calendar || !isReadable(date))
    return std::nullopt;
  Date today = startOfDay(date);
  int day = weekday(today);
  if (day == 0)
    return std::nullopt;
  int back = (day - firstWeekday() + 7) % 7;
  auto first = addingDays(today, -back);
  if (!first)
    return std::nullopt;
  // Adding days keeps the time of day; on a day whose midnight a clock
  // change skipped, that time is not the day's start, hence startOfDay.
  Date start = startOfDay(*first);
  auto next = addingDays(start, 7);
  if (!next)
    return std::nullopt;
  return std::make_pair(start, startOfDay(*next));
}

// Writes the purely numeric patterns that card lists use ("yyyy-MM-dd",
// "yyyy-MM-dd HH:mm") straight from the components, exactly as ICU would for
// a four-digit year: a formatter costs several times more, and a long list
// formats a date or two per card. Nothing for any other pattern.
namespace {

std::optional<std::string> numericFormat(const Calendar::Components &parts,
                                         std::string_view pattern) {
  if (parts.year < 1 || parts.year > 9999)
    return std::nullopt;
  std::string out;
  out.reserve(pattern.size());
  auto put = [&](int64_t value, int width) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i, value /= 10)
      digits[i] = static_cast<char>('0' + value % 10);
    out.append(digits, static_cast<std::size_t>(width));
  };
  while (!pattern.empty()) {
    if (pattern.starts_with("yyyy")) {
      put(parts.year, 4);
      pattern.remove_prefix(4);
    } else if (pattern.starts_with("MM") || pattern.starts_with("dd") ||
               pattern.starts_with("HH") || pattern.starts_with("mm") ||
               pattern.starts_with("ss")) {
      char field = pattern[0];
      int value = field == 'M'   ? parts.month
                  : field == 'd' ? parts.day
                  : field == 'H' ? parts.hour
                  : field == 'm' ? parts.minute
                                 : parts.second;
      put(value, 2);
      pattern.remove_prefix(2);
      if (!pattern.empty() && pattern[0] == field)
        return std::nullopt; // "MMM", "ddd", ...: leave it to ICU
    } else if (pattern[0] == '-' || pattern[0] == ' ' || pattern[0] == ':' ||
               pattern[0] == '.' || pattern[0] == '/') {
      out.push_back(pattern[0]);
      pattern.remove_prefix(1);
    } else {
      return std::nullopt;
    }
  }
  return out;
}

} // namespace

std::string Calendar::format(Date date, std::string_view pattern) const {
  // A date ICU cannot represent (NaN, infinities, beyond its range) gives
  // the empty text; no clamped date is ever shown in its place.
  if (!impl_->calendar || !isReadable(date))
    return {};
  if (auto text = numericFormat(components(date), pattern))
    return *text;
  auto found = impl_->formatters.find(pattern);
  if (found == impl_->formatters.end()) {
    // Dates are read back, by this server and by the programs the assistant
    // hands them to, only in ASCII digits, so the locale's own digits
    // (Arabic-Indic under ar_EG, Myanmar under my_MM) are never written;
    // the locale still names the weekdays and months.
    icu::Locale asciiDigits(impl_->locale);
    UErrorCode status = U_ZERO_ERROR;
    asciiDigits.setKeywordValue("numbers", "latn", status);
    if (U_FAILURE(status))
      asciiDigits = icu::Locale::getRoot();
    status = U_ZERO_ERROR;
    auto formatter = std::make_unique<icu::SimpleDateFormat>(
        icu::UnicodeString::fromUTF8(icu::StringPiece(
            pattern.data(), static_cast<int32_t>(pattern.size()))),
        asciiDigits, status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      formatter = std::make_unique<icu::SimpleDateFormat>(
          icu::UnicodeString::fromUTF8(icu::StringPiece(
              pattern.data(), static_cast<int32_t>(pattern.size()))),
          icu::Locale::getRoot(), status);
      if (U_FAILURE(status))
        return {};
    }
    formatter->setCalendar(*impl_->calendar);
    found =
        impl_->formatters.emplace(std::string(pattern), std::move(formatter))
            .first;
  }
  icu::UnicodeString text;
  icu::FieldPosition position;
  found->second->format(date * 1000.0, text, position);
  return toUTF8(text);
}

std::string Calendar::timeZoneID() const {
  if (!impl_->calendar)
    return "GMT";
  icu::UnicodeString id;
  impl_->calendar->getTimeZone().getID(id);
  return toUTF8(id);
}

std::string Calendar::localeID() const { return impl_->locale.getName(); }

} // namespace taskory
