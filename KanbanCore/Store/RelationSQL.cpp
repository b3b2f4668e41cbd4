#include "Store/RelationSQL.h"

namespace taskory::store {

std::string goalsOfCardSQL() {
  return selectSQL<Goal>() + "JOIN CardGoal ON CardGoal.goal = Goal.id "
                             "WHERE CardGoal.card = ?1 ORDER BY CardGoal.rowid";
}

std::string labelsOfCardSQL() {
  return selectSQL<PlanLabel>() +
         "JOIN CardLabel ON CardLabel.label = PlanLabel.id "
         "WHERE CardLabel.card = ?1 ORDER BY CardLabel.rowid";
}

std::string cardsOfGoalSQL() {
  return selectSQL<Card>() + "JOIN CardGoal ON CardGoal.card = Card.id "
                             "WHERE CardGoal.goal = ?1 ORDER BY CardGoal.rowid";
}

std::string cardsOfLabelSQL() {
  return selectSQL<Card>() +
         "JOIN CardLabel ON CardLabel.card = Card.id "
         "WHERE CardLabel.label = ?1 ORDER BY CardLabel.rowid";
}

std::string_view addCardGoalSQL() {
  // Not INSERT OR IGNORE: an insert that meets an existing link marks the
  // store's tallies stale (CardTally.h), so an existing link is not
  // inserted at all.
  return "INSERT INTO CardGoal (card, goal) SELECT ?1, ?2 WHERE NOT EXISTS "
         "(SELECT 1 FROM CardGoal WHERE card = ?1 AND goal = ?2)";
}

std::string_view removeCardGoalSQL() {
  return "DELETE FROM CardGoal WHERE card = ?1 AND goal = ?2";
}

std::string_view addCardLabelSQL() {
  return "INSERT OR IGNORE INTO CardLabel (card, label) VALUES (?1, ?2)";
}

std::string_view removeCardLabelSQL() {
  return "DELETE FROM CardLabel WHERE card = ?1 AND label = ?2";
}

std::string_view checklistItemCountSQL() {
  return "SELECT count(*) FROM ChecklistItem WHERE card = ?1 AND typeof(id) = "
         "'text'";
}

const std::string &checkedItemCountSQL() {
  static const std::string sql =
      "SELECT count(*) FROM ChecklistItem WHERE card = ?1 AND typeof(id) = "
      "'text' AND " +
      integerExpression("isChecked", 0) + " <> 0";
  return sql;
}

std::string cardsInIDRangesSQL(const std::vector<bool> &bounded) {
  // The rowid comes along and orders the few matches at the caller: ORDER BY
  // rowid would make SQLite build a sorter for every lookup.
  static const std::string columns = [] {
    std::string sql = selectSQL<Card>();
    sql.insert(sql.rfind(" FROM "), ", Card.rowid");
    return sql;
  }();
  std::string where;
  int index = 1;
  for (const bool hasEnd : bounded) {
    if (!where.empty())
      where += " OR ";
    where += "(id >= ?" + std::to_string(index++);
    if (hasEnd)
      where += " AND id < ?" + std::to_string(index++);
    where += ")";
  }
  return columns + "WHERE " + where;
}

} // namespace taskory::store
