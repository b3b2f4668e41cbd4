#pragma once

// The delete rules of the data model as a table: which children a deleted
// object takes with it (cascade), and which many-to-many links it only cuts
// (the card on the other side stays and counts as changed). Collecting
// what a delete takes is kept apart from carrying it out, so that the
// context can mark its objects and journal the changes in between.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace taskory {

class SqliteDatabase;
struct Plan;
struct Bucket;
struct Card;
struct ChecklistItem;
struct CardAttachment;
struct Goal;
struct PlanLabel;

namespace store {

// Parents before children; also the order in which a delete is journalled.
enum class EntityKind {
  plan,
  bucket,
  card,
  checklistItem,
  attachment,
  label,
  goal
};
inline constexpr std::size_t kEntityKinds = 7;

template <class T> constexpr EntityKind entityKind();
template <> constexpr EntityKind entityKind<Plan>() { return EntityKind::plan; }
template <> constexpr EntityKind entityKind<Bucket>() {
  return EntityKind::bucket;
}
template <> constexpr EntityKind entityKind<Card>() { return EntityKind::card; }
template <> constexpr EntityKind entityKind<ChecklistItem>() {
  return EntityKind::checklistItem;
}
template <> constexpr EntityKind entityKind<CardAttachment>() {
  return EntityKind::attachment;
}
template <> constexpr EntityKind entityKind<PlanLabel>() {
  return EntityKind::label;
}
template <> constexpr EntityKind entityKind<Goal>() { return EntityKind::goal; }

std::string_view tableName(EntityKind kind);

// Deleting a `parent` deletes every `child` whose `column` holds its id.
struct CascadeRule {
  EntityKind parent;
  EntityKind child;
  std::string_view column;
};

inline constexpr std::array<CascadeRule, 7> kCascadeRules = {{
    {EntityKind::plan, EntityKind::bucket, "plan"},
    {EntityKind::plan, EntityKind::card, "plan"},
    {EntityKind::bucket, EntityKind::card, "bucket"},
    {EntityKind::plan, EntityKind::label, "plan"},
    {EntityKind::plan, EntityKind::goal, "plan"},
    {EntityKind::card, EntityKind::checklistItem, "card"},
    {EntityKind::card, EntityKind::attachment, "card"},
}};

// A link table between cards and `other`: deleting either side removes the
// link row only.
struct LinkRule {
  std::string_view table;
  std::string_view column; // the column naming the `other` side
  EntityKind other;
};

inline constexpr std::array<LinkRule, 2> kLinkRules = {{
    {"CardGoal", "goal", EntityKind::goal},
    {"CardLabel", "label", EntityKind::label},
}};

// What deleting one object takes with it.
struct Deletion {
  EntityKind root = EntityKind::plan;
  // The ids to delete for each kind (indexed by EntityKind), in the store's
  // order; the object itself is the only one of its kind, when it exists.
  std::array<std::vector<std::string>, kEntityKinds> ids;
  // Cards outside the deletion that lose a link to a deleted goal or label,
  // in id order.
  std::vector<std::string> cardsLosingLinks;
};

// Follows the rules from the object `kind`/`id` as the store holds it now.
// Throws StoreError.
Deletion collectDeletion(SqliteDatabase &db, EntityKind kind,
                         std::string_view id);

// Deletes link rows first, then children before parents, so that the
// result does not depend on the foreign keys' own cascades. Throws
// StoreError.
void carryOut(SqliteDatabase &db, const Deletion &deletion);

} // namespace store
} // namespace taskory
