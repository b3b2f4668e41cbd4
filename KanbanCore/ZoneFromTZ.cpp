#include "KanbanCore/ZoneFromTZ.h"

#include "KanbanCore/CivilDate.h"
#include "KanbanCore/PrivateFiles.h"
#include "KanbanCore/TimeZoneData.h"

#include <unicode/basictz.h>
#include <unicode/dtrule.h>
#include <unicode/rbtz.h>
#include <unicode/simpletz.h>
#include <unicode/tzrule.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taskory {
namespace {

// Transitions beyond what ICU can represent (near 1.8e14 seconds either
// side of 1970) are left out.
constexpr double kMaxReadableSeconds = 1.8e14;

// ICU reads TZ itself, but only zone names: a path such as
// /usr/share/zoneinfo/Europe/Berlin or :/etc/localtime becomes a fixed
// offset (the one of the moment the process started), and a POSIX rule falls
// through to /etc/localtime. The C library, and with it every other program
// of the user, reads all of them as the zone they describe, so the value is
// read here the way the C library reads it.
constexpr std::string_view kZoneDirectory = "/usr/share/zoneinfo";
constexpr std::string_view kDefaultZoneFile = "/etc/localtime";
// Zone files are a few kilobytes; a larger file is not one.
constexpr std::size_t kMaxZoneFileSize = 1 << 20;

icu::UnicodeString fromUTF8(std::string_view text) {
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::unique_ptr<icu::TimeZone> utc() {
  return std::unique_ptr<icu::TimeZone>(
      icu::TimeZone::createTimeZone(icu::UnicodeString(u"UTC")));
}

// A zone from ICU's own data. Custom IDs ("GMT+3") do not count: ICU reads
// their sign the other way round from POSIX, which the rule parser handles.
std::unique_ptr<icu::TimeZone> systemZone(std::string_view name) {
  icu::UnicodeString id = fromUTF8(name);
  icu::UnicodeString canonical;
  UBool isSystemID = false;
  UErrorCode status = U_ZERO_ERROR;
  icu::TimeZone::getCanonicalID(id, canonical, isSystemID, status);
  if (U_FAILURE(status) || !isSystemID)
    return nullptr;
  return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createTimeZone(id));
}

// "Europe/Berlin" for a file under the zone directory, reached directly, by
// a symbolic link (/etc/localtime) or through the posix/ and right/ copies
// of the tree (ICU, like every calendar here, counts no leap seconds, so the
// right/ zones come out as their posix/ twins).
std::optional<std::string> zoneNameOfFile(const std::filesystem::path &file) {
  namespace fs = std::filesystem;
  auto under = [](const fs::path &path,
                  const fs::path &directory) -> std::optional<std::string> {
    const fs::path relative = path.lexically_relative(directory);
    if (relative.empty() || *relative.begin() == ".." ||
        *relative.begin() == ".")
      return std::nullopt;
    std::string name = relative.generic_string();
    for (std::string_view copy : {"posix/", "right/"})
      if (name.starts_with(copy))
        name.erase(0, copy.size());
    return name;
  };
  const fs::path directory(kZoneDirectory);
  if (auto name = under(file.lexically_normal(), directory))
    return name;
  std::error_code error;
  const fs::path real = fs::canonical(file, error);
  if (error)
    return std::nullopt;
  const fs::path realDirectory = fs::canonical(directory, error);
  if (error)
    return std::nullopt;
  return under(real, realDirectory);
}

std::optional<std::string> readZoneFile(const std::filesystem::path &file) {
  // One byte past the limit tells a file that is too large from one that
  // just fits.
  auto bytes = files::readRegularFile(file, kMaxZoneFileSize + 1);
  if (!bytes || bytes->size() > kMaxZoneFileSize)
    return std::nullopt;
  return bytes;
}

constexpr int32_t kMillisPerSecond = 1000;

// The proleptic Gregorian year of an instant in UTC (the instant is within
// kMaxReadableSeconds).
int32_t utcYear(double seconds) {
  return static_cast<int32_t>(
      civilFromDays(static_cast<int64_t>(std::floor(seconds / 86400.0))).year);
}

// The day-of-year forms have no exact ICU rule: "Jn" never counts 29
// February, so it is a fixed month and day; the zero-based "n" counts it, so
// from March on it falls a day earlier in leap years, which this rule does
// not follow (no zone uses that form).
icu::DateTimeRule *changeRule(const TimeZoneData::ChangeDay &day) {
  using Kind = TimeZoneData::ChangeDay::Kind;
  const int32_t millis = day.seconds * kMillisPerSecond;
  if (day.kind == Kind::weekdayOfMonth)
    return new icu::DateTimeRule(day.month - 1, day.week == 5 ? -1 : day.week,
                                 day.weekday + 1, millis,
                                 icu::DateTimeRule::WALL_TIME);
  static constexpr int kMonthLengths[] = {31, 28, 31, 30, 31, 30,
                                          31, 31, 30, 31, 30, 31};
  int dayOfYear =
      std::min(day.kind == Kind::dayOfYear ? day.day : day.day + 1, 365);
  int month = 0;
  while (dayOfYear > kMonthLengths[month])
    dayOfYear -= kMonthLengths[month++];
  return new icu::DateTimeRule(month, dayOfYear, millis,
                               icu::DateTimeRule::WALL_TIME);
}

// The yearly pair of rules from `firstYear` on; the daylight-saving one first.
bool addYearlyRules(icu::RuleBasedTimeZone &zone,
                    const TimeZoneData::Rule &rule, int32_t firstYear) {
  const int32_t raw = rule.standardOffset * kMillisPerSecond;
  const int32_t savings =
      (rule.daylight->offset - rule.standardOffset) * kMillisPerSecond;
  UErrorCode status = U_ZERO_ERROR;
  zone.addTransitionRule(
      new icu::AnnualTimeZoneRule(u"DST", raw, savings,
                                  changeRule(rule.daylight->start), firstYear,
                                  icu::AnnualTimeZoneRule::MAX_YEAR),
      status);
  zone.addTransitionRule(new icu::AnnualTimeZoneRule(
                             u"STD", raw, 0, changeRule(rule.daylight->end),
                             firstYear, icu::AnnualTimeZoneRule::MAX_YEAR),
                         status);
  return U_SUCCESS(status);
}

bool hasDaylightTime(const TimeZoneData::Rule &rule) {
  return rule.daylight && rule.daylight->offset != rule.standardOffset;
}

std::unique_ptr<icu::TimeZone> zoneFromRule(const TimeZoneData::Rule &rule,
                                            std::string_view id) {
  if (!hasDaylightTime(rule))
    return std::make_unique<icu::SimpleTimeZone>(
        rule.standardOffset * kMillisPerSecond, fromUTF8(id));
  auto zone = std::make_unique<icu::RuleBasedTimeZone>(
      fromUTF8(id), new icu::InitialTimeZoneRule(
                        u"STD", rule.standardOffset * kMillisPerSecond, 0));
  if (!addYearlyRules(*zone, rule, 1))
    return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  zone->complete(status);
  if (U_FAILURE(status))
    return nullptr;
  return zone;
}

// A zone file as ICU rules: one rule per local time type with all the
// instants it starts at, then the footer's yearly rules. The file lists
// transitions only until its footer can describe the rest, which may leave
// the footer's changes later in the year of the last transition unlisted;
// those are added as listed ones, and the yearly rules begin the year after.
std::unique_ptr<icu::TimeZone> zoneFromFile(const TimeZoneData::ZoneFile &file,
                                            std::string_view id) {
  struct Type {
    int32_t raw;
    int32_t savings;
    bool operator<(const Type &other) const {
      return std::pair(raw, savings) < std::pair(other.raw, other.savings);
    }
  };
  std::map<Type, std::vector<UDate>> starts;
  // The split into standard offset and saving does not change any local
  // time; it follows the standard offset in force before each change.
  int32_t standard = file.types.front().offset;
  auto typeOf = [&standard](const TimeZoneData::LocalTimeType &local) {
    if (!local.isDaylight) {
      standard = local.offset;
      return Type{local.offset * kMillisPerSecond, 0};
    }
    const int32_t savings =
        local.offset != standard ? local.offset - standard : 3600;
    return Type{(local.offset - savings) * kMillisPerSecond,
                savings * kMillisPerSecond};
  };
  const Type initial = typeOf(file.types.front());
  double last = -kMaxReadableSeconds;
  for (std::size_t i = 0; i < file.transitions.size(); ++i) {
    const auto seconds = static_cast<double>(file.transitions[i]);
    // The "big bang" entries some files carry lie far outside every date
    // that is read or written here.
    if (std::fabs(seconds) > kMaxReadableSeconds)
      continue;
    starts[typeOf(file.types[file.typeIndices[i]])].push_back(seconds * 1000.0);
    last = seconds;
  }

  const auto footer = TimeZoneData::parseRule(file.footer);
  int32_t firstYear = 1;
  if (footer && hasDaylightTime(*footer) && !starts.empty()) {
    const int32_t year = utcYear(last);
    firstYear = year + 1;
    const int32_t raw = footer->standardOffset * kMillisPerSecond;
    const int32_t savings =
        (footer->daylight->offset - footer->standardOffset) * kMillisPerSecond;
    const icu::AnnualTimeZoneRule toDaylight(
        u"DST", raw, savings, changeRule(footer->daylight->start), year, year);
    const icu::AnnualTimeZoneRule toStandard(
        u"STD", raw, 0, changeRule(footer->daylight->end), year, year);
    UDate at = 0;
    if (toDaylight.getStartInYear(year, raw, 0, at) && at > last * 1000.0)
      starts[Type{raw, savings}].push_back(at);
    if (toStandard.getStartInYear(year, raw, savings, at) && at > last * 1000.0)
      starts[Type{raw, 0}].push_back(at);
  }

  auto zone = std::make_unique<icu::RuleBasedTimeZone>(
      fromUTF8(id),
      new icu::InitialTimeZoneRule(u"T", initial.raw, initial.savings));
  UErrorCode status = U_ZERO_ERROR;
  int number = 0;
  for (auto &[type, times] : starts) {
    std::sort(times.begin(), times.end());
    zone->addTransitionRule(
        new icu::TimeArrayTimeZoneRule(
            icu::UnicodeString(u"T") +
                icu::UnicodeString(std::to_string(++number).c_str()),
            type.raw, type.savings, times.data(),
            static_cast<int32_t>(times.size()), icu::DateTimeRule::UTC_TIME),
        status);
  }
  if (footer && hasDaylightTime(*footer) &&
      !addYearlyRules(*zone, *footer, firstYear))
    return nullptr;
  zone->complete(status);
  if (U_FAILURE(status))
    return nullptr;
  return zone;
}

} // namespace

std::unique_ptr<icu::TimeZone> zoneFromTZ(const char *tz) {
  if (tz && *tz == '\0')
    return utc();
  std::string_view value = tz ? tz : kDefaultZoneFile;
  if (value.starts_with(':'))
    value.remove_prefix(1);
  if (value.empty())
    return utc();
  std::filesystem::path file;
  if (value.front() == '/') {
    file = std::filesystem::path(value);
  } else {
    if (auto zone = systemZone(value))
      return zone;
    file = std::filesystem::path(kZoneDirectory) / value;
  }
  if (auto name = zoneNameOfFile(file))
    if (auto zone = systemZone(*name))
      return zone;
  if (auto bytes = readZoneFile(file))
    if (auto parsed = TimeZoneData::parseZoneFile(*bytes))
      if (auto zone = zoneFromFile(*parsed, value))
        return zone;
  if (auto rule = TimeZoneData::parseRule(value))
    if (auto zone = zoneFromRule(*rule, value))
      return zone;
  return utc();
}

} // namespace taskory
