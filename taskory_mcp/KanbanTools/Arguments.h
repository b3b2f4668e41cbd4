#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Typed reads of tool arguments. An argument of another JSON type than the one
// a tool expects counts as absent, without a message, so every reader here
// returns nothing rather than throwing.
namespace taskory::args {

inline const nlohmann::json *member(const nlohmann::json &args,
                                    std::string_view key) {
  if (!args.is_object())
    return nullptr;
  auto it = args.find(key);
  return it == args.end() ? nullptr : &*it;
}

inline const std::string *string(const nlohmann::json &args,
                                 std::string_view key) {
  const auto *value = member(args, key);
  return value && value->is_string() ? value->get_ptr<const std::string *>()
                                     : nullptr;
}

inline std::optional<bool> boolean(const nlohmann::json &args,
                                   std::string_view key) {
  const auto *value = member(args, key);
  if (!value || !value->is_boolean())
    return std::nullopt;
  return value->get<bool>();
}

// A whole number: a JSON integer, or a number written with a fraction or
// exponent whose value is whole (2.0, 1e3), as the planner's other clients
// read integers. Values beyond the 64-bit signed range are clamped to it
// rather than wrapped, so a huge limit means "no limit", not a negative one.
inline std::optional<int64_t> integral(const nlohmann::json &value) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  if (value.is_number_unsigned()) {
    auto u = value.get<uint64_t>();
    return u > static_cast<uint64_t>(kMax) ? kMax : static_cast<int64_t>(u);
  }
  if (value.is_number_integer())
    return value.get<int64_t>();
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (!std::isfinite(d) || std::trunc(d) != d)
      return std::nullopt;
    // 2^63 is the first double above the range.
    if (d >= 9223372036854775808.0)
      return kMax;
    if (d < -9223372036854775808.0)
      return kMin;
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

inline std::optional<int64_t> integer(const nlohmann::json &args,
                                      std::string_view key) {
  const auto *value = member(args, key);
  return value ? integral(*value) : std::nullopt;
}

inline std::optional<double> number(const nlohmann::json &args,
                                    std::string_view key) {
  const auto *value = member(args, key);
  if (!value || !value->is_number())
    return std::nullopt;
  return value->get<double>();
}

inline const nlohmann::json *array(const nlohmann::json &args,
                                   std::string_view key) {
  const auto *value = member(args, key);
  return value && value->is_array() ? value : nullptr;
}

inline const nlohmann::json *object(const nlohmann::json &args,
                                    std::string_view key) {
  const auto *value = member(args, key);
  return value && value->is_object() ? value : nullptr;
}

// The string elements of an array argument, in order; other elements skipped.
inline std::vector<std::string> strings(const nlohmann::json &array) {
  std::vector<std::string> out;
  for (const auto &element : array)
    if (element.is_string())
      out.push_back(element.get<std::string>());
  return out;
}

} // namespace taskory::args
