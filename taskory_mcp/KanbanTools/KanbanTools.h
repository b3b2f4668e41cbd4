#pragma once

#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/Types.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace taskory {

class ModelContext;
struct Bucket;
struct Goal;
struct Plan;
struct PlanLabel;

// What a handler returns: a finished text, or a JSON value that encode()
// turns into text.
using ToolResult = std::variant<std::string, nlohmann::json>;

// The tool layer: one object per tools/call, over that call's model context.
// Handlers throw ToolError for user-facing failures; store failures pass
// through as StoreError. Only call() saves, once, after a handler succeeded.
class KanbanTools {
public:
  // `now` is the call's clock reading and `calendar` the user's calendar;
  // both are fixed for the whole call so tests can pin them.
  KanbanTools(ModelContext &context, Date now, Calendar calendar);

  // The catalogue served by tools/list, built once per process.
  static const nlohmann::json &specs();

  // Runs the schema guard, the named tool and the save; returns the result
  // text. Throws ToolError (unknown tool, the guard, a handler's error) or
  // StoreError.
  std::string call(std::string_view name, const nlohmann::json &arguments);

  // Compact JSON with sorted keys, "/" unescaped, invalid UTF-8 replaced.
  static std::string encode(const ToolResult &result);

  // --- handlers, one per tool ---
  ToolResult listPlans();
  ToolResult listCards(const nlohmann::json &args);
  ToolResult getCard(const nlohmann::json &args);
  ToolResult createCard(const nlohmann::json &args);
  ToolResult updateCard(const nlohmann::json &args);
  ToolResult deleteCard(const nlohmann::json &args);
  ToolResult addChecklistItem(const nlohmann::json &args);
  ToolResult setChecklistItem(const nlohmann::json &args);
  ToolResult createPlan(const nlohmann::json &args);
  ToolResult createBucket(const nlohmann::json &args);
  ToolResult updateBucket(const nlohmann::json &args);
  ToolResult planWeek(const nlohmann::json &args);
  ToolResult listGoals();
  ToolResult createGoal(const nlohmann::json &args);

  // --- name and ID resolution (read only; throw ToolError) ---
  std::vector<Plan *> fetchPlans();
  static bool isIDLike(std::string_view text);
  Plan &findPlan(std::string_view text);
  Bucket *lookupBucket(std::string_view text, Plan &plan);
  Bucket &findBucket(std::string_view text, Plan &plan);
  PlanLabel *findLabel(std::string_view name, Plan &plan);
  Goal *findGoal(std::string_view title, Plan &plan);
  Card &requireCard(const nlohmann::json &args);
  // Ids of every bucket of any plan matching `text` by name, else by id.
  std::vector<UUID> bucketIDsInAllPlans(std::string_view text);
  // The first plan of fetchPlans(), or the "no plan yet" ToolError.
  Plan &defaultPlan();

  // --- shared card fields (create_card, update_card) ---
  void applyCommonFields(const nlohmann::json &args, Card &card);
  void applyStatus(const nlohmann::json &args, Card &card);
  void applyRecurrence(const nlohmann::json &recurrence, Card &card);
  std::optional<Date> parseOptionalDate(std::string_view text) const;
  static CardProgress parseStatus(std::string_view text);
  static Priority parsePriority(std::string_view text);

  ModelContext &context() { return context_; }
  Date now() const { return now_; }
  const Calendar &calendar() const { return calendar_; }

private:
  ModelContext &context_;
  const Date now_;
  const Calendar calendar_;
};

} // namespace taskory
