#include "KanbanCore/Calendar.h"
#include "KanbanCore/RecurrenceEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;

// Berlin moves its clocks from 02:00 to 03:00 on Sunday 30 March 2025.
class RecurrenceClockChange : public ::testing::Test {
protected:
  Calendar calendar{"Europe/Berlin", "de_DE"};

  std::string text(std::optional<Date> date) const {
    return date ? calendar.format(*date, "yyyy-MM-dd HH:mm") : "-";
  }
  // The due dates of the next three occurrences, each computed from the one
  // before, as completing card after card does.
  std::vector<std::string> series(const RecurrenceRule &rule,
                                  Date first) const {
    std::vector<std::string> out;
    std::optional<Date> due = first;
    for (int i = 0; i < 3 && due; ++i) {
      due = RecurrenceEngine::nextDueDate(*due, rule, calendar);
      out.push_back(text(due));
    }
    return out;
  }
};

TEST_F(RecurrenceClockChange, SkippedTimeMovesOnByTheGapForGood) {
  // Each series starts at 02:30 local time.
  const auto at = [&](int year, int month, int day) {
    return calendar.date(year, month, day, 2, 30).value();
  };
  const std::tuple<RecurrenceRule, Date, std::vector<std::string>> cases[] = {
      {RecurrenceRule(F::daily, 1),
       at(2025, 3, 29),
       {"2025-03-30 03:30", "2025-03-31 03:30", "2025-04-01 03:30"}},
      {RecurrenceRule(F::weekly, 1, {1}),
       at(2025, 3, 23),
       {"2025-03-30 03:30", "2025-04-06 03:30", "2025-04-13 03:30"}},
      {RecurrenceRule(F::monthly, 1, {}, 30),
       at(2025, 2, 10),
       {"2025-03-30 03:30", "2025-04-30 03:30", "2025-05-30 03:30"}},
      {RecurrenceRule(F::yearly, 1),
       at(2024, 3, 30),
       {"2025-03-30 03:30", "2026-03-30 03:30", "2027-03-30 03:30"}}};
  for (const auto &[rule, first, expected] : cases)
    EXPECT_EQ(series(rule, first), expected)
        << rule.encode() << " from " << text(first);
}

} // namespace
} // namespace taskory
