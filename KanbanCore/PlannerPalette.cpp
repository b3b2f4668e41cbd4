#include "KanbanCore/PlannerPalette.h"

#include "KanbanCore/Text.h"

#include <cstdint>

namespace taskory::PlannerPalette {

namespace {

// White space and line breaks in their UTF-8 forms: the Unicode separators
// (Zs, Zl, Zp), the ASCII controls TAB to CR and NEL. Colours come from other
// programs and from assistants, which may pad them with any of these.
constexpr std::string_view kBlanks[] = {
    "\t",           "\n",           "\v",
    "\f",           "\r",           " ",
    "\xC2\x85",     // NEL
    "\xC2\xA0",     // no-break space
    "\xE1\x9A\x80", // ogham space mark
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", // en quad ... hair space
    "\xE2\x80\xA8",                 // line separator
    "\xE2\x80\xA9",                 // paragraph separator
    "\xE2\x80\xAF",                 // narrow no-break space
    "\xE2\x81\x9F",                 // medium mathematical space
    "\xE3\x80\x80",                 // ideographic space
};

std::string_view trimmed(std::string_view text) {
  bool changed = true;
  while (changed && !text.empty()) {
    changed = false;
    for (std::string_view blank : kBlanks) {
      if (text.starts_with(blank)) {
        text.remove_prefix(blank.size());
        changed = true;
      }
      if (text.ends_with(blank)) {
        text.remove_suffix(blank.size());
        changed = true;
      }
    }
  }
  return text;
}

} // namespace

std::optional<double> perceivedBrightness(std::string_view hex) {
  std::string_view digits = trimmed(hex);
  if (digits.starts_with('#'))
    digits.remove_prefix(1);
  if (digits.size() != 6)
    return std::nullopt;
  uint32_t value = 0;
  for (char c : digits) {
    int digit = text::hexDigitValue(c);
    if (digit < 0)
      return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  double r = (value >> 16) & 0xFF;
  double g = (value >> 8) & 0xFF;
  double b = value & 0xFF;
  return 0.299 * r / 255 + 0.587 * g / 255 + 0.114 * b / 255;
}

bool isDark(std::string_view hex) {
  auto brightness = perceivedBrightness(hex);
  return brightness && *brightness < 0.55;
}

} // namespace taskory::PlannerPalette
