// What the renderings of a page of cards read beyond the cards' own fields,
// in a few set queries: a list of fifty cards would otherwise ask the store
// five times per card for its checklist figures, labels, goals, plan and
// bucket.
#include "KanbanCore/ModelContext.h"

#include "KanbanCore/Store/EntityTables.h"
#include "KanbanCore/Store/Session.h"

#include <algorithm>
#include <type_traits>
#include <unordered_set>
#include <utility>

namespace taskory {

using namespace store;

namespace {

// Ids go to the store as bound parameters of an IN list, never spliced
// into the SQL: another program may have stored any bytes as an id. Lists
// have a length of a power of two up to this one, padded with NULLs (which
// match nothing), so that a few cached statements serve every page.
constexpr std::size_t kMaxListLength = 64;

std::string parameterList(std::size_t length) {
  std::string list;
  for (std::size_t i = 1; i <= length; ++i) {
    if (i > 1)
      list += ", ";
    list += "?" + std::to_string(i);
  }
  return list;
}

// Calls `run(length, bind)` once per chunk of `ids`, where `bind` binds the
// chunk to parameters 1 to length.
template <class Run>
void forEachChunk(const std::vector<std::string> &ids, Run &&run) {
  for (std::size_t start = 0; start < ids.size(); start += kMaxListLength) {
    const std::size_t count = std::min(kMaxListLength, ids.size() - start);
    std::size_t length = 1;
    while (length < count)
      length *= 2;
    run(length, [&](SqliteStatement &s) {
      for (std::size_t i = 0; i < length; ++i) {
        const int index = static_cast<int>(i) + 1;
        if (i < count)
          s.bindText(index, ids[start + i]);
        else
          s.bindNull(index);
      }
    });
  }
}

// The three relationships in one statement, told apart by the first column:
// 0 a card's checklist figures (items with a text id, as the entities count
// them), 1 a label link, 2 a goal link. Links come in the order they were
// made, the relationships' order; a linked object whose id is not text is
// left out, as loading it as an entity leaves it out.
std::string factsSQL(std::size_t length) {
  const std::string list = "(" + parameterList(length) + ")";
  return "SELECT 0, ChecklistItem.card, count(*), sum(" +
         integerExpression("ChecklistItem.isChecked", 0) +
         " <> 0), NULL FROM ChecklistItem WHERE ChecklistItem.card IN " + list +
         " AND typeof(ChecklistItem.id) = 'text' GROUP BY ChecklistItem.card "
         "UNION ALL SELECT 1, CardLabel.card, CardLabel.rowid, "
         "PlanLabel.slotIndex, PlanLabel.name FROM CardLabel JOIN PlanLabel ON "
         "PlanLabel.id = CardLabel.label WHERE CardLabel.card IN " +
         list +
         " AND typeof(PlanLabel.id) = 'text' "
         "UNION ALL SELECT 2, CardGoal.card, CardGoal.rowid, NULL, Goal.title "
         "FROM CardGoal JOIN Goal ON Goal.id = CardGoal.goal WHERE "
         "CardGoal.card IN " +
         list + " AND typeof(Goal.id) = 'text' ORDER BY 1, 3";
}

} // namespace

std::unordered_map<std::string, ModelContext::CardPageFacts>
ModelContext::pageFacts(const std::vector<const Card *> &cards) {
  // Written first, so that the rows read below are what the loaded objects
  // hold.
  SqliteDatabase &db = flushedDatabase();
  std::unordered_map<std::string, CardPageFacts> facts;
  std::vector<std::string> ids;
  for (const Card *card : cards)
    if (facts.try_emplace(card->id).second)
      ids.push_back(card->id);

  std::unordered_map<std::string, std::vector<PlanLabel>> labels;
  forEachChunk(ids, [&](std::size_t length, const auto &bind) {
    auto stmt = db.statement(factsSQL(length));
    bind(*stmt);
    while (stmt->step()) {
      const std::string card(stmt->bytes(1));
      switch (stmt->int64(0)) {
      case 0:
        facts[card].checklistItems = stmt->int64(2);
        facts[card].checkedItems = stmt->int64(3);
        break;
      case 1: {
        PlanLabel label;
        readColumn(*stmt, 3, label.slotIndex);
        readColumn(*stmt, 4, label.name);
        labels[card].push_back(std::move(label));
        break;
      }
      default: {
        Goal goal;
        readColumn(*stmt, 4, goal.title);
        facts[card].goalTitles.push_back(std::move(goal.title));
        break;
      }
      }
    }
  });
  for (auto &[card, list] : labels) {
    std::stable_sort(list.begin(), list.end(),
                     [](const PlanLabel &a, const PlanLabel &b) {
                       return a.slotIndex < b.slotIndex;
                     });
    std::vector<std::string> &names = facts[card].labelNames;
    for (PlanLabel &label : list)
      names.push_back(std::move(label.name));
  }

  // The plans and buckets by their exact stored link text, the spelling
  // that finds them; a link that misses (another letter case, or nothing)
  // is left to planOf and bucketOf, which try the other spellings.
  auto load = [&](auto type, auto link) {
    using T = typename decltype(type)::type;
    std::vector<std::string> wanted;
    std::unordered_set<std::string> seen;
    for (const Card *card : cards) {
      const std::optional<UUID> &id = card->*link;
      if (id && !session_->objects().of<T>().live(*id) &&
          seen.insert(*id).second)
        wanted.push_back(*id);
    }
    forEachChunk(wanted, [&](std::size_t length, const auto &bind) {
      session_->fetch<T>(
          selectSQL<T>() + "WHERE id IN (" + parameterList(length) + ")", bind);
    });
  };
  load(std::type_identity<Plan>{}, &Card::plan);
  load(std::type_identity<Bucket>{}, &Card::bucket);
  return facts;
}

} // namespace taskory
