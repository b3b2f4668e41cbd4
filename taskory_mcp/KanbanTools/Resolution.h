#pragma once

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/Types.h"
#include "KanbanCore/Uuid.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How the tools find what the assistant names: plans, buckets, labels, goals
// and cards by name or by ID (a full UUID or an ID-like prefix of one). Names
// are tried first; an ID only when no name matches. Everything here reads the
// context and never changes it; failures are ToolErrors with the user's text.
namespace taskory {

class ModelContext;
struct Bucket;
struct Card;
struct Goal;
struct Plan;
struct PlanLabel;

namespace resolution {

// The context's plans in the order every tool lists them: ascending
// sortOrder, ties by natural title order.
std::vector<Plan *> fetchPlans(ModelContext &context);
// The same plans as light rows, without loading them: for the overviews,
// which show a board's thousands of plans but change none.
std::vector<BoardQueries::PlanHeading> planHeadings(ModelContext &context);

// Every plan's goals as list_goals and the board show them: copies read in
// one query, each plan's in ascending sortOrder (ties in store order).
// Move-only, since the lists point into `goals`.
struct GoalsByPlan {
  std::vector<Goal> goals;
  std::unordered_map<std::string, std::vector<const Goal *>> ofPlan;

  GoalsByPlan() = default;
  GoalsByPlan(GoalsByPlan &&) = default;
  GoalsByPlan(const GoalsByPlan &) = delete;
  // The plan's goals; nothing when it has none.
  const std::vector<const Goal *> *find(const UUID &plan) const;
};
GoalsByPlan goalsByPlan(ModelContext &context);
// The first plan of fetchPlans(), or the "no plan yet" ToolError.
Plan &defaultPlan(ModelContext &context);
// The plan named by title, else by ID; the ToolError lists the plans there
// are.
Plan &findPlan(ModelContext &context, std::string_view text);
// The plan's bucket named by name, else by ID; nothing when none matches.
Bucket *lookupBucket(ModelContext &context, std::string_view text, Plan &plan);
// As lookupBucket, but a miss is a ToolError listing the plan's buckets.
Bucket &findBucket(ModelContext &context, std::string_view text, Plan &plan);
// Ids of every bucket of any plan matching `text` by name, else by id.
std::vector<UUID> bucketIDsInAllPlans(ModelContext &context,
                                      std::string_view text);
// Labels and goals are named only by name, never by ID.
PlanLabel *findLabel(ModelContext &context, std::string_view name, Plan &plan);
Goal *findGoal(ModelContext &context, std::string_view title, Plan &plan);
// The card that the `card_id` argument names, by full UUID or ID prefix.
Card &requireCard(ModelContext &context, const nlohmann::json &args);

// True for a text that can only be an ID: at least six hex digits or hyphens
// (ASCII or full-width).
bool isIDLike(std::string_view text);

// The form in which an ID-like text is compared with canonical UUID texts:
// full-width hex digits become their ASCII forms and letters are upper-cased.
// Without the conversion a full-width prefix would be accepted as ID-like and
// then could never match anything. Meant for texts that isIDLike accepts;
// other characters are copied unchanged.
std::string comparableID(std::string_view text);

// Throws the ToolError for a prefix that selects `count` (two or more)
// entities; `text` is the caller's text as given.
[[noreturn]] void throwAmbiguous(std::string_view text, std::size_t count);

// True when `id` (any letter case, as stored) begins with `prefix`, which is
// already in comparableID form.
bool idHasPrefix(std::string_view id, std::string_view prefix);

// The entity whose ID the text names: for a full UUID the first entity with
// that ID (never an error); for an ID-like prefix the single entity whose
// canonical ID begins with it, the ambiguity ToolError when there are more;
// nothing otherwise. `idOf` gives an entity's ID as stored.
template <class T, class IdOf>
T *matchByID(std::string_view text, const std::vector<T *> &entities,
             IdOf idOf);

template <class T, class IdOf>
T *matchByID(std::string_view text, const std::vector<T *> &entities,
             IdOf idOf) {
  if (auto uuid = parseUUID(text)) {
    for (T *entity : entities)
      if (canonicalID(idOf(*entity)) == *uuid)
        return entity;
    return nullptr;
  }
  if (!isIDLike(text))
    return nullptr;
  const std::string prefix = comparableID(text);
  T *found = nullptr;
  std::size_t count = 0;
  for (T *entity : entities) {
    if (idHasPrefix(idOf(*entity), prefix)) {
      if (count == 0)
        found = entity;
      ++count;
    }
  }
  if (count > 1)
    throwAmbiguous(text, count);
  return found;
}

} // namespace resolution
} // namespace taskory
