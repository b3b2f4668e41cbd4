#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What every page of the board site is made of: the escaping that keeps any
// stored text inert, addresses, German dates, readable label text, and the
// document around a page's content with its style and live-update script.
// Pure; safe from any thread.
namespace taskory {
class Calendar;
} // namespace taskory

namespace taskory::BoardPage {

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD and
// the five characters that HTML gives a meaning (& < > " ') as references, so
// that any stored text is safe inside an element and inside a quoted
// attribute.
std::string escaped(std::string_view text);

inline void append(std::string &out, std::string_view text) {
  out += escaped(text);
}

// A hidden form field.
void appendHidden(std::string &out, std::string_view name,
                  std::string_view value);

// The start of a change form (Http/BoardEdits.h): posted to `action`, named
// `label` for assistive technology (none when empty), with the form token
// and the way back.
void appendChangeFormStart(std::string &out, std::string_view action,
                           std::string_view label, std::string_view token,
                           std::string_view back);

// A date as a date field holds it (yyyy-MM-dd); empty for none.
std::string inputDate(const std::optional<Date> &date,
                      const Calendar &calendar);

// Percent-encoded for a query value or a path segment: ids are stored by
// other programs too and may hold any bytes.
std::string urlEncoded(std::string_view text);

// Black or white, whichever reads better on `background` ("#RRGGBB").
std::string_view textColourOn(std::string_view background);

// A stored colour ("#RRGGBB" or "RRGGBB", any letter case) as CSS;
// nothing for any other text, which other programs may have stored.
std::optional<std::string> cssColour(std::string_view stored);

// The labels as coloured chips, each `names[i]` in the palette colour of
// `slots[i]`.
void appendLabels(std::string &out, const std::vector<std::string> &names,
                  const std::vector<int64_t> &slots);

// "Di. 08.12.2026", with " HH:mm" unless the time is `defaultHour`:00.
std::string pageDate(Date date, int defaultHour, const Calendar &calendar);

// The whole document around `main`. `version` is the store's change counter
// the page's script compares with /changes; `live` adds that script.
std::string document(std::string_view title, uint64_t version,
                     std::string_view main, bool live);

} // namespace taskory::BoardPage
