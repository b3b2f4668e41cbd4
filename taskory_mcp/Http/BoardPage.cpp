#include "Http/BoardPage.h"

#include "Http/BoardParts.h"
#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/TextSearch.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

namespace taskory::BoardPage {
namespace {

// A picker replaces the row of plan links once the row would wrap on a
// phone.
constexpr std::size_t kMaxPlanLinks = 6;

void appendViews(std::string &out, const Request &request,
                 std::string_view planID) {
  out += "<nav aria-label=\"Ansicht\">";
  const std::pair<View, std::string_view> views[] = {{View::board, "Board"},
                                                     {View::week, "Woche"},
                                                     {View::today, "Heute"},
                                                     {View::goals, "Ziele"}};
  for (const auto &[view, name] : views) {
    out += "<a href=\"" + address(view, planID, request.showDone) + "\"";
    if (view == request.view)
      out += " aria-current=\"page\"";
    out += ">";
    out += name;
    out += "</a>";
  }
  out += "</nav>";
}

void appendPlanPicker(std::string &out, const std::vector<Plan *> &plans,
                      const Plan &chosen, const Request &request) {
  if (plans.size() <= kMaxPlanLinks) {
    out += "<nav aria-label=\"Pläne\">";
    for (const Plan *plan : plans) {
      out += "<a href=\"" + address(View::board, plan->id, request.showDone) +
             "\"";
      if (plan == &chosen)
        out += " aria-current=\"page\"";
      out += ">";
      if (plan->isFavorite)
        out += "<span title=\"Favorit\">★</span> ";
      append(out, plan->title);
      out += "</a>";
    }
    out += "</nav>";
    return;
  }
  // A form, so that choosing works without the script too; it opens the
  // plan on the button only, so that arrow keys and typed letters just move
  // the choice. Favourites form a group of their own instead of a prefix,
  // so a typed letter finds them by their title.
  out += "<nav aria-label=\"Pläne\"><form method=\"get\" action=\"/\">"
         "<input type=\"hidden\" name=\"view\" value=\"board\">";
  if (request.showDone)
    out += "<input type=\"hidden\" name=\"done\" value=\"1\">";
  out += "<select name=\"plan\" aria-label=\"Plan\">";
  for (const bool favourites : {true, false}) {
    std::string options;
    for (const Plan *plan : plans) {
      if (plan->isFavorite != favourites)
        continue;
      options += "<option value=\"";
      append(options, plan->id);
      options += plan == &chosen ? "\" selected>" : "\">";
      append(options, plan->title);
      options += "</option>";
    }
    if (!options.empty())
      out += std::string("<optgroup label=\"") +
             (favourites ? "Favoriten" : "Pläne") + "\">" + options +
             "</optgroup>";
  }
  out += "</select><button type=\"submit\">Öffnen</button></form></nav>";
}

void appendBoard(std::string &out, std::string &title, ModelContext &context,
                 const Calendar &calendar, Date now, const Request &request,
                 const std::vector<Plan *> &plans, std::string_view planID) {
  Plan *chosen = nullptr;
  for (Plan *plan : plans)
    if (plan->id == planID)
      chosen = plan;
  appendPlanPicker(out, plans, *chosen, request);
  if (chosen->id != request.planID && !request.planID.empty()) {
    out += "<p class=\"hint\" role=\"status\">Diesen Plan gibt es nicht "
           "(mehr); gezeigt wird „";
    append(out, chosen->title);
    out += "“.</p>";
  }
  out += "<h1>";
  append(out, chosen->title);
  out += "</h1>";
  title = chosen->title + " – Taskory";

  appendFilter(out, context, *chosen, request);
  CardQuery query;
  query.planID = chosen->id;
  query.includeArchived = request.showDone;
  if (!request.showDone)
    query.maxPercent = 99;
  std::optional<TextSearch> search;
  if (!request.query.empty()) {
    search.emplace(request.query);
    query.textMatches = [&search](std::string_view title,
                                  std::string_view notes) {
      return search->matches(title, notes);
    };
  }
  query.dueAtOrBefore = dueWindowEnd(request.due, now, calendar);
  BoardQueries queries(context);
  const std::vector<Card *> cards =
      queries.queryCards(query, std::numeric_limits<std::size_t>::max());
  int64_t all = 0;
  if (!request.showDone) {
    CardQuery everything;
    everything.planID = chosen->id;
    everything.includeArchived = true;
    // One card is loaded with the count; a limit of 0 counts nothing.
    queries.queryCards(everything, 1, &all);
  }
  const int64_t hidden = request.showDone ? 0 : all - int64_t(cards.size());

  out += "<nav aria-label=\"Erledigte\"><a href=\"" +
         address(View::board, chosen->id, !request.showDone, {}, &request) +
         "\">";
  out += request.showDone ? std::string("Erledigte und archivierte ausblenden")
                          : "Erledigte und archivierte anzeigen (" +
                                std::to_string(hidden) + ")";
  out += "</a></nav>";

  std::vector<const Card *> page(cards.begin(), cards.end());
  const auto facts = queries.pageFacts(page);
  // Label and priority are read from what the page shows anyway.
  if (!request.label.empty() || !request.priority.empty())
    std::erase_if(page, [&](const Card *card) {
      const auto &names = facts.at(card->id).labelNames;
      const auto word = priorityWord(card->priority());
      return (!request.label.empty() &&
              std::find(names.begin(), names.end(), request.label) ==
                  names.end()) ||
             (!request.priority.empty() &&
              request.priority != word.value_or("medium"));
    });
  if (filters(request))
    out += "<p class=\"hint\" role=\"status\">" + std::to_string(page.size()) +
           " Karten passen zum Filter.</p>";
  const std::vector<Bucket *> buckets = context.sortedBuckets(*chosen);
  std::unordered_map<std::string, std::vector<const Card *>> byBucket;
  std::vector<const Card *> loose;
  for (const Bucket *bucket : buckets)
    byBucket[bucket->id];
  for (const Card *card : page) {
    auto it = card->bucket ? byBucket.find(*card->bucket) : byBucket.end();
    (it == byBucket.end() ? loose : it->second).push_back(card);
  }
  std::unordered_map<std::string, Date> byAssistant;
  if (request.lastLooked)
    byAssistant =
        queries.cardsChangedBy(KanbanStore::Author::mcp, *request.lastLooked);
  // The order of a column as the planner applications show it; the query's
  // order breaks ties.
  const auto bySortOrder = [](const Card *a, const Card *b) {
    return a->sortOrder < b->sortOrder;
  };
  out += "<div class=\"cols board\" tabindex=\"0\" aria-label=\"Buckets\"";
  if (!request.formToken.empty()) {
    // For moving cards by drag and drop.
    out += " data-token=\"";
    append(out, request.formToken);
    out += "\"";
  }
  out += ">";
  for (const Bucket *bucket : buckets) {
    auto &column = byBucket[bucket->id];
    std::stable_sort(column.begin(), column.end(), bySortOrder);
    std::optional<QuickAdd> add;
    if (!request.formToken.empty())
      add = QuickAdd{chosen->id, bucket->id,
                     "/?view=board&plan=" + urlEncoded(chosen->id) +
                         (request.showDone ? "&done=1" : ""),
                     request.formToken, request.addBucket == bucket->id};
    appendColumn(out, bucket->name, column, facts, now, calendar,
                 {.showPlan = false,
                  .bucketColour = bucket->colorHex
                                      ? cssColour(*bucket->colorHex)
                                      : std::nullopt,
                  .draggable = add.has_value(),
                  .byAssistant = &byAssistant},
                 false, add ? &*add : nullptr);
  }
  if (!loose.empty()) {
    std::stable_sort(loose.begin(), loose.end(), bySortOrder);
    appendColumn(out, "Ohne Bucket", loose, facts, now, calendar,
                 {.showPlan = false,
                  .bucketColour = std::nullopt,
                  .draggable = false,
                  .byAssistant = &byAssistant});
  }
  if (buckets.empty() && loose.empty())
    out += "<p class=\"empty\">Keine Buckets</p>";
  out += "</div>";
  if (!request.formToken.empty())
    appendManage(out, *chosen, buckets, request);
}

} // namespace

Request requestFrom(const std::function<std::string(std::string_view)> &param) {
  Request request;
  const std::string view = param("view");
  if (view == "week")
    request.view = View::week;
  else if (view == "goals")
    request.view = View::goals;
  else if (view == "today")
    request.view = View::today;
  request.planID = param("plan");
  request.showDone = param("done") == "1";
  request.week = param("week");
  request.query = param("q");
  request.label = param("label");
  request.priority = param("priority");
  request.due = param("due");
  request.addBucket = param("add");
  return request;
}

std::string render(ModelContext &context, const Calendar &calendar, Date now,
                   const Request &request, uint64_t changeVersion) {
  const std::vector<Plan *> tools = resolution::fetchPlans(context);
  std::vector<Plan *> plans = tools;
  // Favourites first in the picker, each group in the tools' order.
  std::stable_partition(plans.begin(), plans.end(),
                        [](const Plan *plan) { return plan->isFavorite; });
  std::string main;
  std::string title = "Taskory";
  // Without a choice, or with one that names no plan, the plan a card
  // without a plan goes to.
  std::string planID = request.planID;
  if (std::none_of(tools.begin(), tools.end(),
                   [&](const Plan *plan) { return plan->id == planID; }) &&
      !tools.empty())
    planID = tools.front()->id;
  appendViews(main, request, planID);
  if (request.view == View::week) {
    appendWeek(main, title, context, calendar, now, request, planID);
  } else if (request.view == View::today) {
    appendToday(main, context, calendar, now);
    title = "Heute – Taskory";
  } else if (request.view == View::goals) {
    appendGoals(main, context, calendar, now, plans);
    title = "Ziele – Taskory";
  } else if (plans.empty()) {
    main += "<h1>Taskory</h1><p class=\"empty\">Keine Pläne.</p>";
  } else {
    appendBoard(main, title, context, calendar, now, request, plans, planID);
  }
  return document(title, changeVersion, main, true);
}

std::string lockedPage() {
  return document(
      "Taskory – Anmeldung nötig", 0,
      "<h1>Anmeldung nötig</h1><p>Öffne die Board-Adresse, die "
      "<code>taskory_mcp --http</code> beim Start ausgibt "
      "(<code>http://127.0.0.1:PORT/?key=…</code>). Sie gilt, solange die "
      "Datei <code>http-token</code> neben dem Store dasselbe Token "
      "enthält.</p>",
      false);
}

std::string unavailablePage(std::string_view reason) {
  std::string main = "<h1>Board nicht verfügbar</h1><p>";
  append(main, reason);
  main += "</p>";
  return document("Taskory – nicht verfügbar", 0, main, false);
}

} // namespace taskory::BoardPage
