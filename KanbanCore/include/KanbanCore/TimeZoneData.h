#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The two forms in which the C library takes a time zone that has no name:
// a POSIX TZ rule string ("CET-1CEST,M3.5.0,M10.5.0/3") and a compiled zone
// file (TZif, as in /usr/share/zoneinfo or a copied /etc/localtime). Parsed
// here without ICU; Calendar.cpp builds ICU zones from the results. Pure
// functions; nothing here reads the environment or the file system.
namespace taskory::TimeZoneData {

// The day and local time of a change to or from daylight-saving time.
struct ChangeDay {
  enum class Kind {
    dayOfYear,      // "Jn": 1...365, 29 February never counted
    zeroBasedDay,   // "n": 0...365, 29 February counted in leap years
    weekdayOfMonth, // "Mm.w.d": weekday d (0 = Sunday) of week w (5 = last)
  };
  Kind kind = Kind::weekdayOfMonth;
  int day = 0;     // dayOfYear and zeroBasedDay
  int month = 0;   // 1...12
  int week = 0;    // 1...5
  int weekday = 0; // 0...6
  // Local wall time of the change, in seconds after the day's midnight; the
  // rule may put it before that midnight or days after it (-167 to 167 h).
  int32_t seconds = 2 * 3600;
  bool operator==(const ChangeDay &) const = default;
};

struct Rule {
  struct Daylight {
    int32_t offset = 0; // seconds east of UTC
    ChangeDay start;    // in standard time
    ChangeDay end;      // in daylight-saving time
    bool operator==(const Daylight &) const = default;
  };
  int32_t standardOffset = 0; // seconds east of UTC
  std::optional<Daylight> daylight;
  bool operator==(const Rule &) const = default;
};

// A POSIX TZ rule string, strictly: names of three or more letters (or
// <...> quoted), offsets west of Greenwich as POSIX writes them. A daylight
// name without change days takes the United States rules the C library falls
// back to (second Sunday in March to first Sunday in November). Nothing for
// any other text, which the C library reads as UTC.
std::optional<Rule> parseRule(std::string_view text);

struct LocalTimeType {
  int32_t offset = 0; // seconds east of UTC
  bool isDaylight = false;
  bool operator==(const LocalTimeType &) const = default;
};

struct ZoneFile {
  // Transition instants in seconds since 1970, ascending, each with the
  // index into `types` of the local time that starts there.
  std::vector<int64_t> transitions;
  std::vector<uint8_t> typeIndices;
  // At least one; types[0] holds before the first transition.
  std::vector<LocalTimeType> types;
  // The rule string for instants after the last transition; empty when the
  // file has none (version 1 files).
  std::string footer;
};

// A TZif file of any version (the 64-bit data of version 2 and later is
// preferred). Nothing when the bytes are not a well-formed zone file.
std::optional<ZoneFile> parseZoneFile(std::string_view bytes);

} // namespace taskory::TimeZoneData
