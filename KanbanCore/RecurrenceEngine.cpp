#include "KanbanCore/RecurrenceEngine.h"

#include "KanbanCore/Calendar.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace taskory::RecurrenceEngine {

namespace {

constexpr int kSunday = 1;
constexpr int kSaturday = 7;
constexpr int kDaysPerWeek = 7;

// With a two-day weekend a working day is at most three steps away; the
// bound only guards against a calendar whose every day is a weekend day.
constexpr int kMaxWeekdaySteps = kDaysPerWeek;

std::optional<Date> nextWorkingDay(Date after, const Calendar &calendar) {
  Date day = after;
  for (int step = 0; step < kMaxWeekdaySteps; ++step) {
    auto next = calendar.addingDays(day, 1);
    if (!next)
      return std::nullopt;
    if (!calendar.isWeekend(*next))
      return next;
    day = *next;
  }
  return std::nullopt;
}

// The step in days that the weekly rule gives for `days` (distinct, ascending)
// after weekday `current`; nothing when it would overflow or not move forward.
std::optional<int64_t> weeklyStep(const std::vector<int64_t> &days,
                                  int64_t current, int64_t weeks) {
  // A later weekday of the same week comes first, whatever the interval.
  for (int64_t day : days)
    if (day > current)
      return day - current;
  if (weeks > std::numeric_limits<int64_t>::max() / kDaysPerWeek)
    return std::nullopt;
  int64_t back = 0;
  int64_t step = 0;
  if (__builtin_sub_overflow(current, days.front(), &back) ||
      __builtin_sub_overflow(kDaysPerWeek * weeks, back, &step) || step <= 0)
    return std::nullopt;
  return step;
}

std::optional<Date> nextWeekly(Date after, const RecurrenceRule &rule,
                               int64_t weeks, const Calendar &calendar) {
  int current = calendar.weekday(after);
  if (current < kSunday || current > kSaturday)
    return std::nullopt;

  auto distinct = [](std::vector<int64_t> days) {
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
  };

  // Stored numbers outside 1...7 (kept as other programs wrote them) are
  // taken literally where that still moves forward (8 after a Monday is the
  // Sunday six days on). Where it would step backwards, stay on `after` or
  // overflow, only the real weekdays count, and without any the weekday of
  // `after`. A step that can be taken but lands beyond the calendar ends the
  // series, as a daily or monthly one does: falling back to the real weekdays
  // there would invent a date the rule never named.
  std::vector<int64_t> all = distinct(rule.daysOfWeek);
  if (!all.empty()) {
    if (auto step = weeklyStep(all, current, weeks))
      return calendar.addingDays(after, *step);
  }
  std::vector<int64_t> weekdays;
  for (int64_t day : all)
    if (day >= kSunday && day <= kSaturday)
      weekdays.push_back(day);
  if (weekdays.empty())
    weekdays.push_back(current);
  auto step = weeklyStep(weekdays, current, weeks);
  return step ? calendar.addingDays(after, *step) : std::nullopt;
}

std::optional<Date> nextMonthly(Date after, const RecurrenceRule &rule,
                                int64_t months, const Calendar &calendar) {
  auto moved = calendar.addingMonths(after, months);
  // A day of the month below 1 names no day; such a rule repeats on the day
  // the month step gives, as if no day were stored.
  if (!moved || !rule.dayOfMonth || *rule.dayOfMonth < 1)
    return moved;
  auto length = calendar.daysInMonth(*moved);
  if (!length)
    return moved;
  auto parts = calendar.components(*moved);
  int64_t day = std::min<int64_t>(*rule.dayOfMonth, *length);
  return calendar.date(parts.year, parts.month, static_cast<int>(day),
                       parts.hour, parts.minute, 0);
}

} // namespace

std::optional<Date> nextDueDate(Date after, const RecurrenceRule &rule,
                                const Calendar &calendar) {
  const int64_t n = rule.interval > 1 ? rule.interval : 1;
  std::optional<Date> next;
  switch (rule.frequency) {
  case RecurrenceRule::Frequency::daily:
    next = calendar.addingDays(after, n);
    break;
  case RecurrenceRule::Frequency::weekdays:
    next = nextWorkingDay(after, calendar);
    break;
  case RecurrenceRule::Frequency::weekly:
    next = nextWeekly(after, rule, n, calendar);
    break;
  case RecurrenceRule::Frequency::monthly:
    next = nextMonthly(after, rule, n, calendar);
    break;
  case RecurrenceRule::Frequency::yearly:
    next = calendar.addingYears(after, n);
    break;
  }
  // A series must move forward: completing a card must never produce a
  // successor due at or before the date just finished.
  if (next && !(*next > after))
    return std::nullopt;
  return next;
}

} // namespace taskory::RecurrenceEngine
