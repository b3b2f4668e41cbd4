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

// A whole number that a 64-bit signed integer holds exactly: a JSON integer,
// or a number written with a fraction or exponent whose value is whole (2.0,
// 1e3), as the planner's other clients read integers. Anything beyond the
// range (1e19, 18446744073709551615, a number too large for a double) is not
// an integer at all: clamping it would turn a slip into "no limit" or a
// series that never comes round again.
inline std::optional<int64_t> integral(const nlohmann::json &value) {
  if (value.is_number_unsigned()) {
    const auto u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (value.is_number_integer())
    return value.get<int64_t>();
  if (value.is_number_float()) {
    const double d = value.get<double>();
    // -2^63 is the least value; 2^63, the first double above the range, is
    // already out.
    if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 ||
        d >= 9223372036854775808.0)
      return std::nullopt;
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

inline std::optional<int64_t> integer(const nlohmann::json &args,
                                      std::string_view key) {
  const auto *value = member(args, key);
  return value ? integral(*value) : std::nullopt;
}

// A finite number. The request reader keeps a number beyond double range as
// an infinity, which no argument can use.
inline std::optional<double> number(const nlohmann::json &args,
                                    std::string_view key) {
  const auto *value = member(args, key);
  if (!value || !value->is_number())
    return std::nullopt;
  const double d = value->get<double>();
  if (!std::isfinite(d))
    return std::nullopt;
  return d;
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

// An array argument typed "array of strings": nothing unless every element
// is a string. One stray element makes the whole argument of the wrong type,
// so it counts as absent rather than quietly shrinking the list (labels that
// replace a card's labels must not lose the ones that failed to parse).
inline const nlohmann::json *stringArray(const nlohmann::json &args,
                                         std::string_view key) {
  const auto *value = array(args, key);
  if (!value)
    return nullptr;
  for (const auto &element : *value)
    if (!element.is_string())
      return nullptr;
  return value;
}

// The string elements of an array, in order.
inline std::vector<std::string> strings(const nlohmann::json &array) {
  std::vector<std::string> out;
  for (const auto &element : array)
    if (element.is_string())
      out.push_back(element.get<std::string>());
  return out;
}

} // namespace taskory::args
