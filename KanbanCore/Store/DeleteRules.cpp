#include "Store/DeleteRules.h"

#include "Store/Sqlite.h"

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <utility>

namespace taskory::store {

namespace {

std::size_t slot(EntityKind kind) { return static_cast<std::size_t>(kind); }

// Runs `sql` with ?1 bound to `id` and keeps the text ids of column 1 under
// the rowid of column 0. The statement is done before the caller queries
// again, so the same rule may be followed for the next parent.
void collectRows(SqliteDatabase &db, const std::string &sql,
                 std::string_view id, std::map<int64_t, std::string> &into,
                 std::vector<std::string> &added) {
  auto stmt = db.statement(sql);
  stmt->bindText(1, id);
  while (stmt->step()) {
    if (stmt->type(1) != SqliteType::text)
      continue; // cannot be addressed; the foreign keys take it along
    auto [it, inserted] =
        into.emplace(stmt->int64(0), std::string(stmt->bytes(1)));
    if (inserted)
      added.push_back(it->second);
  }
}

void execWithID(SqliteDatabase &db, const std::string &sql,
                std::string_view id) {
  auto stmt = db.statement(sql);
  stmt->bindText(1, id);
  stmt->step();
}

} // namespace

std::string_view tableName(EntityKind kind) {
  switch (kind) {
  case EntityKind::plan:
    return "Plan";
  case EntityKind::bucket:
    return "Bucket";
  case EntityKind::card:
    return "Card";
  case EntityKind::checklistItem:
    return "ChecklistItem";
  case EntityKind::attachment:
    return "CardAttachment";
  case EntityKind::label:
    return "PlanLabel";
  case EntityKind::goal:
    break;
  }
  return "Goal";
}

Deletion collectDeletion(SqliteDatabase &db, EntityKind kind,
                         std::string_view id) {
  std::array<std::map<int64_t, std::string>, kEntityKinds> found;
  std::deque<std::pair<EntityKind, std::string>> pending;
  {
    std::vector<std::string> added;
    collectRows(db,
                "SELECT rowid, id FROM " + std::string(tableName(kind)) +
                    " WHERE id = ?1",
                id, found[slot(kind)], added);
    for (std::string &each : added)
      pending.emplace_back(kind, std::move(each));
  }
  while (!pending.empty()) {
    auto [parent, parentID] = std::move(pending.front());
    pending.pop_front();
    for (const CascadeRule &rule : kCascadeRules) {
      if (rule.parent != parent)
        continue;
      std::vector<std::string> added;
      collectRows(db,
                  "SELECT rowid, id FROM " +
                      std::string(tableName(rule.child)) + " WHERE " +
                      std::string(rule.column) + " = ?1",
                  parentID, found[slot(rule.child)], added);
      for (std::string &each : added)
        pending.emplace_back(rule.child, std::move(each));
    }
  }

  Deletion deletion;
  deletion.root = kind;
  for (std::size_t k = 0; k < kEntityKinds; ++k)
    for (auto &[rowid, each] : found[k])
      deletion.ids[k].push_back(std::move(each));

  const auto &cards = deletion.ids[slot(EntityKind::card)];
  const std::set<std::string_view> doomedCards(cards.begin(), cards.end());
  std::set<std::string> losing;
  for (const LinkRule &rule : kLinkRules)
    for (const std::string &other : deletion.ids[slot(rule.other)]) {
      auto stmt = db.statement("SELECT card FROM " + std::string(rule.table) +
                               " WHERE " + std::string(rule.column) + " = ?1");
      stmt->bindText(1, other);
      while (stmt->step())
        if (stmt->type(0) == SqliteType::text &&
            !doomedCards.count(stmt->bytes(0)))
          losing.emplace(stmt->bytes(0));
    }
  deletion.cardsLosingLinks.assign(losing.begin(), losing.end());
  return deletion;
}

void carryOut(SqliteDatabase &db, const Deletion &deletion) {
  for (const LinkRule &rule : kLinkRules) {
    const std::string table(rule.table);
    for (const std::string &card : deletion.ids[slot(EntityKind::card)])
      execWithID(db, "DELETE FROM " + table + " WHERE card = ?1", card);
    for (const std::string &other : deletion.ids[slot(rule.other)])
      execWithID(db,
                 "DELETE FROM " + table + " WHERE " + std::string(rule.column) +
                     " = ?1",
                 other);
  }
  // The rules list parents before children; walked backwards, every child
  // goes before its parent.
  for (auto rule = kCascadeRules.rbegin(); rule != kCascadeRules.rend();
       ++rule) {
    const std::string sql = "DELETE FROM " +
                            std::string(tableName(rule->child)) + " WHERE " +
                            std::string(rule->column) + " = ?1";
    for (const std::string &parent : deletion.ids[slot(rule->parent)])
      execWithID(db, sql, parent);
  }
  // Everything else went with its parent; the object itself goes last.
  const std::string sql =
      "DELETE FROM " + std::string(tableName(deletion.root)) + " WHERE id = ?1";
  for (const std::string &each : deletion.ids[slot(deletion.root)])
    execWithID(db, sql, each);
}

} // namespace taskory::store
