#pragma once

// The statements of the board queries: figures and light rows read without
// loading what they count. Stored values are decoded as a loaded entity
// decodes them (text where a number belongs reads as the field's initial
// value), so that a figure always agrees with what the entities would show.

#include "Store/EntityTables.h"

#include <cstddef>
#include <string>

namespace taskory::store {

// plan, bucket, isArchived, percentComplete, count(*) per group of stored
// values, in (plan, bucket) order.
std::string_view boardCountsSQL();
// The number of cards neither archived nor done in the whole store: every
// card (counted from an index's pages, not its rows) less the closed ones
// (kClosedCardCondition, one step a closed card in their partial index).
std::string_view openCardCountSQL();
// goal, isArchived, percentComplete of every link between a goal and an
// existing card, in card order: the links come in the order of their own
// index and each card's state is one step further along the card-state
// index, instead of one random page a link. The caller decodes and sums.
std::string_view goalLinkStatesSQL();
// isArchived, percentComplete of the cards linked to the goal ?1.
std::string_view linkStatesOfGoalSQL();
// The goals the card ?1 is linked to.
std::string_view goalsLinkedToCardSQL();

// Every row of T, in rowid order. Those whose id or plan is not text are
// no plan's children; the caller leaves them out by the columns' types, which
// costs less than asking SQLite for typeof() in every row.
template <class T> std::string planChildRowsSQL() {
  return selectSQL<T>() + "ORDER BY rowid";
}

// Of the rows planChildRowsSQL selects: id, plan, name, colorHex, sortOrder
// of each bucket; id, plan, title of each goal.
std::string_view planBucketLinesSQL();
std::string_view planGoalTitlesSQL();

// id, title, sortOrder of every plan, in rowid order.
std::string_view planHeadingsSQL();
// A card's changes in the store's history, newest first: author, time,
// kind; ?1 the card's id, ?2 the most rows.
std::string_view cardHistorySQL();
// The cards that transactions of one author changed after a time, each with
// the last such change: ?1 the author, ?2 the time.
std::string_view cardsChangedBySQL();

// Every plan whose isClaudeProject decodes as set, in rowid order.
const std::string &projectPlansSQL();
// A row when the bucket ?1 holds an open card.
const std::string &openCardInBucketSQL();
// Open cards whose planned date is a number at or after ?1, by planned date,
// then rowid.
const std::string &cardsPlannedFromSQL();
// rowid and id of the same cards (those with a text id), in no order.
const std::string &cardRowsPlannedFromSQL();

// sortOrder of the plan's (?1) cards at the low end, the high end and the
// highest number.
std::string_view lowestCardSortOrderSQL();
std::string_view highestCardSortOrderSQL();
std::string_view highestNumericCardSortOrderSQL();

// The week planner's candidates, each row beginning with id, title, rowid
// and priority rank (0 urgent ... 3 low):
// - open cards with a numeric due date, then the due date and the earliest
//   target date of their goals, in due order;
// - open cards linked to a goal with a target date at or before ?1 (any when
//   NULL), then the numeric due date or NULL and that earliest target date;
// - open cards without a numeric due date that are urgent, important, idea
//   tasks or on My Day, by rank, then rowid.
const std::string &datedCandidatesSQL();
const std::string &goalDatedCandidatesSQL();
const std::string &undatedCandidatesSQL();

// The facts of a page of cards (BoardQueries::pageFacts), for lists of
// `length` ids: ?1... the cards, then the plans and the buckets they link to,
// `length` parameters each. Rows: kind (0 checklist figures, 1 label link,
// 2 goal link, 3 plan, 4 bucket), id, then two numbers and a text.
// `length` is a power of two up to kMaxFactsListLength.
inline constexpr std::size_t kMaxFactsListLength = 64;
const std::string &pageFactsSQL(std::size_t length);

} // namespace taskory::store
