#include "KanbanTools/DateInput.h"

#include "ToolsFixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace taskory::test {
namespace {

// Built on first use rather than at static initialisation, where ICU may not be
// ready yet.
const Calendar &berlin() {
  static const Calendar calendar("Europe/Berlin", "de_DE");
  return calendar;
}

Date utc(int64_t year, int month, int day, int hour, int minute) {
  static const Calendar calendar("UTC", "de_DE");
  return *calendar.date(year, month, day, hour, minute);
}

// An instant keeps its own offset, a plain date means 17:00 local time, and
// every word for nothing clears the date.
TEST(DateInput, ReadableInputsGiveTheirInstantOrNone) {
  const std::vector<std::pair<std::string, std::optional<Date>>> cases = {
      {"2025-03-01T02:30:00-05:30", utc(2025, 3, 1, 8, 0)},
      {"2025-03-01T08:00:00+01:00", utc(2025, 3, 1, 7, 0)},
      {"1969-12-31T23:59:59Z", -1},
      {"9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59) + 59},
      {"2025-03-30", berlin().date(2025, 3, 30, 17)}, // the day clocks jump
      {"2024-02-29", berlin().date(2024, 2, 29, 17)},
      {"2025-3-5", berlin().date(2025, 3, 5, 17)}};
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(parseOptionalDate(text, berlin()), expected) << text;
  for (const std::string text : {"", "none", "NONE", "null", "NULL", "Null"})
    EXPECT_EQ(parseOptionalDate(text, berlin()), std::nullopt) << text;
}

TEST(DateInput, MalformedOrNonexistentDatesAreUnreadable) {
  for (const std::string text :
       {"2025-03-01 08:00:00Z",       // space instead of T
        "2025-03-01T08:00:00",        // no zone
        "2025-03-01T08:00:00.5Z",     // fraction
        "2025-03-01T08:00:00+24:00",  // offset out of range
        "2025-03-01T24:00:00Z",       // hour out of range
        "2025-02-29",                 // not a leap year
        "2025-13-01",                 // month out of range
        "2025-03-001",                // three-digit day
        " 2025-03-01",                // leading space
        "99999999999999999999-01-01", // year beyond 64 bits
        "morgen"})
    EXPECT_EQ(errorOf([&] { parseOptionalDate(text, berlin()); }),
              "Datum nicht lesbar: " + text +
                  " (erwartet YYYY-MM-DD oder ISO-8601)")
        << text;
}

TEST(DateInput, SkippedDayMovesToTheNextExistingTime) {
  // Samoa skipped 30 December 2011: its 17:00 moves on by the skipped day.
  const Calendar apia("Pacific/Apia", "de_DE");
  EXPECT_EQ(parseOptionalDate("2011-12-30", apia), apia.date(2011, 12, 31, 17));
}

} // namespace
} // namespace taskory::test
