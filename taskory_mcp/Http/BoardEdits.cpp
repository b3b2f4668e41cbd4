#include "Http/BoardEdits.h"

#include "Http/CardPage.h"
#include "Http/EditSupport.h"
#include "Http/PlanEdits.h"
#include "Http/PageParts.h"
#include "Http/StorePool.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/StoreError.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/ToolError.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace taskory::HttpServer {
namespace {

using nlohmann::json;
using namespace edits;

// A card's fields as the card page's form shows them: what a form sends back
// as "was_…" is compared with these.
struct Field {
  std::string_view form;   // the form field's name
  std::string_view tool;   // update_card's argument
  std::string_view german; // shown in a conflict
};
constexpr Field kFields[] = {
    {"title", "title", "Titel"},         {"notes", "notes", "Notizen"},
    {"due", "due_date", "Fällig"},       {"start", "start_date", "Start"},
    {"priority", "priority", "Priorität"}, {"status", "status", "Status"},
    {"bucket", "bucket", "Bucket"},
};

std::string currentValue(std::string_view field, const Card &card,
                         const Calendar &calendar) {
  if (field == "title")
    return card.title;
  if (field == "notes")
    return card.notes;
  if (field == "due")
    return BoardPage::inputDate(card.dueDate, calendar);
  if (field == "start")
    return BoardPage::inputDate(card.startDate, calendar);
  if (field == "priority")
    return std::string(priorityWord(card.priority()).value_or("medium"));
  if (field == "status")
    return std::string(statusWord(card.progress()));
  return card.bucket.value_or(std::string());
}

struct Target {
  std::string cardID; // empty for /add
  std::string action;
};

std::optional<Target> targetOf(std::string_view path) {
  if (path == "/add")
    return Target{{}, "add"};
  if (!path.starts_with("/card/"))
    return std::nullopt;
  path.remove_prefix(6);
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos || slash == 0)
    return std::nullopt;
  return Target{percentDecoded(path.substr(0, slash), false),
                std::string(path.substr(slash + 1))};
}

HttpResponse conflictPage(const Target &target, const HttpRequest &request,
                          const std::vector<std::pair<const Field *, std::string>>
                              &conflicts,
                          std::string_view formToken) {
  std::string main = "<h1>Die Karte wurde inzwischen geändert</h1><p>Ein "
                     "anderes Programm hat diese Felder geändert, seit die "
                     "Karte gezeigt wurde. Deine übrigen Änderungen sind "
                     "gespeichert.</p><table><tr><th>Feld</th><th>Deine "
                     "Eingabe</th><th>Inzwischen gespeichert</th></tr>";
  std::string resend;
  BoardPage::appendHidden(resend, "_token", formToken);
  BoardPage::appendHidden(resend, "back", request.field("back"));
  for (const auto &[field, now] : conflicts) {
    main += "<tr><td>";
    main += field->german;
    main += "</td><td class=\"notes\">";
    BoardPage::append(main, withoutCR(request.field(field->form)));
    main += "</td><td class=\"notes\">";
    BoardPage::append(main, now);
    main += "</td></tr>";
    BoardPage::appendHidden(resend, field->form, withoutCR(request.field(field->form)));
    BoardPage::appendHidden(resend, "was_" + std::string(field->form), now);
  }
  main += "</table><form method=\"post\" action=\"";
  BoardPage::append(main, BoardPage::cardAddress(target.cardID) + "/save");
  main += "\">" + resend +
          "<button type=\"submit\">Meine Eingaben übernehmen</button> <a "
          "href=\"";
  BoardPage::append(main, BoardPage::cardAddress(target.cardID));
  main += "\">Gespeicherte Werte behalten</a></form>";
  return page(409, "Karte geändert – Taskory", main);
}

// The fields that changed on the form and may be saved; the others,
// changed by someone else since the form was shown, are conflicts.
HttpResponse save(Change &change, const Card &card, const Target &target,
                  const HttpRequest &request, std::string_view formToken) {
  json arguments = {{"card_id", card.id}};
  std::vector<std::pair<const Field *, std::string>> conflicts;
  for (const Field &field : kFields) {
    if (!request.hasField(field.form))
      continue;
    const std::string mine = withoutCR(request.field(field.form));
    const std::string was =
        withoutCR(request.field("was_" + std::string(field.form)));
    if (mine == was)
      continue;
    const std::string now = currentValue(field.form, card, change.calendar());
    if (now == mine)
      continue;
    if (now != was) {
      conflicts.emplace_back(&field, now);
      continue;
    }
    const bool date = field.form == "due" || field.form == "start";
    arguments[std::string(field.tool)] = date && mine.empty() ? "none" : mine;
  }
  // Labels and goals are sets: what the form added or took away is added or
  // taken away, whatever else changed meanwhile.
  for (const auto &[name, add, remove] :
       {std::tuple<std::string_view, std::string_view, std::string_view>{
            "label", "add_labels", "remove_labels"},
        {"goal", "add_goals", "remove_goals"}}) {
    if (!request.hasField("was_" + std::string(name) + "s"))
      continue;
    const auto mine = request.fields(name);
    const auto was = request.fields("was_" + std::string(name));
    const std::set<std::string> now(mine.begin(), mine.end()),
        before(was.begin(), was.end());
    json added = json::array(), removed = json::array();
    for (const std::string &value : now)
      if (!before.contains(value))
        added.push_back(value);
    for (const std::string &value : before)
      if (!now.contains(value))
        removed.push_back(value);
    if (!added.empty())
      arguments[std::string(add)] = added;
    if (!removed.empty())
      arguments[std::string(remove)] = removed;
  }
  if (arguments.size() > 1)
    change.call("update_card", arguments);
  if (!conflicts.empty())
    return conflictPage(target, request, conflicts, formToken);
  return redirect(backAddress(request, BoardPage::cardAddress(card.id)));
}

HttpResponse tick(Change &change, const Card &card, const HttpRequest &request) {
  const auto wanted = request.fields("item");
  const auto shown = request.fields("was_checked");
  const std::set<std::string> checked(wanted.begin(), wanted.end()),
      before(shown.begin(), shown.end());
  json items = json::array();
  for (const ChecklistItem *item : change.context().sortedChecklist(card)) {
    const bool want = checked.contains(item->id);
    // Only what the person changed, and only where it is not so already.
    if (want != before.contains(item->id) && want != item->isChecked)
      items.push_back({{"item_id", item->id}, {"checked", want}});
  }
  if (!items.empty())
    change.call("set_checklist_item", {{"card_id", card.id}, {"items", items}});
  return redirect(backAddress(request, BoardPage::cardAddress(card.id)));
}

// The cards of a bucket in the order the board shows them.
std::vector<Card *> bucketCards(ModelContext &context, const std::string &bucket) {
  CardQuery query;
  query.bucketIDs = std::vector<UUID>{bucket};
  query.includeArchived = true;
  std::vector<Card *> cards = BoardQueries(context).queryCards(
      query, std::numeric_limits<std::size_t>::max());
  std::stable_sort(cards.begin(), cards.end(), [](const Card *a, const Card *b) {
    return a->sortOrder < b->sortOrder;
  });
  return cards;
}

// A card put into `bucket` after the card `after` (empty: first), by the
// ordering rule: between its new neighbours, which keep their places. A
// change of bucket is update_card's, in the same transaction.
HttpResponse move(Change &change, Card &card, const HttpRequest &request) {
  std::string bucket = request.field("bucket");
  if (bucket.empty())
    bucket = card.bucket.value_or(std::string());
  std::vector<Card *> cards = bucketCards(change.context(), bucket);
  std::vector<Card *> others;
  for (Card *other : cards)
    if (other != &card)
      others.push_back(other);
  std::size_t at = 0; // index in `others` the card takes
  const std::string direction = request.field("direction");
  if (direction == "up" || direction == "down") {
    const auto self = std::find(cards.begin(), cards.end(), &card);
    if (self == cards.end())
      return redirect(backAddress(request, BoardPage::cardAddress(card.id)));
    const std::size_t index = static_cast<std::size_t>(self - cards.begin());
    if ((direction == "up" && index == 0) ||
        (direction == "down" && index + 1 == cards.size()))
      return redirect(backAddress(request, BoardPage::cardAddress(card.id)));
    at = direction == "up" ? index - 1 : index + 1;
  } else {
    const std::string after = request.field("after");
    const auto found =
        std::find_if(others.begin(), others.end(),
                     [&](const Card *other) { return other->id == after; });
    at = after.empty() || found == others.end()
             ? (after.empty() ? 0 : others.size())
             : static_cast<std::size_t>(found - others.begin()) + 1;
  }
  card.sortOrder = SortOrderHelper::placing(
      at > 0 ? std::optional<double>(others[at - 1]->sortOrder) : std::nullopt,
      at < others.size() ? std::optional<double>(others[at]->sortOrder)
                         : std::nullopt);
  if (bucket != card.bucket.value_or(std::string()))
    change.call("update_card", {{"card_id", card.id}, {"bucket", bucket}});
  else
    change.save();
  return redirect(backAddress(request, BoardPage::cardAddress(card.id)));
}


} // namespace

bool BoardEdits::isChangePath(std::string_view path) {
  return targetOf(path).has_value() || PlanEdits::isChangePath(path);
}

HttpResponse BoardEdits::apply(const HttpRequest &request,
                               std::string_view formToken) {
  const std::optional<Target> target = targetOf(request.path);
  const std::string fallback =
      target && !target->cardID.empty() ? BoardPage::cardAddress(target->cardID)
                                        : std::string("/");
  try {
    Change change(pool_);
    if (!target)
      return PlanEdits::apply(change, request, formToken);
    if (target->action == "add") {
      const std::string bucket = request.field("bucket");
      change.call("create_card", {{"title", request.field("title")},
                                  {"plan", request.field("plan")},
                                  {"bucket", bucket}});
      // The field stays open for the next card.
      std::string back = backAddress(request, "/");
      back += (back.find('?') == std::string::npos ? "?" : "&");
      return redirect(back + "add=" + BoardPage::urlEncoded(bucket));
    }
    Card *card = change.context().card(target->cardID);
    if (!card)
      return failure("Karte nicht gefunden", "/");
    if (target->action == "move")
      return move(change, *card, request);
    if (target->action == "save")
      return save(change, *card, *target, request, formToken);
    if (target->action == "check")
      return tick(change, *card, request);
    if (target->action == "item") {
      change.call("add_checklist_item",
                  {{"card_id", card->id}, {"title", request.field("title")}});
      return redirect(backAddress(request, fallback));
    }
    if (target->action == "complete" || target->action == "archive") {
      change.call("update_card",
                  target->action == "complete"
                      ? json{{"card_id", card->id}, {"status", "completed"}}
                      : json{{"card_id", card->id}, {"is_archived", true}});
      return redirect(backAddress(request, fallback));
    }
    if (target->action == "delete") {
      if (request.field("confirmed") != "1")
        return askBeforeDeleting(
            "„" + card->title + "“",
            "Die Karte wird endgültig gelöscht, mit ihr " +
                std::to_string(change.context().sortedChecklist(*card).size()) +
                " Checklisten-Punkte und " +
                std::to_string(change.context().sortedAttachments(*card).size()) +
                " Anhänge.",
            BoardPage::cardAddress(card->id) + "/delete",
            BoardPage::cardAddress(card->id), request, formToken);
      const std::string board =
          card->plan ? "/?view=board&plan=" + BoardPage::urlEncoded(*card->plan)
                     : std::string("/");
      change.call("delete_card", {{"card_id", card->id}});
      return redirect(board);
    }
    return failure("Unbekannte Aktion", fallback);
  } catch (const ToolError &error) {
    return failure(error.message, backAddress(request, fallback));
  } catch (const StoreError &error) {
    return failure(error.what(), backAddress(request, fallback));
  }
}

} // namespace taskory::HttpServer
