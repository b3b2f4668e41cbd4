#pragma once

#include "KanbanCore/Card.h"
#include "KanbanCore/Types.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The three shapes in which the assistant reads a card (one line, a detail
// text, a JSON object) and the one-line confirmation of the card-writing
// tools. All of them are pure: they read the card and its relationships
// through the context and never change anything. `now` decides "überfällig";
// `calendar` gives the local time zone of every printed date.
namespace taskory {

class Calendar;
class ModelContext;

// "yyyy-MM-dd" when the local time is exactly `defaultHour`:00 (seconds are
// ignored), else "yyyy-MM-dd HH:mm". Due and start dates use kDueHour,
// planned dates kPlannedHour.
std::string dateString(Date date, int defaultHour, const Calendar &calendar);

// "fällig …", "start …", "geplant …", "überfällig", each only when it applies.
std::vector<std::string> dateParts(const Card &card, Date now,
                                   const Calendar &calendar);
// "Labels: …", "Ziele: …", "Wdh: …", "GitHub: …", each only when it applies.
std::vector<std::string> metaParts(ModelContext &context, const Card &card);

// One line of list_cards: short ID · status · priority · checklist · dates ·
// plan · bucket · title · meta · "Idee" · "Mein Tag". `omitPlan` and
// `omitBucket` leave out what the caller already named.
std::string cardLine(ModelContext &context, const Card &card, Date now,
                     const Calendar &calendar, bool omitPlan = false,
                     bool omitBucket = false);

// The lines of cardLine for each card, in order, with what they read beyond
// the cards' own fields loaded for all of them at once.
std::vector<std::string> cardLines(ModelContext &context,
                                   const std::vector<Card *> &cards, Date now,
                                   const Calendar &calendar, bool omitPlan,
                                   bool omitBucket);

// The multi-line text of get_card (lines joined by "\n", no trailing one).
std::string cardDetailText(ModelContext &context, const Card &card, Date now,
                           const Calendar &calendar);

// The card as a JSON object: the summary keys, plus the detail keys
// ("notes", "color_hex", "checklist", …) when `detail` is true. Optional keys
// are absent rather than null or false.
nlohmann::json cardJSON(ModelContext &context, const Card &card, Date now,
                        const Calendar &calendar, bool detail,
                        bool omitPlan = false, bool omitBucket = false);

// An array of cardJSON (detail false) for each card, in order, loaded as
// cardLines loads.
nlohmann::json cardJSONs(ModelContext &context,
                         const std::vector<Card *> &cards, Date now,
                         const Calendar &calendar, bool omitPlan,
                         bool omitBucket);

// The confirmation of the card-writing tools, e.g.
// "Angelegt: „Einkaufen“ (1A2B3C4D) – not_started, Bucket Zu erledigen"
// followed by ", Checkliste a/b", ", fällig yyyy-MM-dd" and " – note" when
// they apply.
std::string
acknowledgement(ModelContext &context, const Card &card,
                const Calendar &calendar, std::string_view prefix,
                std::optional<std::string_view> note = std::nullopt);

// True when the `format` argument asks for JSON ("json" in any letter case);
// text is the default.
bool wantsJSON(const nlohmann::json &arguments);

// The separator of the parts of every text line.
inline constexpr std::string_view kPartSeparator = " · ";
// Joins with kPartSeparator.
std::string joinParts(const std::vector<std::string> &parts);

// One text per entity, in order: the names of a listing.
template <class T, class Text>
std::vector<std::string> textsOf(const std::vector<T *> &entities, Text text) {
  std::vector<std::string> out;
  out.reserve(entities.size());
  for (const T *entity : entities)
    out.push_back(text(*entity));
  return out;
}

} // namespace taskory
