#include "Http/BoardPage.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/Resolution.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

namespace taskory::BoardPage {
namespace {

using Facts = BoardQueries::CardPageFacts;

// A picker replaces the row of plan links once the row would wrap on a
// phone.
constexpr std::size_t kMaxPlanLinks = 6;

// Kept inline so that the page needs no second request and works offline.
constexpr std::string_view kStyle = R"CSS(
:root{color-scheme:light dark;--bg:#f4f5f7;--fg:#1d2330;--mut:#5d6573;--col:#e8eaee;--card:#fff;--line:#d4d8de;--acc:#0f548c;--late:#a4262c;--lateBg:#fde7e9}
@media (prefers-color-scheme:dark){:root{--bg:#15181d;--fg:#e6e9ee;--mut:#9aa3b0;--col:#1f242b;--card:#2a3038;--line:#3a414b;--acc:#7fb8ee;--late:#ff9a9f;--lateBg:#4a1d22}}
*{box-sizing:border-box}body{margin:0;background:var(--bg);color:var(--fg);font:15px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif}
main{padding:12px}h1{font-size:1.3em;margin:0 0 8px}h2{font-size:1.05em;margin:0 0 8px}
nav{display:flex;flex-wrap:wrap;gap:6px;margin:0 0 10px;align-items:center}
nav a,nav button,nav select{color:var(--acc);background:var(--card);border:1px solid var(--line);border-radius:6px;padding:4px 10px;text-decoration:none;font:inherit}
nav a[aria-current]{background:var(--acc);color:var(--card);border-color:var(--acc)}
.cols{display:flex;gap:10px;overflow-x:auto;align-items:flex-start;padding-bottom:8px}
.col{background:var(--col);border-radius:8px;padding:8px;min-width:250px;flex:1 0 250px;max-width:340px}
.col.today{outline:2px solid var(--acc)}
.col h2 .n{color:var(--mut);font-weight:normal}
ol{list-style:none;margin:0;padding:0;display:flex;flex-direction:column;gap:6px}
.card{background:var(--card);border:1px solid var(--line);border-radius:6px;padding:6px 8px}
.card.done .t{text-decoration:line-through;color:var(--mut)}
.t{font-weight:600;overflow-wrap:anywhere}.m{font-size:.85em;color:var(--mut);display:flex;flex-wrap:wrap;gap:2px 8px}
.id{font-family:ui-monospace,monospace}.late{color:var(--late);background:var(--lateBg);border-radius:4px;padding:0 4px;font-weight:600}
.pr-urgent{color:var(--late);font-weight:600}.pr-important{color:var(--acc);font-weight:600}
.lb{display:flex;flex-wrap:wrap;gap:4px;margin-top:4px}.lb span{border-radius:4px;padding:0 6px;font-size:.8em}
.g{font-size:.85em;margin-top:2px}.empty,.hint{color:var(--mut)}
.goal{display:grid;grid-template-columns:1fr auto;gap:2px 10px}.goal meter{width:100%;grid-column:1/3}
@media (max-width:600px){.cols{flex-direction:column}.col{max-width:none;width:100%;flex:none}}
)CSS";

// Asks for the cheap change counter every second and, when it moved, fetches
// the same address again and swaps the content in place: no reload, and the
// scroll position stays.
constexpr std::string_view kScript = R"JS(
(function(){var v=document.body.dataset.version;var busy=false;
setInterval(async function(){if(busy)return;busy=true;try{
var r=await fetch('/changes',{cache:'no-store',credentials:'same-origin'});
if(r.ok&&(await r.text()).trim()!==v){var p=await fetch(location.href,{cache:'no-store',credentials:'same-origin'});
if(p.ok){var d=new DOMParser().parseFromString(await p.text(),'text/html');var m=d.querySelector('main');
if(m){document.querySelector('main').replaceWith(m);v=d.body.dataset.version;document.body.dataset.version=v;}}}
}catch(e){}busy=false;},1000);
document.addEventListener('change',function(e){if(e.target.name==='plan')e.target.form.submit();});})();
)JS";

void append(std::string &out, std::string_view text) { out += escaped(text); }

// Ids are stored by other programs too and may hold any bytes.
std::string urlEncoded(std::string_view text) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~')
      out += static_cast<char>(c);
    else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string address(View view, std::string_view planID, bool showDone) {
  std::string href = "/?view=";
  href += view == View::board ? "board" : view == View::week ? "week" : "goals";
  if (!planID.empty())
    href += "&plan=" + urlEncoded(planID);
  if (showDone)
    href += "&done=1";
  return escaped(href);
}

struct CardOptions {
  bool showPlan = false;
};

void appendCard(std::string &out, const Card &card, const Facts &facts,
                Date now, const Calendar &calendar, CardOptions options) {
  const bool done = card.isArchived || card.percentComplete >= 100;
  const bool late = isLate(card, now, calendar);
  out += "<li class=\"card";
  out += done ? " done" : "";
  out += late ? " is-late" : "";
  out += "\"><div class=\"t\">";
  append(out, card.title);
  out += "</div><div class=\"m\"><span class=\"id\">";
  append(out, shortID(card.id));
  out += "</span><span class=\"st\">";
  append(out, statusWord(card.progress()));
  out += "</span>";
  if (auto priority = priorityWord(card.priority())) {
    out += "<span class=\"pr pr-";
    out += *priority;
    out += "\">";
    out += *priority;
    out += "</span>";
  }
  if (card.dueDate) {
    out += late ? "<span class=\"due late\">" : "<span class=\"due\">";
    append(out, "fällig " + dateString(*card.dueDate, kDueHour, calendar));
    if (late)
      out += " · überfällig";
    out += "</span>";
  }
  if (facts.checklistItems > 0)
    out += "<span class=\"cl\" title=\"Checkliste\">☑ " +
           std::to_string(facts.checkedItems) + "/" +
           std::to_string(facts.checklistItems) + "</span>";
  if (card.isArchived)
    out += "<span>archiviert</span>";
  if (auto rule = card.recurrenceRule()) {
    out += "<span class=\"rep\" title=\"";
    append(out, "Wdh: " + rule->localizedSummary());
    out += "\">↻ Wdh</span>";
  }
  if (options.showPlan && facts.planTitle) {
    out += "<span class=\"plan\">";
    append(out, *facts.planTitle);
    out += "</span>";
  }
  out += "</div>";
  if (!facts.labelNames.empty()) {
    out += "<div class=\"lb\">";
    for (std::size_t i = 0; i < facts.labelNames.size(); ++i) {
      const LabelColorSpec color = PlannerPalette::labelColor(
          i < facts.labelSlots.size() ? facts.labelSlots[i] : 0);
      out += "<span style=\"background:";
      out += color.backgroundHex;
      out += ";color:";
      out += color.foregroundHex;
      out += "\">";
      append(out, facts.labelNames[i]);
      out += "</span>";
    }
    out += "</div>";
  }
  if (!facts.goalTitles.empty()) {
    out += "<div class=\"g\">Ziele: ";
    append(out, text::joined(facts.goalTitles, ", "));
    out += "</div>";
  }
  out += "</li>";
}

void appendColumn(std::string &out, std::string_view heading,
                  const std::vector<const Card *> &cards,
                  const std::unordered_map<std::string, Facts> &facts, Date now,
                  const Calendar &calendar, CardOptions options,
                  bool today = false) {
  out += today ? "<section class=\"col today\"><h2>"
               : "<section class=\"col\"><h2>";
  append(out, heading);
  if (today)
    out += " (heute)";
  out += " <span class=\"n\">" + std::to_string(cards.size()) + "</span></h2>";
  if (cards.empty())
    out += "<p class=\"empty\">Keine Karten</p>";
  else {
    out += "<ol>";
    for (const Card *card : cards)
      appendCard(out, *card, facts.at(card->id), now, calendar, options);
    out += "</ol>";
  }
  out += "</section>";
}

// Favourites first, each group in the order the tools list plans.
std::vector<Plan *> orderedPlans(ModelContext &context) {
  std::vector<Plan *> plans = resolution::fetchPlans(context);
  std::stable_partition(plans.begin(), plans.end(),
                        [](const Plan *plan) { return plan->isFavorite; });
  return plans;
}

void appendViews(std::string &out, const Request &request,
                 std::string_view planID) {
  out += "<nav aria-label=\"Ansicht\">";
  const std::pair<View, std::string_view> views[] = {
      {View::board, "Board"}, {View::week, "Woche"}, {View::goals, "Ziele"}};
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
  const auto label = [](const Plan &plan) {
    return (plan.isFavorite ? "★ " : "") + plan.title;
  };
  if (plans.size() <= kMaxPlanLinks) {
    out += "<nav aria-label=\"Pläne\">";
    for (const Plan *plan : plans) {
      out += "<a href=\"" + address(View::board, plan->id, request.showDone) +
             "\"";
      if (plan == &chosen)
        out += " aria-current=\"page\"";
      out += ">";
      append(out, label(*plan));
      out += "</a>";
    }
    out += "</nav>";
    return;
  }
  // A form, so that choosing works without the script too.
  out += "<nav aria-label=\"Pläne\"><form method=\"get\" action=\"/\">"
         "<input type=\"hidden\" name=\"view\" value=\"board\">";
  if (request.showDone)
    out += "<input type=\"hidden\" name=\"done\" value=\"1\">";
  out += "<select name=\"plan\" aria-label=\"Plan\">";
  for (const Plan *plan : plans) {
    out += "<option value=\"";
    append(out, plan->id);
    out += plan == &chosen ? "\" selected>" : "\">";
    append(out, label(*plan));
    out += "</option>";
  }
  out += "</select><button type=\"submit\">Öffnen</button></form></nav>";
}

void appendBoard(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now, const Request &request,
                 const std::vector<Plan *> &plans) {
  Plan *chosen = plans.front();
  for (Plan *plan : plans)
    if (plan->id == request.planID)
      chosen = plan;
  appendPlanPicker(out, plans, *chosen, request);
  out += "<h1>";
  append(out, chosen->title);
  out += "</h1>";

  CardQuery query;
  query.planID = chosen->id;
  query.includeArchived = request.showDone;
  if (!request.showDone)
    query.maxPercent = 99;
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
         address(View::board, chosen->id, !request.showDone) + "\">";
  out += request.showDone ? std::string("Erledigte und archivierte ausblenden")
                          : "Erledigte und archivierte anzeigen (" +
                                std::to_string(hidden) + ")";
  out += "</a></nav>";

  const std::vector<const Card *> page(cards.begin(), cards.end());
  const auto facts = queries.pageFacts(page);
  const std::vector<Bucket *> buckets = context.sortedBuckets(*chosen);
  std::unordered_map<std::string, std::vector<const Card *>> byBucket;
  std::vector<const Card *> loose;
  for (const Bucket *bucket : buckets)
    byBucket[bucket->id];
  for (const Card *card : page) {
    auto it = card->bucket ? byBucket.find(*card->bucket) : byBucket.end();
    (it == byBucket.end() ? loose : it->second).push_back(card);
  }
  // The order of a column as the planner applications show it; the query's
  // order breaks ties.
  const auto bySortOrder = [](const Card *a, const Card *b) {
    return a->sortOrder < b->sortOrder;
  };
  out += "<div class=\"cols\">";
  for (const Bucket *bucket : buckets) {
    auto &column = byBucket[bucket->id];
    std::stable_sort(column.begin(), column.end(), bySortOrder);
    appendColumn(out, bucket->name, column, facts, now, calendar, {});
  }
  if (!loose.empty()) {
    std::stable_sort(loose.begin(), loose.end(), bySortOrder);
    appendColumn(out, "Ohne Bucket", loose, facts, now, calendar, {});
  }
  if (buckets.empty() && loose.empty())
    out += "<p class=\"empty\">Keine Buckets</p>";
  out += "</div>";
}

void appendWeek(std::string &out, ModelContext &context,
                const Calendar &calendar, Date now) {
  const std::vector<Date> days = weekDays(now, calendar);
  out += "<h1>Woche</h1>";
  if (days.empty())
    return;
  const auto end = calendar.addingDays(days.back(), 1);
  BoardQueries queries(context);
  std::vector<Card *> planned = queries.openCardsPlannedFrom(days.front());
  std::map<Date, std::vector<const Card *>> byDay;
  for (const Card *card : planned)
    if (!end || *card->plannedDate < *end)
      byDay[calendar.startOfDay(*card->plannedDate)].push_back(card);
  std::vector<const Card *> page;
  for (const auto &[day, cards] : byDay)
    page.insert(page.end(), cards.begin(), cards.end());
  const auto facts = queries.pageFacts(page);
  const Date today = calendar.startOfDay(now);
  out += "<div class=\"cols\">";
  for (Date day : days)
    appendColumn(out, calendar.format(day, "EEEE dd.MM."), byDay[day], facts,
                 now, calendar, {.showPlan = true}, day == today);
  out += "</div>";
}

void appendGoals(std::string &out, ModelContext &context,
                 const Calendar &calendar, const std::vector<Plan *> &plans) {
  out += "<h1>Ziele</h1>";
  BoardQueries queries(context);
  const auto counts = queries.goalCardCounts();
  std::vector<Goal> goals = queries.planGoalCopies();
  std::stable_sort(
      goals.begin(), goals.end(),
      [](const Goal &a, const Goal &b) { return a.sortOrder < b.sortOrder; });
  std::unordered_map<std::string, std::vector<const Goal *>> byPlan;
  for (const Goal &goal : goals)
    byPlan[*goal.plan].push_back(&goal);
  out += "<div class=\"cols\">";
  bool any = false;
  for (const Plan *plan : plans) {
    const auto it = byPlan.find(plan->id);
    if (it == byPlan.end())
      continue;
    any = true;
    out += "<section class=\"col\"><h2>";
    append(out, plan->title);
    out += "</h2><ol>";
    for (const Goal *goal : it->second) {
      const auto found = counts.find(goal->id);
      const auto cards =
          found == counts.end() ? BoardQueries::CardCounts{} : found->second;
      out += goal->isCompleted ? "<li class=\"card goal done\">"
                               : "<li class=\"card goal\">";
      out += "<span class=\"t\">";
      append(out, goal->title);
      out += "</span><span class=\"m\">" + std::to_string(cards.completed) +
             "/" + std::to_string(cards.active) + " Karten</span>";
      out += "<meter min=\"0\" max=\"" +
             std::to_string(std::max<int64_t>(cards.active, 1)) +
             "\" value=\"" + std::to_string(cards.completed) + "\"></meter>";
      out += "<span class=\"m\">";
      if (goal->targetDate)
        append(out, "Ziel " + calendar.format(*goal->targetDate, "yyyy-MM-dd"));
      out += "</span><span class=\"m\">";
      out += goal->isCompleted ? "erledigt" : "";
      out += "</span></li>";
    }
    out += "</ol></section>";
  }
  out += "</div>";
  if (!any)
    out += "<p class=\"empty\">Keine Ziele.</p>";
}

std::string document(std::string_view title, uint64_t version,
                     std::string_view main, bool live) {
  std::string out = "<!doctype html><html lang=\"de\"><head><meta "
                    "charset=\"utf-8\"><meta name=\"viewport\" "
                    "content=\"width=device-width, initial-scale=1\"><meta "
                    "name=\"color-scheme\" content=\"light dark\"><title>";
  append(out, title);
  out += "</title><style>";
  out += kStyle;
  out += "</style></head><body data-version=\"" + std::to_string(version) +
         "\"><main>";
  out += main;
  out += "</main>";
  if (live) {
    out += "<script>";
    out += kScript;
    out += "</script>";
  }
  out += "</body></html>";
  return out;
}

} // namespace

Request requestFrom(std::string_view view, std::string_view plan,
                    std::string_view done) {
  Request request;
  if (view == "week")
    request.view = View::week;
  else if (view == "goals")
    request.view = View::goals;
  request.planID = std::string(plan);
  request.showDone = done == "1";
  return request;
}

std::string escaped(std::string_view raw) {
  const std::string text = text::sanitizedUTF8(raw);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&#39;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::vector<Date> weekDays(Date now, const Calendar &calendar) {
  const Date today = calendar.startOfDay(now);
  // 1 = Sunday ... 7 = Saturday; days back to Monday.
  const int weekday = calendar.weekday(today);
  if (weekday < 1)
    return {};
  const auto monday = calendar.addingDays(today, -((weekday + 5) % 7));
  if (!monday)
    return {};
  std::vector<Date> days;
  for (int i = 0; i < 7; ++i) {
    const auto day = calendar.addingDays(*monday, i);
    if (!day)
      return {};
    days.push_back(calendar.startOfDay(*day));
  }
  return days;
}

std::string render(ModelContext &context, const Calendar &calendar, Date now,
                   const Request &request, uint64_t changeVersion) {
  const std::vector<Plan *> plans = orderedPlans(context);
  std::string main;
  std::string planID = request.planID;
  if (planID.empty() && !plans.empty())
    planID = plans.front()->id;
  appendViews(main, request, planID);
  if (request.view == View::week)
    appendWeek(main, context, calendar, now);
  else if (request.view == View::goals)
    appendGoals(main, context, calendar, plans);
  else if (plans.empty())
    main += "<h1>Taskory</h1><p class=\"empty\">Keine Pläne.</p>";
  else
    appendBoard(main, context, calendar, now, request, plans);
  return document("Taskory", changeVersion, main, true);
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

} // namespace taskory::BoardPage
