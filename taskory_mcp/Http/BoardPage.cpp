#include "Http/BoardPage.h"

#include "Http/CardPage.h"
#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanCore/WeekPlanner.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/DateInput.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/TextSearch.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

namespace taskory::BoardPage {
namespace {

using Facts = BoardQueries::CardPageFacts;

// A picker replaces the row of plan links once the row would wrap on a
// phone.
constexpr std::size_t kMaxPlanLinks = 6;

std::string address(View view, std::string_view planID, bool showDone,
                    std::string_view week = {},
                    const Request *filter = nullptr) {
  std::string href = "/?view=";
  href += view == View::board   ? "board"
          : view == View::week  ? "week"
          : view == View::today ? "today"
                                : "goals";
  if (!planID.empty())
    href += "&plan=" + urlEncoded(planID);
  if (showDone)
    href += "&done=1";
  if (!week.empty())
    href += "&week=" + urlEncoded(week);
  if (filter)
    for (const auto &[name, value] :
         {std::pair<std::string_view, const std::string *>{"q", &filter->query},
          {"label", &filter->label},
          {"priority", &filter->priority},
          {"due", &filter->due}})
      if (!value->empty())
        href += "&" + std::string(name) + "=" + urlEncoded(*value);
  return escaped(href);
}

bool filters(const Request &request) {
  return !request.query.empty() || !request.label.empty() ||
         !request.priority.empty() || !request.due.empty();
}

void appendOption(std::string &out, std::string_view value,
                  std::string_view text, std::string_view chosen) {
  out += "<option value=\"";
  append(out, value);
  out += value == chosen ? "\" selected>" : "\">";
  append(out, text);
  out += "</option>";
}

// A plain form: the filter is in the address, so it survives a live swap,
// can be bookmarked and works without the script.
void appendFilter(std::string &out, ModelContext &context, const Plan &plan,
                  const Request &request) {
  out += "<form class=\"filter\" method=\"get\" action=\"/\" role=\"search\">"
         "<input type=\"hidden\" name=\"view\" value=\"board\">"
         "<input type=\"hidden\" name=\"plan\" value=\"";
  append(out, plan.id);
  out += "\"><label>Suche <input type=\"search\" name=\"q\" value=\"";
  append(out, request.query);
  out += "\"></label><label>Label <select name=\"label\">";
  appendOption(out, "", "alle", request.label);
  for (const PlanLabel *label : context.sortedLabels(plan))
    if (!label->name.empty())
      appendOption(out, label->name, label->name, request.label);
  out += "</select></label><label>Priorität <select name=\"priority\">";
  appendOption(out, "", "alle", request.priority);
  for (Priority priority : {Priority::urgent, Priority::important,
                            Priority::medium, Priority::low})
    appendOption(out, *priorityWord(priority) , localizedName(priority),
                 request.priority);
  out += "</select></label><label>Fällig <select name=\"due\">";
  appendOption(out, "", "alle", request.due);
  appendOption(out, "overdue", "überfällig", request.due);
  appendOption(out, "today", "bis heute", request.due);
  appendOption(out, "7", "in 7 Tagen", request.due);
  appendOption(out, "30", "in 30 Tagen", request.due);
  out += "</select></label><label><input type=\"checkbox\" name=\"done\" "
         "value=\"1\"";
  out += request.showDone ? " checked" : "";
  out += "> Erledigte</label><button type=\"submit\">Filtern</button>";
  if (filters(request))
    out += "<a href=\"" + address(View::board, plan.id, request.showDone) +
           "\">Zurücksetzen</a>";
  out += "</form>";
}

// The end of the due window a filter names; nothing for every card.
std::optional<Date> dueWindowEnd(std::string_view due, Date now,
                                 const Calendar &calendar) {
  if (due == "overdue")
    return now;
  if (due == "today") {
    if (auto tomorrow = calendar.addingDays(calendar.startOfDay(now), 1))
      return *tomorrow - 0.001;
    return now;
  }
  if (due == "7" || due == "30")
    return dueWithinDays(calendar, now, due == "7" ? 7 : 30);
  return std::nullopt;
}

struct CardOptions {
  bool showPlan = false;
  // Checked CSS, for the column's edge.
  std::optional<std::string> bucketColour;
  // Cards that can be dragged to another place (the board, with forms).
  bool draggable = false;
};

// Where a column's quick add puts its cards, and how its form looks.
struct QuickAdd {
  std::string planID, bucketID, back, formToken;
  bool open = false;
};

// Across plans each card names its plan.
CardOptions withPlan() {
  return {.showPlan = true, .bucketColour = {}, .draggable = false};
}

void appendCard(std::string &out, const Card &card, const Facts &facts,
                Date now, const Calendar &calendar, CardOptions options) {
  const bool done = card.isArchived || card.percentComplete >= 100;
  const bool late = isLate(card, now, calendar);
  out += "<li class=\"card";
  out += done ? " done" : "";
  out += late ? " is-late" : "";
  out += "\" data-id=\"";
  append(out, card.id);
  out += options.draggable ? "\" draggable=\"true\"" : "\"";
  if (const auto colour = card.colorHex ? cssColour(*card.colorHex) : std::nullopt)
    out += " style=\"--cardc:" + *colour + "\"";
  out += "><a class=\"t\" href=\"";
  append(out, cardAddress(card.id));
  out += "\">";
  append(out, card.title);
  out += "</a><div class=\"m\"><span class=\"id\">";
  append(out, shortID(card.id));
  out += "</span><span class=\"st\">";
  append(out, localizedName(card.progress()));
  out += "</span>";
  if (card.priority() != Priority::medium) {
    out += card.priority() == Priority::urgent      ? "<span class=\"pr pr-urgent\">"
           : card.priority() == Priority::important ? "<span class=\"pr pr-important\">"
                                                    : "<span class=\"pr\">";
    append(out, localizedName(card.priority()));
    out += "</span>";
  }
  if (card.dueDate) {
    out += late ? "<span class=\"due late\">" : "<span class=\"due\">";
    append(out, "fällig " + pageDate(*card.dueDate, kDueHour, calendar));
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
  if (card.isOnMyDay)
    out += "<span class=\"mark\">☀ Mein Tag</span>";
  if (card.isIdeaTask)
    out += "<span class=\"mark\">💡 Idee</span>";
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
  appendLabels(out, facts.labelNames, facts.labelSlots);
  if (!facts.goalTitles.empty()) {
    out += "<div class=\"g\">Ziele: ";
    append(out, text::joined(facts.goalTitles, ", "));
    out += "</div>";
  }
  out += "</li>";
}

// "Karte hinzufügen" opens a field; Enter saves and the field stays open
// for the next card (the redirect names the bucket), Escape closes it. A
// details element, so that it opens without the script too.
void appendQuickAdd(std::string &out, const QuickAdd &add) {
  out += add.open ? "<details class=\"add\" open>" : "<details class=\"add\">";
  out += "<summary>Karte hinzufügen</summary><form class=\"edit\" "
         "method=\"post\" action=\"/add\"><input type=\"hidden\" "
         "name=\"_token\" value=\"";
  append(out, add.formToken);
  out += "\"><input type=\"hidden\" name=\"plan\" value=\"";
  append(out, add.planID);
  out += "\"><input type=\"hidden\" name=\"bucket\" value=\"";
  append(out, add.bucketID);
  out += "\"><input type=\"hidden\" name=\"back\" value=\"";
  append(out, add.back);
  out += "\"><label>Titel <input name=\"title\" required id=\"add-";
  append(out, add.bucketID);
  out += add.open ? "\" autofocus></label>" : "\"></label>";
  out += "<button type=\"submit\">Speichern</button></form></details>";
}

void appendColumn(std::string &out, std::string_view heading,
                  const std::vector<const Card *> &cards,
                  const std::unordered_map<std::string, Facts> &facts, Date now,
                  const Calendar &calendar, CardOptions options,
                  bool today = false, const QuickAdd *add = nullptr) {
  out += today ? "<section class=\"col today\""
               : "<section class=\"col\"";
  if (options.bucketColour)
    out += " style=\"--bucket:" + *options.bucketColour + "\"";
  if (add) {
    out += " data-bucket=\"";
    append(out, add->bucketID);
    out += "\"";
  }
  out += "><h2>";
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
  if (add)
    appendQuickAdd(out, *add);
  out += "</section>";
}

void appendViews(std::string &out, const Request &request,
                 std::string_view planID) {
  out += "<nav aria-label=\"Ansicht\">";
  const std::pair<View, std::string_view> views[] = {
      {View::board, "Board"},
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

// A form of the board that changes a plan or bucket.
void manageForm(std::string &out, std::string_view action,
                std::string_view label, std::string_view token,
                std::string_view back) {
  out += "<form class=\"edit\" method=\"post\" action=\"";
  append(out, action);
  out += "\" aria-label=\"";
  append(out, label);
  out += "\">";
  appendHidden(out, "_token", token);
  appendHidden(out, "back", back);
}

void colourField(std::string &out, const std::optional<std::string> &colour) {
  out += "<label>Farbe <input name=\"color\" placeholder=\"#RRGGBB\" "
         "size=\"8\" value=\"";
  append(out, colour.value_or(""));
  out += "\"></label>";
}

// Plans and buckets, under the columns: new ones, names, colours, the
// favourite mark, and deleting (asked first, with what goes along).
void appendManage(std::string &out, const Plan &plan,
                  const std::vector<Bucket *> &buckets,
                  const Request &request) {
  const std::string &token = request.formToken;
  const std::string back = "/?view=board&plan=" + urlEncoded(plan.id);
  const std::string planPath = "/plan/" + urlEncoded(plan.id);
  out += "<details class=\"manage\"><summary>Plan und Buckets "
         "bearbeiten</summary>";
  manageForm(out, planPath + "/save", "Plan", token, back);
  out += "<label>Titel <input name=\"title\" required value=\"";
  append(out, plan.title);
  out += "\"></label>";
  colourField(out, plan.colorHex);
  out += "<label><input type=\"checkbox\" name=\"favorite\" value=\"1\"";
  out += plan.isFavorite ? " checked" : "";
  out += "> Favorit</label><button type=\"submit\">Speichern</button></form>";
  for (const Bucket *bucket : buckets) {
    const std::string path = "/bucket/" + urlEncoded(bucket->id);
    manageForm(out, path + "/save", "Bucket " + bucket->name, token, back);
    out += "<label>Bucket <input name=\"name\" required value=\"";
    append(out, bucket->name);
    out += "\"></label>";
    colourField(out, bucket->colorHex);
    out += "<button type=\"submit\">Speichern</button></form>";
    manageForm(out, path + "/delete", "Bucket " + bucket->name + " löschen",
               token, back);
    out += "<button type=\"submit\">Bucket löschen</button></form>";
  }
  manageForm(out, planPath + "/bucket", "Bucket anlegen", token, back);
  out += "<label>Neuer Bucket <input name=\"name\" required></label>";
  colourField(out, std::nullopt);
  out += "<button type=\"submit\">Bucket anlegen</button></form>";
  manageForm(out, "/plan/new", "Plan anlegen", token, back);
  out += "<label>Neuer Plan <input name=\"title\" required></label>"
         "<button type=\"submit\">Plan anlegen</button></form>";
  manageForm(out, planPath + "/delete", "Plan löschen", token, back);
  out += "<button type=\"submit\">Plan löschen</button></form></details>";
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
    out += "<p class=\"hint\" role=\"status\">" +
           std::to_string(page.size()) + " Karten passen zum Filter.</p>";
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
                  .draggable = add.has_value()},
                 false, add ? &*add : nullptr);
  }
  if (!loose.empty()) {
    std::stable_sort(loose.begin(), loose.end(), bySortOrder);
    appendColumn(out, "Ohne Bucket", loose, facts, now, calendar, {});
  }
  if (buckets.empty() && loose.empty())
    out += "<p class=\"empty\">Keine Buckets</p>";
  out += "</div>";
  if (!request.formToken.empty())
    appendManage(out, *chosen, buckets, request);
}

// The week the planner plans when asked now: this one, or the next from
// the day none of this week's planning days is left (a Saturday, when
// weekends are not planned).
Date plannedWeekDay(Date now, const Calendar &calendar) {
  Calendar mondayFirst = calendar;
  mondayFirst.setFirstWeekday(2);
  const std::vector<Date> days = WeekPlanner::planningDays(
      now, mondayFirst, WeekPlanner::Configuration(1.0, false, false));
  return days.empty() ? now : days.front();
}

void appendWeek(std::string &out, std::string &title, ModelContext &context,
                const Calendar &calendar, Date now, const Request &request,
                std::string_view planID) {
  Date anchor = plannedWeekDay(now, calendar);
  if (!request.week.empty()) {
    try {
      if (auto day = parseOptionalDate(request.week, calendar))
        anchor = *day;
    } catch (...) {
      // An address edited by hand: the planned week instead.
    }
  }
  const std::vector<Date> days = weekDays(anchor, calendar);
  if (days.empty()) {
    out += "<h1>Woche</h1>";
    return;
  }
  title = "Woche " + calendar.format(days.front(), "dd.MM.") + "–" +
          calendar.format(days.back(), "dd.MM.yyyy");
  out += "<h1>";
  append(out, title);
  out += "</h1>";
  title += " – Taskory";
  out += "<nav aria-label=\"Wochen\">";
  const auto link = [&](std::optional<Date> day, std::string_view text) {
    if (!day)
      return;
    out += "<a href=\"" +
           address(View::week, planID, request.showDone,
                   calendar.format(*day, "yyyy-MM-dd")) +
           "\">";
    out += text;
    out += "</a>";
  };
  link(calendar.addingDays(days.front(), -7), "← Vorige Woche");
  out += "<a href=\"" + address(View::week, planID, request.showDone) +
         "\">Geplante Woche</a>";
  link(calendar.addingDays(days.front(), 7), "Nächste Woche →");
  out += "</nav>";
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
  out += "<div class=\"cols week\" tabindex=\"0\" aria-label=\"Tage\">";
  for (Date day : days)
    appendColumn(out, calendar.format(day, "EEEE dd.MM."), byDay[day], facts,
                 now, calendar, withPlan(), day == today);
  out += "</div>";
}

// Across every plan: what is late, due today, planned for today, and on
// "Mein Tag". Each list shows at most kTodayLimit cards.
constexpr std::size_t kTodayLimit = 200;

void appendToday(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now) {
  out += "<h1>Heute</h1>";
  const Date today = calendar.startOfDay(now);
  const auto tomorrow = calendar.addingDays(today, 1);
  if (!tomorrow)
    return;
  BoardQueries queries(context);
  CardQuery due;
  due.maxPercent = 99;
  due.dueAtOrBefore = *tomorrow - 0.001;
  std::vector<const Card *> late, dueToday, planned, myDay;
  for (const Card *card : queries.queryCards(due, kTodayLimit))
    (isLate(*card, now, calendar) ? late : dueToday).push_back(card);
  for (const Card *card : queries.openCardsPlannedFrom(today)) {
    if (*card->plannedDate >= *tomorrow || planned.size() == kTodayLimit)
      break;
    planned.push_back(card);
  }
  CardQuery onMyDay;
  onMyDay.maxPercent = 99;
  onMyDay.onlyOnMyDay = true;
  for (const Card *card : queries.queryCards(onMyDay, kTodayLimit))
    myDay.push_back(card);
  std::vector<const Card *> page = late;
  for (const auto *list : {&dueToday, &planned, &myDay})
    page.insert(page.end(), list->begin(), list->end());
  const auto facts = queries.pageFacts(page);
  out += "<div class=\"cols wrap\">";
  appendColumn(out, "Überfällig", late, facts, now, calendar, withPlan());
  appendColumn(out, "Heute fällig", dueToday, facts, now, calendar,
               withPlan());
  appendColumn(out, "Heute geplant", planned, facts, now, calendar,
               withPlan());
  appendColumn(out, "Mein Tag", myDay, facts, now, calendar, withPlan());
  out += "</div>";
}

void appendGoal(std::string &out, const Goal &goal,
                const BoardQueries::CardCounts &cards, Date now,
                const Calendar &calendar) {
  const bool past =
      !goal.isCompleted && goal.targetDate && *goal.targetDate < now;
  out += "<li class=\"card goal";
  out += goal.isCompleted ? " done" : "";
  out += past ? " past" : "";
  out += "\"><span class=\"t\">";
  append(out, goal.title);
  out += "</span><span class=\"m\">";
  if (cards.active == 0)
    out += "keine Karten</span>";
  else
    out += std::to_string(cards.completed) + "/" +
           std::to_string(cards.active) + " Karten</span><meter min=\"0\" max=\"" +
           std::to_string(cards.active) + "\" value=\"" +
           std::to_string(cards.completed) + "\"></meter>";
  out += "<span class=\"m\">";
  if (goal.targetDate) {
    out += "<span class=\"due\">";
    append(out, "Ziel " + pageDate(*goal.targetDate, kDueHour, calendar));
    out += past ? " · überschritten</span>" : "</span>";
  }
  out += "</span><span class=\"m\">";
  out += goal.isCompleted ? "erledigt" : "";
  out += "</span>";
  if (!goal.notes.empty()) {
    out += "<div class=\"notes\">";
    append(out, goal.notes);
    out += "</div>";
  }
  out += "</li>";
}

void appendGoals(std::string &out, ModelContext &context,
                 const Calendar &calendar, Date now,
                 const std::vector<Plan *> &plans) {
  out += "<h1>Ziele</h1>";
  if (plans.empty()) {
    out += "<p class=\"empty\">Keine Pläne.</p>";
    return;
  }
  BoardQueries queries(context);
  const auto counts = queries.goalCardCounts();
  std::vector<Goal> goals = queries.planGoalCopies();
  std::stable_sort(
      goals.begin(), goals.end(),
      [](const Goal &a, const Goal &b) { return a.sortOrder < b.sortOrder; });
  std::unordered_map<std::string, std::vector<const Goal *>> byPlan;
  for (const Goal &goal : goals)
    byPlan[*goal.plan].push_back(&goal);
  out += "<div class=\"cols wrap\">";
  for (const Plan *plan : plans) {
    out += "<section class=\"col\"><h2>";
    append(out, plan->title);
    out += "</h2>";
    const auto it = byPlan.find(plan->id);
    if (it == byPlan.end()) {
      out += "<p class=\"empty\">Keine Ziele</p></section>";
      continue;
    }
    out += "<ol>";
    for (const Goal *goal : it->second) {
      const auto found = counts.find(goal->id);
      appendGoal(out, *goal,
                 found == counts.end() ? BoardQueries::CardCounts{}
                                       : found->second,
                 now, calendar);
    }
    out += "</ol></section>";
  }
  out += "</div>";
}

} // namespace

Request requestFrom(
    const std::function<std::string(std::string_view)> &param) {
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

std::vector<Date> weekDays(Date day, const Calendar &calendar) {
  Calendar mondayFirst = calendar;
  mondayFirst.setFirstWeekday(2);
  const auto week = mondayFirst.weekInterval(day);
  if (!week)
    return {};
  std::vector<Date> days;
  for (int i = 0; i < 7; ++i) {
    const auto next = mondayFirst.addingDays(week->first, i);
    if (!next)
      return {};
    days.push_back(mondayFirst.startOfDay(*next));
  }
  return days;
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
