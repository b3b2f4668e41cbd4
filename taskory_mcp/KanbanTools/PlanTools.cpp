#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/SortOrderHelper.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"

#include <optional>
#include <string>

namespace taskory {
namespace {

// A non-empty string argument, or nothing.
const std::string *requiredText(const nlohmann::json &args,
                                std::string_view key) {
  const std::string *value = args::string(args, key);
  return value && !value->empty() ? value : nullptr;
}

// "none" in any letter case removes the colour; anything else is stored as
// given, since the apps accept colours in forms we do not check.
std::optional<std::string> colorArgument(const std::string &value) {
  if (text::lowercased(value) == "none")
    return std::nullopt;
  return value;
}

} // namespace

namespace handlers {

ToolResult createPlan(const ToolCall &call, const nlohmann::json &args) {
  const std::string *title = requiredText(args, "title");
  if (!title)
    throw ToolError{"title fehlt"};

  const std::optional<double> last =
      SortOrderHelper::highest(resolution::fetchPlans(call.context));

  Plan &plan = CardActions::createPlan(
      *title, call.context, SortOrderHelper::appending(last), call.now);
  return "Angelegt: Plan „" + plan.title + "“ (" + shortID(plan.id) + ")";
}

ToolResult createBucket(const ToolCall &call, const nlohmann::json &args) {
  const std::string *name = requiredText(args, "name");
  if (!name)
    throw ToolError{"name fehlt"};
  const std::string *planText = args::string(args, "plan");
  Plan &plan =
      resolution::findPlan(call.context, planText ? *planText : std::string());

  const std::optional<double> last =
      SortOrderHelper::highest(call.context.buckets(plan));

  Bucket bucket(*name, SortOrderHelper::appending(last), call.now);
  if (const std::string *color = args::string(args, "color_hex"))
    bucket.colorHex = colorArgument(*color);
  bucket.plan = plan.id;
  call.context.insert(std::move(bucket));
  return "Bucket „" + *name + "“ in Plan „" + plan.title + "“ angelegt.";
}

ToolResult updateBucket(const ToolCall &call, const nlohmann::json &args) {
  const std::string *planText = args::string(args, "plan");
  Plan &plan =
      resolution::findPlan(call.context, planText ? *planText : std::string());

  const std::string *bucketText = requiredText(args, "bucket");
  if (!bucketText)
    throw ToolError{"bucket fehlt"};
  Bucket *bucket = resolution::lookupBucket(call.context, *bucketText, plan);
  if (!bucket)
    throw ToolError{"Bucket „" + *bucketText + "“ in Plan „" + plan.title +
                    "“ nicht gefunden"};

  if (const std::string *newName = requiredText(args, "new_name"))
    bucket->name = *newName;
  if (const std::string *color = args::string(args, "color_hex"))
    bucket->colorHex = colorArgument(*color);

  std::string reply =
      "Bucket „" + bucket->name + "“ in Plan „" + plan.title + "“ geändert";
  if (bucket->colorHex)
    reply += ", Farbe " + *bucket->colorHex;
  return reply + ".";
}

} // namespace handlers
} // namespace taskory
