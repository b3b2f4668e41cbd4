#pragma once

#include "Http/BoardPage.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Types.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The pieces the board's views are built from, shared by the views and
// private to the board site: addresses, cards and columns, the filter, the
// management of plans and buckets, and the views other than the board.
namespace taskory {
class Calendar;
class ModelContext;
struct Bucket;
struct Plan;
} // namespace taskory

namespace taskory::BoardPage {

using Facts = BoardQueries::CardPageFacts;

// The address of a view (escaped for an attribute), with the week and, for
// the board, the filter of `filter`.
std::string address(View view, std::string_view planID, bool showDone,
                    std::string_view week = {}, const Request *filter = nullptr);

// --- cards and columns (BoardColumns.cpp) ---
struct CardOptions {
  bool showPlan = false;
  // Checked CSS, for the column's edge.
  std::optional<std::string> bucketColour;
  // Cards that can be dragged to another place (the board, with forms).
  bool draggable = false;
  // Cards the assistant changed since the person last looked, with when.
  const std::unordered_map<std::string, Date> *byAssistant = nullptr;
};
// Across plans each card names its plan.
CardOptions withPlan();

// Where a column's quick add puts its cards, and how its form looks.
struct QuickAdd {
  std::string planID, bucketID, back, formToken;
  bool open = false;
};

void appendCard(std::string &out, const Card &card, const Facts &facts,
                Date now, const Calendar &calendar, CardOptions options);
void appendColumn(std::string &out, std::string_view heading,
                  const std::vector<const Card *> &cards,
                  const std::unordered_map<std::string, Facts> &facts, Date now,
                  const Calendar &calendar, CardOptions options,
                  bool today = false, const QuickAdd *add = nullptr);

// --- the board's filter (BoardFilter.cpp) ---
bool filters(const Request &request);
void appendFilter(std::string &out, ModelContext &context, const Plan &plan,
                  const Request &request);
// The end of the due window a filter names; nothing for every card.
std::optional<Date> dueWindowEnd(std::string_view due, Date now,
                                 const Calendar &calendar);

// --- plans and buckets (BoardManage.cpp) ---
void appendManage(std::string &out, const Plan &plan,
                  const std::vector<Bucket *> &buckets, const Request &request);

// --- the other views (WeekView.cpp, TodayView.cpp, GoalsView.cpp) ---
void appendWeek(std::string &out, std::string &title, ModelContext &context,
                const Calendar &calendar, Date now, const Request &request,
                std::string_view planID);
void appendToday(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now);
void appendGoals(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now,
                 const std::vector<Plan *> &plans);

} // namespace taskory::BoardPage
