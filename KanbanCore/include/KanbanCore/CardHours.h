#pragma once

namespace taskory {

// A date given without a time of day stands for this local hour: due and
// start dates at the end of the working day, a planned day in its morning.
inline constexpr int kDueHour = 17;
inline constexpr int kPlannedHour = 9;

} // namespace taskory
