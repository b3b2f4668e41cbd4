#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The read-only board page of the HTTP mode: the chosen plan's buckets and
// cards, the current week's planned cards, or every plan's goals, as one
// server-rendered HTML document that is complete without JavaScript. The
// words and dates are those the tools print. Pure: reads through the context
// it is given and never changes the store.
namespace taskory {
class Calendar;
class ModelContext;
} // namespace taskory

namespace taskory::BoardPage {

enum class View { board, week, goals };

// What the page's address asks for (`?view=…&plan=…&done=1`).
struct Request {
  View view = View::board;
  // A plan id as stored; empty or unknown shows the first plan.
  std::string planID;
  // Completed and archived cards are shown only when asked for.
  bool showDone = false;
};

// Reads the query parameters; anything unknown is the default.
Request requestFrom(std::string_view view, std::string_view plan,
                    std::string_view done);

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD and
// the five characters that HTML gives a meaning (& < > " ') as references, so
// that any stored text is safe inside an element and inside a quoted
// attribute.
std::string escaped(std::string_view text);

// The starts of the seven days, Monday to Sunday, of the week that contains
// `now`, each local midnight (or the day's first instant), ascending. The
// planner's week; empty only when the calendar cannot form it.
std::vector<Date> weekDays(Date now, const Calendar &calendar);

// The whole document. `changeVersion` is the store's change counter read
// before the context began: the page's script compares it with /changes to
// learn when to fetch itself again. Throws StoreError.
std::string render(ModelContext &context, const Calendar &calendar, Date now,
                   const Request &request, uint64_t changeVersion);

// The short page a request without the cookie or token gets (status 401).
std::string lockedPage();

} // namespace taskory::BoardPage
