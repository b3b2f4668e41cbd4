#include "KanbanCore/RecurrenceRule.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace taskory {

namespace {

// Integers as a JSON reader of the planner applications takes them: integral
// numbers that fit 64 bits, also when written with a fraction part ("2.0").
// Booleans, strings and anything out of range do not read.
std::optional<int64_t> readInteger(const nlohmann::json &value) {
  if (value.is_number_integer() && !value.is_number_unsigned())
    return value.get<int64_t>();
  if (value.is_number_unsigned()) {
    auto unsignedValue = value.get<uint64_t>();
    if (unsignedValue > static_cast<uint64_t>(INT64_MAX))
      return std::nullopt;
    return static_cast<int64_t>(unsignedValue);
  }
  if (value.is_number_float()) {
    double number = value.get<double>();
    // 2^63 itself is out of range; -2^63 is not.
    if (!std::isfinite(number) || number != std::trunc(number) ||
        number < -9223372036854775808.0 || number >= 9223372036854775808.0)
      return std::nullopt;
    return static_cast<int64_t>(number);
  }
  return std::nullopt;
}

} // namespace

RecurrenceRule::RecurrenceRule(Frequency frequency, int64_t interval,
                               std::vector<int64_t> daysOfWeek,
                               std::optional<int64_t> dayOfMonth)
    : frequency(frequency), interval(interval < 1 ? 1 : interval),
      daysOfWeek(std::move(daysOfWeek)), dayOfMonth(dayOfMonth) {}

std::string RecurrenceRule::localizedSummary() const {
  if (interval == 1 || frequency == Frequency::weekdays)
    return std::string(localizedName(frequency));
  std::string count = std::to_string(static_cast<long long>(interval));
  switch (frequency) {
  case Frequency::daily:
    return "Alle " + count + " Tage";
  case Frequency::weekly:
    return "Alle " + count + " Wochen";
  case Frequency::monthly:
    return "Alle " + count + " Monate";
  case Frequency::yearly:
    return "Alle " + count + " Jahre";
  case Frequency::weekdays:
    break;
  }
  return std::string(localizedName(frequency));
}

Bytes RecurrenceRule::encode() const {
  // Ordered only so that the stored text reads naturally; readers take the
  // keys in any order.
  nlohmann::ordered_json object;
  object["frequency"] = rawValue(frequency);
  object["interval"] = interval;
  object["daysOfWeek"] = daysOfWeek;
  if (dayOfMonth)
    object["dayOfMonth"] = *dayOfMonth;
  return object.dump();
}

std::optional<RecurrenceRule> RecurrenceRule::decode(std::string_view bytes) {
  // Another program wrote these bytes: parse without exceptions and refuse
  // anything that is not exactly the expected shape.
  nlohmann::json object = nlohmann::json::parse(bytes, nullptr, false);
  if (object.is_discarded() || !object.is_object())
    return std::nullopt;

  auto frequencyValue = object.find("frequency");
  auto intervalValue = object.find("interval");
  auto daysValue = object.find("daysOfWeek");
  if (frequencyValue == object.end() || intervalValue == object.end() ||
      daysValue == object.end())
    return std::nullopt;
  if (!frequencyValue->is_string() || !daysValue->is_array())
    return std::nullopt;

  RecurrenceRule rule;
  auto frequency =
      frequencyFromRaw(frequencyValue->get_ref<const std::string &>());
  auto interval = readInteger(*intervalValue);
  if (!frequency || !interval)
    return std::nullopt;
  rule.frequency = *frequency;
  rule.interval = *interval; // as stored: no clamping on reading
  for (const auto &day : *daysValue) {
    auto number = readInteger(day);
    if (!number)
      return std::nullopt;
    rule.daysOfWeek.push_back(*number);
  }
  auto dayValue = object.find("dayOfMonth");
  if (dayValue != object.end() && !dayValue->is_null()) {
    auto day = readInteger(*dayValue);
    if (!day)
      return std::nullopt;
    rule.dayOfMonth = *day;
  }
  return rule;
}

std::string_view rawValue(RecurrenceRule::Frequency f) {
  switch (f) {
  case RecurrenceRule::Frequency::daily:
    return "daily";
  case RecurrenceRule::Frequency::weekdays:
    return "weekdays";
  case RecurrenceRule::Frequency::weekly:
    return "weekly";
  case RecurrenceRule::Frequency::monthly:
    return "monthly";
  case RecurrenceRule::Frequency::yearly:
    return "yearly";
  }
  return "daily";
}

std::optional<RecurrenceRule::Frequency>
frequencyFromRaw(std::string_view raw) {
  for (auto frequency : kAllFrequencies)
    if (rawValue(frequency) == raw)
      return frequency;
  return std::nullopt;
}

std::string_view localizedName(RecurrenceRule::Frequency f) {
  switch (f) {
  case RecurrenceRule::Frequency::daily:
    return "Täglich";
  case RecurrenceRule::Frequency::weekdays:
    return "Werktags (Mo–Fr)";
  case RecurrenceRule::Frequency::weekly:
    return "Wöchentlich";
  case RecurrenceRule::Frequency::monthly:
    return "Monatlich";
  case RecurrenceRule::Frequency::yearly:
    return "Jährlich";
  }
  return "Täglich";
}

} // namespace taskory
