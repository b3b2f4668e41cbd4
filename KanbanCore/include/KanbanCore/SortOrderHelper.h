#pragma once

#include <cmath>
#include <optional>

// How new `sortOrder` values are chosen. Values are never renumbered: the gap
// leaves room to insert between neighbours, which simply come closer together
// after many insertions.
namespace taskory::SortOrderHelper {

inline constexpr double gap = 1024.0;

// The sort order for a new last element, given the current last (highest)
// value; `gap` for an empty collection.
constexpr double appending(std::optional<double> after) {
  return after ? *after + gap : gap;
}

// The highest sortOrder among `elements` (pointers to anything with a
// `sortOrder`): the "last" value for appending(); nothing when empty.
template <class Range> std::optional<double> highest(const Range &elements) {
  std::optional<double> last;
  for (const auto *element : elements)
    if (!last || element->sortOrder > *last)
      last = element->sortOrder;
  return last;
}

// Midway between two neighbours.
inline double between(double a, double b) {
  double middle = (a + b) / 2;
  // Near the limits of double the sum overflows although the midpoint
  // exists.
  return std::isinf(middle) && !std::isinf(a) && !std::isinf(b) ? a / 2 + b / 2
                                                                : middle;
}

// The sort order that puts an element between the neighbours it is moved
// to: `before` and `after`, either missing at the start or the end of the
// list.
inline double placing(std::optional<double> before,
                      std::optional<double> after) {
  if (before && after)
    return between(*before, *after);
  if (after)
    return *after - gap;
  return appending(before);
}

} // namespace taskory::SortOrderHelper
