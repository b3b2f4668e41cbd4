#pragma once

#include "KanbanCore/Types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taskory {

struct RecurrenceRule {
  enum class Frequency { daily, weekdays, weekly, monthly, yearly };

  Frequency frequency = Frequency::daily;
  int64_t interval = 1;
  // Weekday numbers for weekly rules, 1 = Sunday ... 7 = Saturday. Values
  // outside 1...7 are kept as given: other programs may have stored them.
  std::vector<int64_t> daysOfWeek;
  std::optional<int64_t> dayOfMonth;

  RecurrenceRule() = default;
  // An interval below 1 becomes 1; nothing else is validated.
  RecurrenceRule(Frequency frequency, int64_t interval,
                 std::vector<int64_t> daysOfWeek = {},
                 std::optional<int64_t> dayOfMonth = std::nullopt);

  // "Täglich", "Alle 3 Tage", ... from the stored interval, unclamped.
  std::string localizedSummary() const;

  // Compact JSON: {"frequency":..,"interval":..,"daysOfWeek":[..]} plus
  // "dayOfMonth" only when present.
  Bytes encode() const;
  // Tolerant reading: nothing for bytes that are not such an object (missing
  // required keys, unknown frequency, wrong types).
  static std::optional<RecurrenceRule> decode(std::string_view bytes);

  bool operator==(const RecurrenceRule &) const = default;
};

// In the order of allCases: daily, weekdays, weekly, monthly, yearly.
inline constexpr std::array<RecurrenceRule::Frequency, 5> kAllFrequencies = {
    RecurrenceRule::Frequency::daily, RecurrenceRule::Frequency::weekdays,
    RecurrenceRule::Frequency::weekly, RecurrenceRule::Frequency::monthly,
    RecurrenceRule::Frequency::yearly};

std::string_view rawValue(RecurrenceRule::Frequency f);
// Exact, case-sensitive match against the five raw values.
std::optional<RecurrenceRule::Frequency> frequencyFromRaw(std::string_view raw);
std::string_view localizedName(RecurrenceRule::Frequency f);

} // namespace taskory
