#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace taskory {

// One label colour: the label's name before the user renames it, and its fill
// and text colours ("#" and six upper-case hexadecimal digits). The strings
// are static data; copy `defaultName` to keep it as a label name.
struct LabelColorSpec {
  std::string_view defaultName;
  std::string_view backgroundHex;
  std::string_view foregroundHex;

  constexpr bool operator==(const LabelColorSpec &) const = default;
};

// The colours every plan shares. A label's colour is never stored: it
// follows from its slot index alone, so renaming a label keeps its colour.
namespace PlannerPalette {

// Position = the label's slot index. Slots 0-11 are light fills with dark
// text, slots 12-24 strong fills.
inline constexpr std::array<LabelColorSpec, 25> labelColors = {{
    {"Pink", "#FBDDF0", "#AC2D7E"},       {"Rot", "#F7C7C7", "#A4262C"},
    {"Gelb", "#FBF0C3", "#7A6A00"},       {"Grün", "#CBEBC9", "#0B6A0B"},
    {"Blau", "#C7DFF5", "#0F548C"},       {"Lila", "#D8CCF2", "#5C2E91"},
    {"Bronze", "#F0DDD1", "#8E562E"},     {"Limette", "#E0F0C3", "#5A7D0E"},
    {"Aqua", "#C3EDEA", "#038387"},       {"Grau", "#DCDCDC", "#5D5D5D"},
    {"Silber", "#E8EAEC", "#6B7580"},     {"Braun", "#E0D0C5", "#6E4B34"},
    {"Cranberry", "#C50F1F", "#FFFFFF"},  {"Orange", "#DA3B01", "#FFFFFF"},
    {"Pfirsich", "#FF8C42", "#4A2500"},   {"Ringelblume", "#EAA300", "#4A3A00"},
    {"Hellgrün", "#13A10E", "#FFFFFF"},   {"Dunkelgrün", "#0B6A0B", "#FFFFFF"},
    {"Petrol", "#038387", "#FFFFFF"},     {"Hellblau", "#3A96DD", "#FFFFFF"},
    {"Dunkelblau", "#004E8C", "#FFFFFF"}, {"Lavendel", "#7160E8", "#FFFFFF"},
    {"Pflaume", "#77004D", "#FFFFFF"},    {"Hellgrau", "#A19F9D", "#FFFFFF"},
    {"Dunkelgrau", "#605E5C", "#FFFFFF"},
}};

// The colours the applications offer for cards and buckets: 12 strong ones,
// then 14 light tints. Stored colours are not checked against this list.
inline constexpr std::array<std::string_view, 26> cardTints = {
    "#E3008C", "#D13438", "#FF8C00", "#FFB900", "#107C10", "#00B294", "#0078D4",
    "#004E8C", "#8764B8", "#B4009E", "#69797E", "#3B3A39", "#FBDDF0", "#F7C7C7",
    "#FBE9C3", "#FBF0C3", "#E0F0C3", "#CBEBC9", "#C3EDEA", "#C7DFF5", "#D3DDF7",
    "#D8CCF2", "#EFD9EC", "#F0DDD1", "#E8EAEC", "#DCDCDC"};

// The colours of a slot; any slot outside 0...24 gets slot 0's.
constexpr LabelColorSpec labelColor(int64_t slot) {
  if (slot < 0 || slot >= static_cast<int64_t>(labelColors.size()))
    return labelColors[0];
  return labelColors[static_cast<std::size_t>(slot)];
}

// Perceived brightness 0...1 of "#RRGGBB" or "RRGGBB" (either letter case,
// surrounding white space ignored); nothing for any other text.
std::optional<double> perceivedBrightness(std::string_view hex);

// True for a colour with brightness below 0.55; a text that is no colour is
// not dark.
bool isDark(std::string_view hex);

} // namespace PlannerPalette
} // namespace taskory
