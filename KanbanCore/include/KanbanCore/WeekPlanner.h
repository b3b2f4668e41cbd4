#pragma once

#include "KanbanCore/Types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace taskory {

class Calendar;
class ModelContext;
struct Card;
struct Plan;

namespace text {
class NaturalOrder;
}

// Spreads the user's open cards over the remaining days of the current week:
// hard due dates first, then deadlines, then priority, each card weighed in
// points and the days filled up to a daily capacity. Stateless; every run
// works on the context it is given and saves it itself.
namespace WeekPlanner {

// Only this many candidates (in candidate order) are placed per run.
inline constexpr std::size_t maxCandidates = 60;

struct Configuration {
  // Points per day, never below 1.0 (a value that is not a number is 1.0).
  // Infinity is allowed and means "no limit".
  double dailyCapacity = 3.0;
  // When false, Saturdays and Sundays are never planning days.
  bool includeWeekend = false;
  // When true, idea tasks are created in empty buckets before planning.
  bool createIdeaTasks = false;

  Configuration() = default;
  Configuration(double dailyCapacity, bool includeWeekend,
                bool createIdeaTasks);
};

struct Summary {
  int64_t plannedCount = 0;
  int64_t ideaTasksCreated = 0;
  // First and last planning day (start of day); nothing without planning days.
  std::optional<Date> firstDay;
  std::optional<Date> lastDay;
};

// The calendar the planner counts weeks in: the user's, with weeks running
// Monday to Sunday whatever its locale says.
Calendar plannerCalendar(const Calendar &calendar);
// The seven days, Monday to Sunday, of the week that contains `day`, each the
// start of its day; empty when the calendar cannot form the week.
std::vector<Date> weekOf(Date day, const Calendar &calendar);

// The days still to plan in the week (by the calendar's first weekday) that
// contains `now`, from today on, each the start of its day, ascending. When
// none is left (a Saturday without weekends), the days of the following
// week. Empty only when the calendar cannot form the week.
std::vector<Date> planningDays(Date now, const Calendar &calendar,
                               const Configuration &configuration);

// One planning run over every open card of the store: creates idea tasks when
// configured, clears the planned dates of open cards from today on, assigns
// new ones at kPlannedHour (CardHours.h) and saves the context. Weeks run
// Monday to Sunday whatever the calendar's first weekday. A failed fetch counts
// as an empty result and a failed save is ignored, because the caller's own
// save reports persistence failures. Any other store failure during the run is
// thrown (StoreError) without saving, so no half-made plan is committed.
// Without planning days nothing is touched.
Summary planCurrentWeek(ModelContext &context,
                        const Configuration &configuration, Date now,
                        const Calendar &calendar);

// Gives every bucket but the first (by sortOrder) of each Claude-project plan
// that has no open card one idea task. Inserts into the context without
// saving; returns how many cards were created. Never throws.
int64_t createIdeaTasks(const std::vector<Plan *> &plans, ModelContext &context,
                        Date now);

// One card as the planner sees it. Exposed so that its ordering can be tested
// on its own; only the planner builds candidates, from the rows the store
// hands over (BoardQueries::planningCandidates).
struct Candidate {
  // Loaded only for the candidates that make the cut.
  Card *card = nullptr;
  std::string title;
  // Earliest of the due date and the target dates of the card's goals.
  std::optional<Date> deadline;
  // Due before the horizon end: overdue or due within the planning window.
  bool hasDueDeadline = false;
  // 0 urgent ... 3 low.
  int64_t priorityRank = 2;
  int64_t openItems = 0;

  // The last planning day on or before the due day; the first planning day
  // for an overdue card. Nothing without a due deadline or planning days.
  std::optional<Date> deadlineDay(const std::vector<Date> &planningDays,
                                  const Calendar &calendar) const;

  // Same card.
  bool operator==(const Candidate &other) const;
};

// Candidate order: due deadline first, then earlier deadline (none last),
// then higher priority, then title in natural order. A strict weak order.
bool comesBefore(const Candidate &a, const Candidate &b,
                 const text::NaturalOrder &titles);

} // namespace WeekPlanner
} // namespace taskory
