#include "Store/BoardSQL.h"

#include "KanbanCore/Card.h"
#include "Store/CardQuerySQL.h"
#include "Store/Schema.h"

#include <string>
#include <vector>

namespace taskory::store {

namespace {

// priorityIndex(priorityFromRaw(priorityRaw)), with a missing value read as
// medium as the typed view reads it.
const std::string &priorityRank() {
  static const std::string sql = [] {
    const std::string raw = integerExpression(
        "Card.priorityRaw", static_cast<int64_t>(Priority::medium));
    std::string cases = "(CASE";
    for (std::size_t rank = 0; rank < kPriorityRankStarts.size(); ++rank)
      cases += " WHEN " + raw + " < " +
               std::to_string(kPriorityRankStarts[rank]) + " THEN " +
               std::to_string(rank);
    return cases + " ELSE " + std::to_string(kPriorityRankStarts.size()) +
           " END)";
  }();
  return sql;
}

constexpr std::string_view kNumericDue =
    "typeof(Card.dueDate) IN ('integer', 'real')";

constexpr std::string_view kGoalDate =
    "typeof(Goal.id) = 'text' AND typeof(Goal.targetDate) IN ('integer', "
    "'real')";

} // namespace

std::string_view boardCountsSQL() {
  // One walk of the (plan, bucket, state) index, grouped by the stored
  // values themselves: a board has few distinct states, and decoding each
  // group at the caller spares SQLite a conversion per card.
  return "SELECT Card.plan, Card.bucket, Card.isArchived, "
         "Card.percentComplete, "
         "count(*) FROM Card GROUP BY Card.plan, Card.bucket, Card.isArchived, "
         "Card.percentComplete";
}

std::string_view openCardCountSQL() {
  // Written exactly as the index's condition: that is what lets SQLite count
  // the closed cards from the partial index without testing each of them. A
  // store without the index still counts right, by a walk.
  static const std::string sql =
      "SELECT (SELECT count(*) FROM Card) - (SELECT count(*) FROM Card WHERE " +
      std::string(schema::kClosedCardCondition) + ")";
  return sql;
}

namespace {

// The links between a text goal id and an existing card that is not
// archived. The archived test is the goal-state index's second column, so
// each card is one seek into that index and its row is never read.
const std::string &openLinkCondition() {
  static const std::string sql =
      "typeof(Card.id) = 'text' AND typeof(CardGoal.goal) = 'text' AND " +
      integerExpression("Card.isArchived", 0) + " = 0";
  return sql;
}

} // namespace

std::string_view goalLinkStatesSQL() {
  // CROSS JOIN fixes the order: the links in card order, so that
  // consecutive seeks land on the same few pages of the card-state index
  // instead of one random page a link on a store larger than the page
  // cache. No grouping: the caller sums what it decodes.
  static const std::string sql =
      "SELECT CardGoal.goal, Card.percentComplete FROM CardGoal CROSS JOIN "
      "Card ON Card.id = CardGoal.card WHERE " +
      openLinkCondition() + " ORDER BY CardGoal.card";
  return sql;
}

std::string_view linkStatesOfGoalSQL() {
  static const std::string sql =
      "SELECT Card.percentComplete FROM CardGoal CROSS JOIN Card ON Card.id = "
      "CardGoal.card WHERE CardGoal.goal = ?1 AND " +
      openLinkCondition();
  return sql;
}

std::string_view goalsLinkedToCardSQL() {
  return "SELECT goal FROM CardGoal WHERE card = ?1 AND typeof(goal) = 'text'";
}

std::string_view planBucketLinesSQL() {
  return "SELECT id, plan, name, colorHex, sortOrder FROM Bucket ORDER BY "
         "rowid";
}

std::string_view planGoalTitlesSQL() {
  return "SELECT id, plan, title FROM Goal ORDER BY rowid";
}

std::string_view planHeadingsSQL() {
  return "SELECT id, title, sortOrder FROM Plan ORDER BY rowid";
}

std::string_view cardHistorySQL() {
  return "SELECT t.author, t.timestamp, c.kind FROM StoreChange c JOIN "
         "StoreTransaction t ON t.id = c.txn WHERE c.entity = 'Card' AND "
         "c.entityID = ?1 ORDER BY c.txn DESC LIMIT ?2";
}

std::string_view cardsChangedBySQL() {
  return "SELECT c.entityID, max(t.timestamp) FROM StoreTransaction t JOIN "
         "StoreChange c ON c.txn = t.id WHERE t.author = ?1 AND t.timestamp > "
         "?2 AND c.entity = 'Card' GROUP BY c.entityID";
}

const std::string &openCardInBucketSQL() {
  static const std::string sql =
      "SELECT 1 FROM Card WHERE Card.bucket = ?1 AND "
      "typeof(Card.id) = 'text' AND " +
      openCardCondition() + " LIMIT 1";
  return sql;
}

namespace {

// A range of the planned-date index; text another program stored there
// sorts after every number and is left out, as a loaded card shows no
// planned date for it.
const std::string &plannedFromCondition() {
  static const std::string sql =
      "WHERE Card.plannedDate >= ?1 AND typeof(Card.plannedDate) IN "
      "('integer', 'real') AND " +
      openCardCondition();
  return sql;
}

} // namespace

const std::string &cardsPlannedFromSQL() {
  static const std::string sql = selectSQL<Card>() + plannedFromCondition() +
                                 " ORDER BY Card.plannedDate, Card.rowid";
  return sql;
}

const std::string &projectPlansSQL() {
  static const std::string sql = selectSQL<Plan>() + "WHERE " +
                                 integerExpression("isClaudeProject", 0) +
                                 " <> 0 ORDER BY rowid";
  return sql;
}

const std::string &cardRowsPlannedFromSQL() {
  static const std::string sql = "SELECT Card.rowid, Card.id FROM Card " +
                                 plannedFromCondition() +
                                 " AND typeof(Card.id) = 'text'";
  return sql;
}

// Walks of the (plan, sortOrder) index. In the index NULLs come first and
// text and blobs after every number, so the two ends tell whether a plan's
// cards hold anything that is not a number.
std::string_view lowestCardSortOrderSQL() {
  return "SELECT sortOrder FROM Card WHERE plan = ?1 ORDER BY sortOrder LIMIT "
         "1";
}

std::string_view highestCardSortOrderSQL() {
  return "SELECT sortOrder FROM Card WHERE plan = ?1 "
         "ORDER BY sortOrder DESC LIMIT 1";
}

std::string_view highestNumericCardSortOrderSQL() {
  return "SELECT sortOrder FROM Card WHERE plan = ?1 AND "
         "typeof(sortOrder) IN ('integer', 'real') ORDER BY "
         "sortOrder DESC LIMIT 1";
}

const std::string &datedCandidatesSQL() {
  // Written as the open-card order index's own terms (its first column
  // fixed, its condition word for word), so that the rows come in due order
  // from the index instead of a sort of every dated card, and the done cards
  // at the store's early dates are never passed; the goal dates are looked
  // up for the rows read only.
  static const std::string sql =
      "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
      ", Card.dueDate, (SELECT min(Goal.targetDate) FROM CardGoal JOIN Goal "
      "ON Goal.id = CardGoal.goal WHERE CardGoal.card = Card.id AND " +
      std::string(kGoalDate) +
      ") FROM Card WHERE (Card.dueDate IS NULL) = 0 AND " +
      std::string(kNumericDue) + " AND typeof(Card.id) = 'text' AND " +
      std::string(schema::kOpenCardCondition) + " ORDER BY Card.dueDate";
  return sql;
}

const std::string &goalDatedCandidatesSQL() {
  // From the few goals to their links to the cards (CROSS JOIN fixes that
  // order): the other way round SQLite may walk every card.
  static const std::string sql =
      "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
      ", CASE WHEN " + std::string(kNumericDue) +
      " THEN Card.dueDate END, min(Goal.targetDate) FROM Goal CROSS JOIN "
      "CardGoal ON CardGoal.goal = Goal.id CROSS JOIN Card ON Card.id = "
      "CardGoal.card WHERE " +
      std::string(kGoalDate) +
      " AND (?1 IS NULL OR Goal.targetDate <= ?1) AND " +
      "typeof(Card.id) = 'text' AND " + openCardCondition() +
      " GROUP BY Card.rowid";
  return sql;
}

const std::string &undatedCandidatesSQL() {
  static const std::string sql =
      "SELECT Card.id, Card.title, Card.rowid, " + priorityRank() +
      " FROM Card WHERE typeof(Card.dueDate) NOT IN ('integer', 'real') AND "
      "typeof(Card.id) = 'text' AND " +
      openCardCondition() + " AND (" + priorityRank() + " < " +
      std::to_string(priorityIndex(Priority::medium)) + " OR " +
      integerExpression("Card.isIdeaTask", 0) + " <> 0 OR " +
      integerExpression("Card.isOnMyDay", 0) + " <> 0) ORDER BY " +
      priorityRank() + ", Card.rowid";
  return sql;
}

namespace {

// "(?first, ..., ?first + length - 1)"
std::string parameterList(std::size_t first, std::size_t length) {
  std::string list = "(";
  for (std::size_t i = first; i < first + length; ++i) {
    if (i > first)
      list += ", ";
    list += "?" + std::to_string(i);
  }
  return list + ")";
}

// Everything in one statement, told apart by the first column: 0 a card's
// checklist figures (items with a text id, as the entities count them), 1 a
// label link and 2 a goal link, each with the link row's rowid (the
// relationships' order), 3 a plan's title and 4 a bucket's name by the id
// that the links hold. A linked label or goal whose id is not text is left
// out, as loading it as an entity leaves it out (plans and buckets are
// matched against bound text). No ORDER BY: sorting the few links of a page
// at the caller is cheaper than the temporary b-trees SQLite would build.
std::string buildFactsSQL(std::size_t length) {
  const std::string cards = parameterList(1, length),
                    plans = parameterList(length + 1, length),
                    buckets = parameterList(2 * length + 1, length);
  return "SELECT 0, ChecklistItem.card, count(*), sum(" +
         integerExpression("ChecklistItem.isChecked", 0) +
         " <> 0), NULL FROM ChecklistItem WHERE ChecklistItem.card IN " +
         cards +
         " AND typeof(ChecklistItem.id) = 'text' GROUP BY ChecklistItem.card "
         "UNION ALL SELECT 1, CardLabel.card, CardLabel.rowid, "
         "PlanLabel.slotIndex, PlanLabel.name FROM CardLabel JOIN PlanLabel ON "
         "PlanLabel.id = CardLabel.label WHERE CardLabel.card IN " +
         cards +
         " AND typeof(PlanLabel.id) = 'text' "
         "UNION ALL SELECT 2, CardGoal.card, CardGoal.rowid, NULL, Goal.title "
         "FROM CardGoal JOIN Goal ON Goal.id = CardGoal.goal WHERE "
         "CardGoal.card IN " +
         cards +
         " AND typeof(Goal.id) = 'text' "
         "UNION ALL SELECT 3, Plan.id, NULL, NULL, Plan.title FROM Plan WHERE "
         "Plan.id IN " +
         plans +
         " UNION ALL SELECT 4, Bucket.id, NULL, NULL, Bucket.name FROM Bucket "
         "WHERE Bucket.id IN " +
         buckets;
}

} // namespace

// Built once per list length: the text is long, and it is also the key
// under which the connection caches the prepared statement.
const std::string &pageFactsSQL(std::size_t length) {
  static const std::vector<std::string> byLength = [] {
    std::vector<std::string> sql;
    for (std::size_t n = 1; n <= kMaxFactsListLength; n *= 2)
      sql.push_back(buildFactsSQL(n));
    return sql;
  }();
  std::size_t index = 0;
  while ((std::size_t{1} << index) < length)
    ++index;
  return byLength[index];
}

} // namespace taskory::store
