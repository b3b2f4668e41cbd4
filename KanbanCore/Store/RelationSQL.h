#pragma once

// The statements behind a model context's fetches, relationships and links.
// Rows come as selectSQL reads them; ids are bound, never spliced in.

#include "Store/EntityTables.h"

#include <string>
#include <string_view>
#include <vector>

namespace taskory::store {

// The to-one link columns that relationships follow back.
enum class Link { plan, bucket, card };

// Every row of T in rowid order.
template <class T> std::string allRowsSQL() {
  return selectSQL<T>() + "ORDER BY rowid";
}

// The rows of T whose `link` holds ?1, in rowid order.
template <class T> std::string childRowsSQL(Link link) {
  static constexpr std::string_view columns[] = {"plan", "bucket", "card"};
  return selectSQL<T>() + "WHERE " +
         std::string(columns[static_cast<int>(link)]) + " = ?1 ORDER BY rowid";
}

// Many-to-many links come in the order they were made (the link row's
// rowid); ?1 is the id of the other side.
std::string goalsOfCardSQL();
std::string labelsOfCardSQL();
std::string cardsOfGoalSQL();
std::string cardsOfLabelSQL();

// Link rows: ?1 the card, ?2 the goal or label.
std::string_view addCardGoalSQL();
std::string_view removeCardGoalSQL();
std::string_view addCardLabelSQL();
std::string_view removeCardLabelSQL();

// The card's (?1) checklist items with a text id, and of those the ticked.
std::string_view checklistItemCountSQL();
const std::string &checkedItemCountSQL();

// The cards whose id lies in one of the ranges, each `id >= ?n` and, where
// `bounded` says so, `id < ?n+1`, parameters numbered in order; the rowid
// comes along as the column after the card's fields.
std::string cardsInIDRangesSQL(const std::vector<bool> &bounded);

} // namespace taskory::store
