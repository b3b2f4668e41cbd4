// What the renderings of a page of cards read beyond the cards' own fields,
// in one set query: a list of fifty cards would otherwise ask the store five
// times per card for its checklist figures, labels, goals, plan and bucket.
#include "KanbanCore/ModelContext.h"

#include "KanbanCore/Store/EntityTables.h"

#include <algorithm>
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

// Everything in one statement, told apart by the first column: 0 a card's
// checklist figures (items with a text id, as the entities count them), 1 a
// label link and 2 a goal link, each with the link row's rowid (the
// relationships' order), 3 the card's plan title and 4 its bucket name. A
// linked object whose id is not text is left out, as loading it as an
// entity leaves it out. No ORDER BY: sorting the few links of a page here is
// cheaper than the temporary b-trees SQLite would build for it.
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
         list +
         " AND typeof(Goal.id) = 'text' "
         "UNION ALL SELECT 3, Card.id, NULL, NULL, Plan.title FROM Card JOIN "
         "Plan ON Plan.id = Card.plan WHERE Card.id IN " +
         list +
         " AND typeof(Plan.id) = 'text' "
         "UNION ALL SELECT 4, Card.id, NULL, NULL, Bucket.name FROM Card JOIN "
         "Bucket ON Bucket.id = Card.bucket WHERE Card.id IN " +
         list + " AND typeof(Bucket.id) = 'text'";
}

// A linked label or goal title, with what orders it among its card's links.
struct Link {
  int64_t slotIndex; // labels only
  int64_t rowid;     // of the link row
  std::string text;
};

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

  std::unordered_map<std::string, std::vector<Link>> labels, goals;
  forEachChunk(ids, [&](std::size_t length, const auto &bind) {
    auto stmt = db.statement(factsSQL(length));
    bind(*stmt);
    while (stmt->step()) {
      const std::string card(stmt->bytes(1));
      const int64_t kind = stmt->int64(0);
      if (kind == 0) {
        facts[card].checklistItems = stmt->int64(2);
        facts[card].checkedItems = stmt->int64(3);
      } else if (kind == 1) {
        PlanLabel label;
        readColumn(*stmt, 3, label.slotIndex);
        readColumn(*stmt, 4, label.name);
        labels[card].push_back(
            {label.slotIndex, stmt->int64(2), std::move(label.name)});
      } else if (kind == 2) {
        Goal goal;
        readColumn(*stmt, 4, goal.title);
        goals[card].push_back({0, stmt->int64(2), std::move(goal.title)});
      } else if (kind == 3) {
        Plan plan;
        readColumn(*stmt, 4, plan.title);
        facts[card].planTitle = std::move(plan.title);
      } else {
        Bucket bucket;
        readColumn(*stmt, 4, bucket.name);
        facts[card].bucketName = std::move(bucket.name);
      }
    }
  });
  // Labels by slot, equal slots in link order (sortedLabels' stable sort of
  // the links); goals in link order.
  auto texts = [](std::vector<Link> &links, std::vector<std::string> &out) {
    std::sort(links.begin(), links.end(), [](const Link &a, const Link &b) {
      return std::pair(a.slotIndex, a.rowid) < std::pair(b.slotIndex, b.rowid);
    });
    for (Link &link : links)
      out.push_back(std::move(link.text));
  };
  for (auto &[card, links] : labels)
    texts(links, facts[card].labelNames);
  for (auto &[card, links] : goals)
    texts(links, facts[card].goalTitles);

  return facts;
}

} // namespace taskory
