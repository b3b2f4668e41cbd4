// The zone a TZ value names, read as the C library reads it: every other
// program of the user shows the same local times as this server.
#include "KanbanCore/Calendar.h"

#include "support/StoreTestSupport.h"
#include "support/ZoneFileBuilder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace taskory {
namespace {

namespace fs = std::filesystem;

const fs::path kBerlinFile = "/usr/share/zoneinfo/Europe/Berlin";

// Summer, winter, and between the US and the European changes in spring
// (20 March 2035) and autumn (1 November 2030), each at 14:00 UTC.
constexpr Date kInstants[] = {2066911200, 2052482400, 2058012000, 1919772000};

class CalendarTZ : public ::testing::Test {
protected:
  void SetUp() override {
    if (!fs::exists(kBerlinFile))
      GTEST_SKIP() << "the system has no zone files";
    fs::copy_file(kBerlinFile, dir / "copied");
    // A file that lists the spring change of 2030 last and leaves the
    // autumn change of that year to its footer, as zic's slim files do.
    std::ofstream(dir / "slim", std::ios::binary)
        << test::zoneFile('2', {{1901149200, 1}}, {{3600, false}, {7200, true}},
                          "CET-1CEST,M3.5.0,M10.5.0/3");
  }

  // The values the tests read, with the local times of kInstants for each.
  std::vector<std::pair<std::string, std::string>> forms() const {
    const std::string berlin = "2035-07-01 16:00 | 2035-01-15 15:00 | "
                               "2035-03-20 15:00 | 2030-11-01 15:00";
    const std::string utc = "2035-07-01 14:00 | 2035-01-15 14:00 | 2035-03-20 "
                            "14:00 | 2030-11-01 14:00";
    return {
        {"Europe/Berlin", berlin},
        {":Europe/Berlin", berlin},
        {"posix/Europe/Berlin", berlin},
        {kBerlinFile.string(), berlin},
        {":" + kBerlinFile.string(), berlin},
        {"/usr/share/zoneinfo/Europe/../Europe/Berlin", berlin},
        {":" + (dir / "copied").string(), berlin},
        {(dir / "slim").string(), berlin},
        {"CET-1CEST,M3.5.0,M10.5.0/3", berlin},
        // Without change days the C library takes the US ones.
        {"CET-1CEST", "2035-07-01 16:00 | 2035-01-15 15:00 | 2035-03-20 16:00 "
                      "| 2030-11-01 16:00"},
        {"EST5EDT", "2035-07-01 10:00 | 2035-01-15 09:00 | 2035-03-20 10:00 | "
                    "2030-11-01 10:00"},
        // POSIX counts west of Greenwich, ICU's own "GMT+3" east.
        {"GMT+3", "2035-07-01 11:00 | 2035-01-15 11:00 | 2035-03-20 11:00 | "
                  "2030-11-01 11:00"},
        {"<+0330>-3:30", "2035-07-01 17:30 | 2035-01-15 17:30 | 2035-03-20 "
                         "17:30 | 2030-11-01 17:30"},
        {"AEST-10AEDT,M10.1.0,M4.1.0/3",
         "2035-07-02 00:00 | 2035-01-16 01:00 | 2035-03-21 01:00 | 2030-11-02 "
         "01:00"},
        // A change at 26:00 is two hours into the next day.
        {"IST-2IDT,M3.4.4/26,M10.5.0", "2035-07-01 17:00 | 2035-01-15 16:00 | "
                                       "2035-03-20 16:00 | 2030-11-01 16:00"},
        {"", utc},
        {":", utc},
        {"Nirgendwo/Stadt", utc},
        {"/no/such/zone/file", utc}};
  }

  test::TempDir dir;
};

TEST_F(CalendarTZ, EveryFormNamesItsZone) {
  for (const auto &[tz, expected] : forms()) {
    const Calendar calendar = Calendar::fromTZ(tz.c_str(), "de_DE");
    std::string text;
    for (Date instant : kInstants)
      text += (text.empty() ? "" : " | ") +
              calendar.format(instant, "yyyy-MM-dd HH:mm");
    EXPECT_EQ(text, expected) << "TZ=" << tz;
  }
}

// Every five hours over three years, and a year far ahead where only the
// rules count: the local time matches localtime_r's under the same TZ.
TEST_F(CalendarTZ, LocalTimesAreTheCLibrarys) {
  std::vector<Date> instants;
  for (Date t = 1704067200; t < 1798761600; t += 5 * 3600) // 2024 to 2026
    instants.push_back(t);
  for (Date t = 3786825600; t < 3818361600; t += 5 * 3600) // 2090
    instants.push_back(t);
  for (const auto &[tz, ignored] : forms()) {
    // ICU knows these two names; the C library needs their files, which
    // Debian 13 moved to tzdata-legacy.
    if ((tz == "EST5EDT" || tz.starts_with("posix/")) &&
        !fs::exists(fs::path("/usr/share/zoneinfo") / tz))
      continue;
    // glibc shifts its posixrules changes to 14:00 local time here; the server
    // keeps POSIX's 02:00.
    if (tz == "CET-1CEST")
      continue;
    const test::ScopedEnv env("TZ", tz.c_str());
    ::tzset();
    const Calendar calendar = Calendar::fromTZ(tz.c_str(), "de_DE");
    for (Date instant : instants) {
      const auto seconds = static_cast<std::time_t>(instant);
      std::tm local{};
      ::localtime_r(&seconds, &local);
      const Calendar::Components parts = calendar.components(instant);
      if (parts.year != local.tm_year + 1900 ||
          parts.month != local.tm_mon + 1 || parts.day != local.tm_mday ||
          parts.hour != local.tm_hour || parts.minute != local.tm_min) {
        ADD_FAILURE() << "TZ=" << tz << " at " << seconds << ": "
                      << calendar.format(instant, "yyyy-MM-dd HH:mm")
                      << ", C library " << local.tm_year + 1900 << "-"
                      << local.tm_mon + 1 << "-" << local.tm_mday << " "
                      << local.tm_hour << ":" << local.tm_min;
        break;
      }
    }
  }
  ::tzset();
}

} // namespace
} // namespace taskory
