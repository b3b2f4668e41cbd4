#include "KanbanCore/SortOrderHelper.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace taskory {
namespace {

TEST(SortOrderHelper, AppendingLeavesAGapAfterTheLastValue) {
  struct Case {
    std::optional<double> after;
    double expected;
  } cases[] = {
      {std::nullopt, 1024.0}, {1024.0, 2048.0},   {0.5, 1024.5},
      {0.0, 1024.0},          {-4096.0, -3072.0}, {6024.0, 7048.0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(SortOrderHelper::appending(c.after), c.expected)
        << (c.after ? *c.after : -1);
}

TEST(SortOrderHelper, BetweenIsTheMidpoint) {
  constexpr double kMax = std::numeric_limits<double>::max();
  EXPECT_EQ(SortOrderHelper::between(1024, 2048), 1536);
  EXPECT_EQ(SortOrderHelper::between(2048, 1024), 1536);
  EXPECT_EQ(SortOrderHelper::between(1024, 1024), 1024);
  EXPECT_EQ(SortOrderHelper::between(-1, 1), 0);
  // The sum of two large neighbours overflows; their midpoint does not.
  EXPECT_EQ(SortOrderHelper::between(kMax, kMax), kMax);
  EXPECT_EQ(SortOrderHelper::between(kMax / 2 * 1.5, kMax), kMax / 8 * 7);

  // Repeated insertion between the same neighbours only narrows the gap.
  double low = 1024, high = 2048;
  for (int i = 0; i < 40; ++i) {
    double middle = SortOrderHelper::between(low, high);
    ASSERT_LT(low, middle) << i;
    ASSERT_LT(middle, high) << i;
    high = middle;
  }
}

} // namespace
} // namespace taskory
