#include "KanbanCore/WeekPlanner.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <set>
#include <string>

namespace taskory::WeekPlanner {
namespace {

constexpr double kClaudeProjectWeight = 0.5;
constexpr double kMaxWeight = 2.0;
// A week has seven days; the walk stops after that many steps even if a
// broken time zone made a day repeat.
constexpr int kMaxDaysPerWeek = 7;

constexpr const char *kIdeaTitlePrefix = "Feature-Ideen sammeln: ";
constexpr const char *kIdeaNotes =
    "Automatisch angelegt: Dieses Projekt hat gerade keine offenen Aufgaben. "
    "Zeit für ein kurzes Brainstorming — neue Features, Verbesserungen, Bugs, "
    "Ideen aus der Nutzung.";

std::optional<Date> usableDate(const std::optional<Date> &date) {
  if (!date || std::isnan(*date))
    return std::nullopt;
  return date;
}

// The planning days of the week [weekStart, weekEnd), from `from` on.
std::vector<Date> collectDays(Date from, Date weekEnd, const Calendar &calendar,
                              const Configuration &configuration) {
  std::vector<Date> days;
  Date day = calendar.startOfDay(from);
  for (int step = 0; step < kMaxDaysPerWeek && day < weekEnd; ++step) {
    const int weekday = calendar.weekday(day);
    if (configuration.includeWeekend || (weekday != 7 && weekday != 1))
      days.push_back(day);
    auto next = calendar.addingDays(day, 1);
    if (!next)
      break;
    Date nextDay = calendar.startOfDay(*next);
    if (!(nextDay > day))
      break;
    day = nextDay;
  }
  return days;
}

template <typename Fetch>
auto fetchOrNothing(Fetch fetch) -> decltype(fetch()) {
  try {
    return fetch();
  } catch (const std::exception &) {
    return {};
  }
}

// The candidate order up to the title: due deadline first, then earlier
// deadline (none last), then higher priority. <0, 0 or >0.
int compareKeys(const Candidate &a, const Candidate &b) {
  if (a.hasDueDeadline != b.hasDueDeadline)
    return a.hasDueDeadline ? -1 : 1;
  if (a.deadline != b.deadline) {
    if (!a.deadline || !b.deadline)
      return a.deadline ? -1 : 1;
    return *a.deadline < *b.deadline ? -1 : 1;
  }
  if (a.priorityRank != b.priorityRank)
    return a.priorityRank < b.priorityRank ? -1 : 1;
  return 0;
}

double weight(const Candidate &candidate, bool isClaudeProjectCard) {
  if (isClaudeProjectCard)
    return kClaudeProjectWeight;
  int64_t extraItems = std::max<int64_t>(0, candidate.openItems - 2);
  // Compared before dividing so that a huge checklist cannot overflow.
  if (extraItems >= 4)
    return kMaxWeight;
  return std::min(kMaxWeight, 1.0 + static_cast<double>(extraItems) / 4.0);
}

Date atPlanningHour(Date day, const Calendar &calendar) {
  auto parts = calendar.components(day);
  auto planned =
      calendar.date(parts.year, parts.month, parts.day, kPlannedHour, 0, 0);
  return planned ? *planned : day;
}

// Each run replaces the previous plan; what lies in the past stays as a
// record of what was planned. The candidates are loaded by then, so a card
// planned again for its old day is a loaded one and leaves no history; the
// thousands another program may have planned ahead are cleared unloaded.
void clearPlansFrom(Date today, ModelContext &context, BoardQueries &queries) {
  context.clearPlannedDates(
      fetchOrNothing([&] { return queries.openCardRowsPlannedFrom(today); }));
}

// The first maxCandidates in candidate order, equal ones in store (rowid)
// order, their cards loaded. The store hands over the few rows that can make
// the cut, with their ordering keys; only the cards that are placed are
// loaded.
std::vector<Candidate> chooseCandidates(Date horizonEnd, ModelContext &context,
                                        BoardQueries &queries) {
  auto rows =
      fetchOrNothing([&] { return queries.planningCandidates(maxCandidates); });
  std::sort(rows.begin(), rows.end(),
            [](const auto &a, const auto &b) { return a.rowid < b.rowid; });
  std::vector<Candidate> found;
  found.reserve(rows.size());
  for (const auto &row : rows) {
    Candidate candidate;
    candidate.title = row.title;
    candidate.deadline = usableDate(row.deadline);
    candidate.hasDueDeadline = row.due && *row.due < horizonEnd;
    candidate.priorityRank = row.priorityRank;
    found.push_back(std::move(candidate));
  }

  const text::NaturalOrder titles;
  std::vector<std::size_t> order(found.size());
  for (std::size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     return comesBefore(found[a], found[b], titles);
                   });
  order.resize(std::min(maxCandidates, order.size()));

  std::vector<Candidate> candidates;
  candidates.reserve(order.size());
  for (const std::size_t i : order) {
    Candidate &candidate = found[i];
    candidate.card = context.card(rows[i].id);
    if (!candidate.card)
      continue;
    candidate.openItems = context.checklistItemCount(*candidate.card) -
                          context.checkedItemCount(*candidate.card);
    candidates.push_back(std::move(candidate));
  }
  return candidates;
}

// Gives each candidate, in order, the first day with room for its weight,
// never after its deadline day.
void placeCandidates(const std::vector<Candidate> &candidates,
                     const std::vector<Date> &days, ModelContext &context,
                     const Configuration &configuration,
                     const Calendar &calendar, Summary &summary) {
  std::map<Date, double> placedPoints;
  std::map<Date, std::set<UUID>> claudeBucketsOfDay;
  for (const Candidate &candidate : candidates) {
    Card &card = *candidate.card;
    const Plan *plan = context.planOf(card);
    const bool isClaudeProjectCard = plan && plan->isClaudeProject;
    const bool limitsBucket = isClaudeProjectCard && card.bucket.has_value();
    const double cardWeight = weight(candidate, isClaudeProjectCard);
    const auto limitDay = candidate.deadlineDay(days, calendar);

    std::optional<Date> chosen;
    for (Date day : days) {
      if (limitDay && day > *limitDay)
        break;
      if (limitsBucket && claudeBucketsOfDay[day].count(*card.bucket))
        continue;
      if (placedPoints[day] + cardWeight <= configuration.dailyCapacity) {
        chosen = day;
        break;
      }
    }
    // A due date is hard: the card goes onto its last possible day even when
    // that day is already full.
    if (!chosen)
      chosen = limitDay;
    if (!chosen)
      continue;

    card.plannedDate = atPlanningHour(*chosen, calendar);
    placedPoints[*chosen] += cardWeight;
    if (limitsBucket)
      claudeBucketsOfDay[*chosen].insert(*card.bucket);
    ++summary.plannedCount;
  }
}

// Fills `summary` as it goes, so that a store failure half-way leaves the
// counts of what was done.
void runPlanning(ModelContext &context, const Configuration &configuration,
                 Date now, const Calendar &calendar, Summary &summary) {
  const std::vector<Date> days = planningDays(now, calendar, configuration);
  if (days.empty())
    return;
  summary.firstDay = days.front();
  summary.lastDay = days.back();

  BoardQueries queries(context);
  if (configuration.createIdeaTasks) {
    auto plans = fetchOrNothing([&] { return queries.projectPlans(); });
    summary.ideaTasksCreated = createIdeaTasks(plans, context, now);
  }

  const Date horizonEnd =
      calendar.addingDays(days.back(), 1).value_or(days.back());
  const std::vector<Candidate> candidates =
      chooseCandidates(horizonEnd, context, queries);
  clearPlansFrom(calendar.startOfDay(now), context, queries);
  placeCandidates(candidates, days, context, configuration, calendar, summary);
}

} // namespace

Configuration::Configuration(double dailyCapacity, bool includeWeekend,
                             bool createIdeaTasks)
    : dailyCapacity(std::isnan(dailyCapacity) ? 1.0
                                              : std::max(dailyCapacity, 1.0)),
      includeWeekend(includeWeekend), createIdeaTasks(createIdeaTasks) {}

Calendar plannerCalendar(const Calendar &calendar) {
  Calendar mondayFirst = calendar;
  mondayFirst.setFirstWeekday(2);
  return mondayFirst;
}

std::vector<Date> weekOf(Date day, const Calendar &calendar) {
  const Calendar mondayFirst = plannerCalendar(calendar);
  const auto week = mondayFirst.weekInterval(day);
  if (!week)
    return {};
  std::vector<Date> days;
  for (int i = 0; i < 7; ++i) {
    const auto next = mondayFirst.addingDays(week->first, i);
    if (!next)
      return {};
    days.push_back(mondayFirst.startOfDay(*next));
  }
  return days;
}

std::vector<Date> planningDays(Date now, const Calendar &calendar,
                               const Configuration &configuration) {
  auto week = calendar.weekInterval(now);
  if (!week)
    return {};
  const Date today = calendar.startOfDay(now);
  auto days = collectDays(std::max(week->first, today), week->second, calendar,
                          configuration);
  if (!days.empty())
    return days;

  auto nextWeek = calendar.weekInterval(week->second + 1);
  if (!nextWeek)
    return {};
  return collectDays(nextWeek->first, nextWeek->second, calendar,
                     configuration);
}

Summary planCurrentWeek(ModelContext &context,
                        const Configuration &configuration, Date now,
                        const Calendar &calendar) {
  const Calendar mondayFirst = plannerCalendar(calendar);

  Summary summary;
  // The fetches that may fail count as empty inside the run. A store failure
  // after that (past the reset of planned dates) propagates: saving the rest
  // would commit a half-made plan with the earlier one already cleared, so
  // the caller's context is rolled back instead.
  runPlanning(context, configuration, now, mondayFirst, summary);
  if (!summary.firstDay)
    return summary;
  try {
    context.save(now);
  } catch (const std::exception &) {
  }
  return summary;
}

int64_t createIdeaTasks(const std::vector<Plan *> &plans, ModelContext &context,
                        Date now) {
  int64_t created = 0;
  BoardQueries queries(context);
  try {
    for (Plan *plan : plans) {
      if (!plan || !plan->isClaudeProject)
        continue;
      auto buckets = context.sortedBuckets(*plan);
      if (buckets.size() < 2)
        continue;
      std::optional<double> lastSortOrder = queries.maxCardSortOrder(*plan);
      for (auto it = buckets.begin() + 1; it != buckets.end(); ++it) {
        Bucket &bucket = **it;
        if (queries.hasOpenCard(bucket))
          continue;

        Card idea(kIdeaTitlePrefix + bucket.name,
                  SortOrderHelper::appending(lastSortOrder), now);
        idea.isIdeaTask = true;
        idea.setPriority(Priority::low);
        idea.notes = kIdeaNotes;
        idea.plan = plan->id;
        idea.bucket = bucket.id;
        CardActions::inheritBucketColor(idea, context);
        lastSortOrder = idea.sortOrder;
        context.insert(std::move(idea));
        ++created;
      }
    }
  } catch (const std::exception &) {
    // What was inserted so far stays; the count says how much that is.
  }
  return created;
}

std::optional<Date> Candidate::deadlineDay(const std::vector<Date> &days,
                                           const Calendar &calendar) const {
  const auto due = card ? usableDate(card->dueDate) : std::nullopt;
  if (!hasDueDeadline || !due || days.empty())
    return std::nullopt;
  const Date dueDay = calendar.startOfDay(*due);
  std::optional<Date> latest;
  for (Date day : days)
    if (day <= dueDay)
      latest = day;
  return latest ? latest : days.front();
}

bool Candidate::operator==(const Candidate &other) const {
  if (!card || !other.card)
    return card == other.card;
  return card->id == other.card->id;
}

bool comesBefore(const Candidate &a, const Candidate &b,
                 const text::NaturalOrder &titles) {
  if (const int keys = compareKeys(a, b))
    return keys < 0;
  return titles.compare(a.title, b.title) < 0;
}

} // namespace taskory::WeekPlanner
