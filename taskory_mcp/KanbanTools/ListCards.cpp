#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/DateInput.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/TextSearch.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace taskory {
namespace {

constexpr int64_t kDefaultLimit = 50;

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
    const PercentRange range = percentRange(parseStatus(*status));
    query.minPercent = range.min;
    query.maxPercent = range.max;
  } else if (args::boolean(arguments, "include_completed") != true) {
    query.maxPercent = kCompletedFromPercent - 1;
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
    query.dueAtOrBefore = dueWithinDays(call.calendar, call.now, *days);

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
    return KanbanTools::encode(std::move(list)) + cutNotice(hidden);
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
