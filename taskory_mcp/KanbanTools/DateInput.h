#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace taskory {

class Calendar;

// A date argument as the assistant sends it. "", "none" and "null" (any ASCII
// letter case) clear the date and give nothing. An internet date-time
// (yyyy-MM-ddTHH:mm:ss with Z or ±hh:mm) is that instant; a plain yyyy-MM-dd
// is kDueHour:00 of that day in `calendar`, or the next time that exists
// when a time-zone change skips it. Anything else, and every date that does
// not exist (2025-02-30, a day a calendar reform dropped), throws the
// ToolError "Datum nicht lesbar: …".
std::optional<Date> parseOptionalDate(std::string_view text,
                                      const Calendar &calendar);

// Now plus `days` calendar days. A limit beyond the calendar's range is held
// at the range's end on its side, so that a wider window never lists fewer
// cards than a narrower one (falling back to now would turn three million
// days into "overdue only"). Now itself only when the calendar has no range.
Date dueWithinDays(const Calendar &calendar, Date now, int64_t days);

} // namespace taskory
