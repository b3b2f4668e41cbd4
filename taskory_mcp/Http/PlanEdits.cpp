#include "Http/PlanEdits.h"

#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"

#include <limits>
#include <optional>
#include <string>

namespace taskory::HttpServer::PlanEdits {
namespace {

using nlohmann::json;
using namespace edits;

struct Target {
  std::string kind; // "plan" or "bucket"
  std::string id;   // empty for /plan/new
  std::string action;
};

std::optional<Target> targetOf(std::string_view path) {
  if (path == "/plan/new")
    return Target{"plan", {}, "new"};
  for (std::string_view kind : {"plan", "bucket"}) {
    const std::string prefix = "/" + std::string(kind) + "/";
    if (!path.starts_with(prefix))
      continue;
    std::string_view rest = path.substr(prefix.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash == 0)
      return std::nullopt;
    return Target{std::string(kind), percentDecoded(rest.substr(0, slash), false),
                  std::string(rest.substr(slash + 1))};
  }
  return std::nullopt;
}

std::string boardOf(std::string_view planID) {
  return "/?view=board&plan=" + BoardPage::urlEncoded(planID);
}

// A colour field: empty for none, else a colour as the tools take it.
std::optional<std::string> colourField(const HttpRequest &request) {
  const std::string colour = request.field("color");
  if (colour.empty())
    return std::nullopt;
  if (!BoardPage::cssColour(colour))
    throw ToolError{"Farbe nicht lesbar: " + colour + " (erwartet: #RRGGBB)"};
  return BoardPage::cssColour(colour);
}

int64_t cardCount(ModelContext &context, CardQuery query) {
  query.includeArchived = true;
  int64_t count = 0;
  BoardQueries(context).queryCards(query, 1, &count);
  return count;
}

HttpResponse newPlan(Change &change, const HttpRequest &request) {
  const std::string answer =
      change.call("create_plan", {{"title", request.field("title")}});
  // "Angelegt: Plan „…“ (SHORTID)": the new plan is the one its short ID names.
  const std::size_t open = answer.rfind('(');
  const std::string shortID =
      open == std::string::npos ? std::string() : answer.substr(open + 1, 8);
  for (const Plan *plan : resolution::fetchPlans(change.context()))
    if (!shortID.empty() && taskory::shortID(plan->id) == shortID)
      return redirect(boardOf(plan->id));
  return redirect("/");
}

HttpResponse planChange(Change &change, Plan &plan, const Target &target,
                        const HttpRequest &request, std::string_view formToken) {
  if (target.action == "bucket") {
    json arguments = {{"plan", plan.id}, {"name", request.field("name")}};
    if (auto colour = colourField(request))
      arguments["color_hex"] = *colour;
    change.call("create_bucket", arguments);
    return redirect(backAddress(request, boardOf(plan.id)));
  }
  if (target.action == "save") {
    const std::string title(text::trimmedSpacesAndTabs(request.field("title")));
    if (title.empty())
      throw ToolError{"Der Plan braucht einen Titel."};
    plan.title = title;
    plan.colorHex = colourField(request);
    plan.isFavorite = request.field("favorite") == "1";
    change.save();
    return redirect(backAddress(request, boardOf(plan.id)));
  }
  if (target.action == "delete") {
    if (request.field("confirmed") != "1") {
      CardQuery cards;
      cards.planID = plan.id;
      return askBeforeDeleting(
          "Plan „" + plan.title + "“",
          "Mit dem Plan gehen " +
              std::to_string(change.context().sortedBuckets(plan).size()) +
              " Buckets und " +
              std::to_string(cardCount(change.context(), cards)) +
              " Karten, mit ihren Checklisten, Anhängen, Labels und Zielen.",
          "/plan/" + BoardPage::urlEncoded(plan.id) + "/delete", boardOf(plan.id),
          request, formToken);
    }
    change.context().remove(plan);
    change.save();
    return redirect("/");
  }
  return failure("Unbekannte Aktion", boardOf(plan.id));
}

HttpResponse bucketChange(Change &change, Bucket &bucket, const Target &target,
                          const HttpRequest &request,
                          std::string_view formToken) {
  const std::string planID = bucket.plan.value_or(std::string());
  if (target.action == "save") {
    json arguments = {{"plan", planID},
                      {"bucket", bucket.id},
                      {"new_name", request.field("name")}};
    const auto colour = colourField(request);
    if (colour)
      arguments["color_hex"] = *colour;
    else if (bucket.colorHex)
      arguments["color_hex"] = "none";
    change.call("update_bucket", arguments);
    return redirect(backAddress(request, boardOf(planID)));
  }
  if (target.action == "delete") {
    if (request.field("confirmed") != "1") {
      CardQuery cards;
      cards.bucketIDs = std::vector<UUID>{bucket.id};
      return askBeforeDeleting(
          "Bucket „" + bucket.name + "“",
          "Mit dem Bucket gehen " +
              std::to_string(cardCount(change.context(), cards)) +
              " Karten, mit ihren Checklisten und Anhängen.",
          "/bucket/" + BoardPage::urlEncoded(bucket.id) + "/delete",
          boardOf(planID), request, formToken);
    }
    change.context().remove(bucket);
    change.save();
    return redirect(backAddress(request, boardOf(planID)));
  }
  return failure("Unbekannte Aktion", boardOf(planID));
}

} // namespace

bool isChangePath(std::string_view path) { return targetOf(path).has_value(); }

HttpResponse apply(Change &change, const HttpRequest &request,
                   std::string_view formToken) {
  const Target target = *targetOf(request.path);
  if (target.kind == "plan" && target.action == "new")
    return newPlan(change, request);
  if (target.kind == "plan") {
    Plan *plan = change.context().plan(target.id);
    if (!plan)
      return failure("Plan nicht gefunden", "/");
    return planChange(change, *plan, target, request, formToken);
  }
  Bucket *bucket = change.context().bucket(target.id);
  if (!bucket)
    return failure("Bucket nicht gefunden", "/");
  return bucketChange(change, *bucket, target, request, formToken);
}

} // namespace taskory::HttpServer::PlanEdits
