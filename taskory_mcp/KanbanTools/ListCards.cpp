#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/Resolution.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace taskory {
namespace {

constexpr int64_t kDefaultLimit = 50;

// Now plus `days` calendar days. A limit beyond the calendar's range is held
// at the range's end on its side, so that a wider window never lists fewer
// cards than a narrower one (falling back to now would turn three million
// days into "overdue only"). Now itself only when the calendar has no range.
Date dueLimit(const Calendar &calendar, Date now, int64_t days) {
  if (auto limit = calendar.addingDays(now, days))
    return *limit;
  const auto range = calendar.range();
  if (!range || days == 0)
    return now;
  return days > 0 ? range->second : range->first;
}

// Substring search in the locale lower-cased title or notes. Lower-casing
// through ICU costs a conversion per text, which dominates a search over a
// large store. Wherever the locale lower-cases like the root locale (all but
// the Turkic and Lithuanian ones; checked once per search), lower-casing
// turns ASCII capitals into ASCII small letters and every other character
// into characters without ASCII letters, except U+0130 and U+212A. So an
// ASCII needle is found in the text with only its ASCII bytes lower-cased,
// byte for byte, unless the text holds one of those two; then, and for a
// needle beyond ASCII in a text that is not ASCII, ICU decides.
class TextSearch {
public:
  explicit TextSearch(std::string_view query)
      : needle_(text::lowercased(query)),
        fastPath_(text::lowercasesLikeRoot()),
        needleIsASCII_(std::all_of(needle_.begin(), needle_.end(), [](char c) {
          return static_cast<unsigned char>(c) < 0x80;
        })) {}

  bool matches(std::string_view title, std::string_view notes) {
    return contains(title) || contains(notes);
  }

private:
  bool contains(std::string_view haystack) {
    if (fastPath_) {
      switch (lowerASCII(haystack)) {
      case Bytes::ascii:
        // A lower-cased ASCII text holds no other byte than ASCII ones.
        return needleIsASCII_ && buffer_.find(needle_) != std::string::npos;
      case Bytes::utf8:
        if (needleIsASCII_)
          return buffer_.find(needle_) != std::string::npos;
        break;
      case Bytes::lowersToASCII:
        break;
      }
    }
    return text::lowercased(haystack).find(needle_) != std::string::npos;
  }

  enum class Bytes { ascii, utf8, lowersToASCII };

  // `text` with its ASCII letters lower-cased into buffer_, and what else it
  // holds.
  Bytes lowerASCII(std::string_view text) {
    buffer_.resize(text.size());
    bool ascii = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      if (c >= 0x80) {
        ascii = false;
        // U+0130 is C4 B0, U+212A is E2 84 AA.
        if ((c == 0xC4 && i + 1 < text.size() &&
             static_cast<unsigned char>(text[i + 1]) == 0xB0) ||
            (c == 0xE2 && text.substr(i + 1, 2) == "\x84\xAA"))
          return Bytes::lowersToASCII;
      }
      buffer_[i] =
          static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return ascii ? Bytes::ascii : Bytes::utf8;
  }

  std::string needle_;
  bool fastPath_;
  bool needleIsASCII_;
  std::string buffer_;
};

std::string cutNotice(int64_t hidden) {
  return "\n… " + std::to_string(hidden) +
         " weitere Karten – mit bucket, query oder status eingrenzen oder "
         "limit erhöhen.";
}

} // namespace

namespace handlers {

// The filters of list_cards all have exact counterparts in the store
// (archived, plan, bucket, progress range, due limit, text test), so the
// store selects, sorts and cuts; only the cards that are shown are loaded.
// The store's order (due date with undated cards last, sortOrder, insertion
// order) is the stable sort of the tool over either base set, because both
// the plan's active cards and all cards come in insertion order.
ToolResult listCards(const ToolCall &call, const nlohmann::json &arguments) {
  CardQuery query;
  query.includeArchived = false;

  const std::string *planText = args::string(arguments, "plan");
  const std::string *bucketText = args::string(arguments, "bucket");
  if (bucketText && bucketText->empty())
    bucketText = nullptr;

  if (planText) {
    Plan &plan = resolution::findPlan(call.context, *planText);
    query.planID = plan.id;
    if (bucketText)
      query.bucketIDs = std::vector<UUID>{
          resolution::findBucket(call.context, *bucketText, plan).id};
  } else if (bucketText) {
    query.bucketIDs =
        resolution::bucketIDsInAllPlans(call.context, *bucketText);
  }

  if (const std::string *status = args::string(arguments, "status")) {
    // Progress is read from the stored percentage by range, exactly as the
    // typed view reads it (below 50, 50-99, 100 and above).
    switch (parseStatus(*status)) {
    case CardProgress::notStarted:
      query.maxPercent = 49;
      break;
    case CardProgress::inProgress:
      query.minPercent = 50;
      query.maxPercent = 99;
      break;
    case CardProgress::completed:
      query.minPercent = 100;
      break;
    }
  } else if (args::boolean(arguments, "include_completed") != true) {
    query.maxPercent = 99;
  }

  std::optional<TextSearch> search;
  if (const std::string *text = args::string(arguments, "query");
      text && !text->empty()) {
    search.emplace(*text);
    query.textMatches = [&search](std::string_view title,
                                  std::string_view notes) {
      return search->matches(title, notes);
    };
  }

  if (auto days = args::integer(arguments, "due_within_days"))
    query.dueAtOrBefore = dueLimit(call.calendar, call.now, *days);

  int64_t limit = args::integer(arguments, "limit").value_or(kDefaultLimit);
  limit = std::max<int64_t>(limit, 1);

  const bool json = wantsJSON(arguments);
  int64_t matched = 0;
  const std::vector<Card *> cards =
      BoardQueries(call.context)
          .queryCards(query, static_cast<std::size_t>(limit), &matched);
  if (cards.empty()) {
    if (json)
      return nlohmann::json::array();
    return std::string("Keine Karten gefunden.");
  }
  const int64_t hidden = matched - static_cast<int64_t>(cards.size());

  const bool omitPlan = planText != nullptr;
  const bool omitBucket = bucketText != nullptr;
  if (json) {
    nlohmann::json list = cardJSONs(call.context, cards, call.now,
                                    call.calendar, omitPlan, omitBucket);
    if (hidden <= 0)
      return list;
    return KanbanTools::encode(list) + cutNotice(hidden);
  }
  std::string out = text::joined(cardLines(call.context, cards, call.now,
                                           call.calendar, omitPlan, omitBucket),
                                 "\n");
  if (hidden > 0)
    out += cutNotice(hidden);
  return out;
}

} // namespace handlers
} // namespace taskory
