// What the renderings of a page of cards read beyond the cards' own fields,
// in one set query: a list of fifty cards would otherwise ask the store five
// times per card for its checklist figures, labels, goals, plan and bucket.
#include "KanbanCore/BoardQueries.h"

#include "KanbanCore/PlanLabel.h"
#include "Store/BoardSQL.h"
#include "Store/Session.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace taskory {

using namespace store;

namespace {

// A linked label or goal title, with what orders it among its card's links.
struct Link {
  int64_t slotIndex; // labels only
  int64_t rowid;     // of the link row
  std::string text;
};

// Binds `ids` to parameters first ... first + length - 1, NULL after them.
void bindList(SqliteStatement &s, std::size_t first, std::size_t length,
              const std::vector<std::string> &ids) {
  for (std::size_t i = 0; i < length; ++i) {
    const int index = static_cast<int>(first + i);
    if (i < ids.size())
      s.bindText(index, ids[i]);
    else
      s.bindNull(index);
  }
}

} // namespace

// Ids go to the store as bound parameters of IN lists, never spliced into
// the SQL: another program may have stored any bytes as an id. A statement
// takes the cards of a chunk and the plans and buckets they link to, in three
// lists of the same length, a power of two, padded with NULLs (which match
// nothing), so that a few cached statements serve every page.
std::unordered_map<std::string, BoardQueries::CardPageFacts>
BoardQueries::pageFacts(const std::vector<const Card *> &cards) {
  // Written first, so that the rows read below are what the loaded objects
  // hold.
  SqliteDatabase &db =
      flushed<Plan, Bucket, ChecklistItem, PlanLabel, Goal>().db();
  std::unordered_map<std::string, CardPageFacts> facts;
  std::vector<const Card *> distinct;
  for (const Card *card : cards)
    if (facts.try_emplace(card->id).second)
      distinct.push_back(card);

  std::unordered_map<std::string, std::vector<Link>> labels, goals;
  std::unordered_map<std::string, std::string> planTitles, bucketNames;
  for (std::size_t start = 0; start < distinct.size();
       start += kMaxFactsListLength) {
    const std::size_t end =
        std::min(distinct.size(), start + kMaxFactsListLength);
    std::vector<std::string> ids, plans, buckets;
    std::unordered_set<std::string> seenPlans, seenBuckets;
    for (std::size_t i = start; i < end; ++i) {
      const Card &card = *distinct[i];
      ids.push_back(card.id);
      if (card.plan && seenPlans.insert(*card.plan).second)
        plans.push_back(*card.plan);
      if (card.bucket && seenBuckets.insert(*card.bucket).second)
        buckets.push_back(*card.bucket);
    }
    std::size_t length = 1;
    while (length < ids.size() || length < plans.size() ||
           length < buckets.size())
      length *= 2;

    auto stmt = db.statement(pageFactsSQL(length));
    bindList(*stmt, 1, length, ids);
    bindList(*stmt, length + 1, length, plans);
    bindList(*stmt, 2 * length + 1, length, buckets);
    while (stmt->step()) {
      const std::string id(stmt->bytes(1));
      switch (stmt->int64(0)) {
      case 0:
        facts[id].checklistItems = stmt->int64(2);
        facts[id].checkedItems = stmt->int64(3);
        break;
      case 1: {
        PlanLabel label;
        readColumn(*stmt, 3, label.slotIndex);
        readColumn(*stmt, 4, label.name);
        labels[id].push_back(
            {label.slotIndex, stmt->int64(2), std::move(label.name)});
        break;
      }
      case 2: {
        Goal goal;
        readColumn(*stmt, 4, goal.title);
        goals[id].push_back({0, stmt->int64(2), std::move(goal.title)});
        break;
      }
      case 3: {
        Plan plan;
        readColumn(*stmt, 4, plan.title);
        planTitles[id] = std::move(plan.title);
        break;
      }
      default: {
        Bucket bucket;
        readColumn(*stmt, 4, bucket.name);
        bucketNames[id] = std::move(bucket.name);
        break;
      }
      }
    }
  }

  // Labels by slot, equal slots in link order (sortedLabels' stable sort of
  // the links); goals in link order.
  auto texts = [](std::vector<Link> &links, std::vector<std::string> &out) {
    std::sort(links.begin(), links.end(), [](const Link &a, const Link &b) {
      return std::pair(a.slotIndex, a.rowid) < std::pair(b.slotIndex, b.rowid);
    });
    for (Link &link : links)
      out.push_back(std::move(link.text));
  };
  for (auto &[card, links] : labels) {
    CardPageFacts &f = facts[card];
    texts(links, f.labelNames);
    // Sorted by texts() above, so the slots line up with the names.
    for (const Link &link : links)
      f.labelSlots.push_back(link.slotIndex);
  }
  for (auto &[card, links] : goals)
    texts(links, facts[card].goalTitles);
  for (const Card *card : distinct) {
    CardPageFacts &f = facts[card->id];
    if (card->plan)
      if (auto it = planTitles.find(*card->plan); it != planTitles.end())
        f.planTitle = it->second;
    if (card->bucket)
      if (auto it = bucketNames.find(*card->bucket); it != bucketNames.end())
        f.bucketName = it->second;
  }
  return facts;
}

} // namespace taskory
