#pragma once

#include "Http/PageParts.h"
#include "KanbanCore/Types.h"

#include <cstdint>
#include <functional>
#include <optional>
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

enum class View { board, week, today, goals };

// What the page's address asks for (`?view=…&plan=…&done=1`).
struct Request {
  View view = View::board;
  // A plan id as stored; empty shows the plan the tools list first, an
  // unknown one the same with a notice.
  std::string planID;
  // Completed and archived cards are shown only when asked for.
  bool showDone = false;
  // A day (yyyy-MM-dd) of the week to show; empty for the week the planner
  // plans now.
  std::string week;
  // The board's filter: text as list_cards' query matches it, a label's
  // name, a priority word ("urgent", "important", "medium", "low") and a due
  // window ("overdue", "today", "7", "30"); empty matches every card.
  std::string query, label, priority, due;
  // The bucket whose quick-add field is open (after a card was added there).
  std::string addBucket;
  // The token the page's change forms carry (set by the site, not read from
  // the address); without it the page has no forms.
  std::string formToken;
  // When this browser last looked at the board before (set by the site):
  // cards the assistant changed since carry a mark.
  std::optional<Date> lastLooked;
};

// Reads the query parameters through `param` (the decoded value of a
// parameter, empty when absent); anything unknown is the default.
Request requestFrom(const std::function<std::string(std::string_view)> &param);

// The whole document. `changeVersion` is the store's change counter read
// before the context began: the page's script compares it with /changes to
// learn when to fetch itself again. Throws StoreError.
std::string render(ModelContext &context, const Calendar &calendar, Date now,
                   const Request &request, uint64_t changeVersion);

// The short page a request without the cookie or token gets (status 401).
std::string lockedPage();

// The page in place of the board when the store cannot be read, with the
// German `reason`.
std::string unavailablePage(std::string_view reason);

} // namespace taskory::BoardPage
