#include "KanbanCore/ModelContext.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Sqlite.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace taskory {
namespace {

constexpr Date kNow = test::TestStore::kNow;

// A plan with two buckets, two cards (the first with checklist item,
// attachment, label and goal) and a card outside every plan sharing the goal.
struct Board {
  Plan *plan;
  Bucket *todo, *done;
  Card *first, *second, *loose;
  ChecklistItem *item;
  CardAttachment *attachment;
  PlanLabel *label;
  Goal *goal;
};

class ModelContextTest : public ::testing::Test {
protected:
  test::TestStore store;

  int64_t count(const std::string &sql) {
    return store.container->database().queryInteger(sql);
  }
  // Rows per table: Plan Bucket Card ChecklistItem CardAttachment CardGoal
  // CardLabel.
  std::string rows() {
    std::string result;
    for (const char *table : {"Plan", "Bucket", "Card", "ChecklistItem",
                              "CardAttachment", "CardGoal", "CardLabel"})
      result +=
          (result.empty() ? "" : " ") +
          std::to_string(count(std::string("SELECT count(*) FROM ") + table));
    return result;
  }
  Board board(ModelContext &context) {
    test::Seed s(context, store.calendar, kNow);
    Board b{};
    b.plan = &s.plan("Haus");
    b.todo = &s.bucket(*b.plan, "Todo");
    b.done = &s.bucket(*b.plan, "Erledigt");
    b.first = &s.card(*b.todo, "Fenster putzen");
    b.second = &s.card(*b.done, "Keller");
    b.loose = &s.card(nullptr, "Lose");
    b.item = &s.item(*b.first, "Leiter holen");
    b.attachment = &s.attachment(*b.first, "Anleitung", std::nullopt);
    b.label = &s.label(*b.plan, 0, "Rot");
    b.goal = &s.goal(*b.plan, "Sauberes Haus");
    s.tag(*b.first, *b.label);
    s.tag(*b.first, *b.goal);
    s.tag(*b.loose, *b.goal);
    return b;
  }
};

TEST_F(ModelContextTest, RelationshipsLookupsAndRoundTrip) {
  auto ctx = store.context();
  Board b = board(*ctx);
  b.first->bucket = b.done->id; // an unsaved move counts at once
  EXPECT_TRUE(ctx->cards(*b.todo).empty());
  EXPECT_EQ(ctx->cards(*b.done), (std::vector<Card *>{b.first, b.second}));
  EXPECT_EQ(ctx->cards(*b.goal), (std::vector<Card *>{b.first, b.loose}));
  // Bytes that are not UTF-8 and NUL bytes are kept exactly.
  b.first->notes = std::string("Notiz\0\xff", 7);
  b.first->recurrenceRuleData = std::string("\0\xff", 2);
  ctx->save(kNow);

  std::string lower = b.first->id;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(ctx->card(lower), b.first);
  Card saved = *b.first;
  ctx.reset();
  auto other = store.context();
  Card *again = other->card(saved.id);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(*again, saved) << "a round trip keeps every field";
  EXPECT_EQ(other->card(saved.id), again) << "identity map";
  EXPECT_THROW(store.context(), StoreError) << "contexts do not nest";
}

TEST_F(ModelContextTest, DeleteRulesCascade) {
  using Remove = std::function<void(ModelContext &, Board &)>;
  const std::vector<std::pair<Remove, std::string>> cases = {
      {[](ModelContext &c, Board &b) { c.remove(*b.plan); }, "0 0 1 0 0 0 0"},
      {[](ModelContext &c, Board &b) { c.remove(*b.todo); }, "1 1 2 0 0 1 0"},
      {[](ModelContext &c, Board &b) { c.remove(*b.goal); }, "1 2 3 1 1 0 1"},
  };
  for (std::size_t n = 0; n < cases.size(); ++n) {
    store.container = KanbanStore::makePreviewContainer();
    auto ctx = store.context();
    Board b = board(*ctx);
    ctx->save(kNow);
    cases[n].first(*ctx, b);
    EXPECT_EQ(ctx->isDeleted(b.first), n <= 1) << n;
    EXPECT_EQ(b.first->title, "Fenster putzen") << "pointers stay valid";
    ctx->save(kNow);
    EXPECT_EQ(rows(), cases[n].second) << "case " << n;
  }
}

TEST_F(ModelContextTest, UnsavedOrFailedWorkLeavesTheStoreAsItWas) {
  { board(*store.context()); } // destroyed unsaved
  EXPECT_EQ(rows(), "0 0 0 0 0 0 0");
  {
    auto ctx = store.context();
    Board b = board(*ctx);
    ctx->save(kNow);
    Plan &brief = ctx->insert(Plan("Kurz", 0, kNow));
    ctx->remove(brief);
    EXPECT_FALSE(ctx->hasChanges()) << "inserted then deleted leaves no trace";
    ctx->addGoal(*b.first, *b.goal);       // existing link
    ctx->removeLabel(*b.second, *b.label); // missing link
    EXPECT_FALSE(ctx->hasChanges());
    ctx->save(kNow + 1);
    EXPECT_FALSE(store.container->database().inTransaction());
    b.first->title = "geändert";
    ctx->remove(*b.second);
  }
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 1);
  EXPECT_EQ(count("SELECT count(*) FROM Card WHERE title = 'Fenster putzen'"),
            1);

  auto ctx = store.context();
  Card *card = ctx->fetchCards().front();
  card->title = "neu";
  card->bucket = makeUUID(); // the foreign key refuses it
  EXPECT_THROW(ctx->save(kNow), StoreError);
  // A caller that ignores the failure cannot save half of the changes later.
  card->bucket.reset();
  EXPECT_THROW(ctx->save(kNow), StoreError);
  EXPECT_THROW(ctx->fetchPlans(), StoreError);
  EXPECT_FALSE(store.container->database().inTransaction());
  ctx.reset();
  EXPECT_EQ(count("SELECT count(*) FROM Card WHERE title = 'neu'"), 0);
  EXPECT_EQ(store.context()->fetchCards().size(), 3u) << "the next one works";
}

TEST_F(ModelContextTest, QueryCardsMatchesABruteForceReference) {
  auto ctx = store.context();
  Plan &a = ctx->insert(Plan("A", 0, kNow));
  Plan &b = ctx->insert(Plan("B", 1, kNow));
  std::vector<Bucket *> buckets;
  for (Plan *plan : {&a, &a, &b}) {
    buckets.push_back(&ctx->insert(Bucket("b", 0, kNow)));
    buckets.back()->plan = plan->id;
  }
  std::mt19937 random(7);
  std::vector<Card> reference; // in the expected order after sorting
  for (int i = 0; i < 300; ++i) {
    Card &card = ctx->insert(Card("Karte " + std::to_string(i), 0, kNow));
    Bucket *bucket = buckets[random() % buckets.size()];
    card.bucket = bucket->id;
    card.plan = bucket->plan;
    card.sortOrder = static_cast<double>(random() % 5) * 1024; // many ties
    if (random() % 3)
      card.dueDate = kNow + static_cast<double>(random() % 10) * 86400;
    card.percentComplete =
        std::vector<int64_t>{0, 49, 50, 99, 100}[random() % 5];
    card.isArchived = random() % 7 == 0;
    card.notes = random() % 2 ? "mit Notiz" : "";
    reference.push_back(card);
  }
  // Due date first (cards without one last), then sortOrder, then insertion.
  std::stable_sort(reference.begin(), reference.end(),
                   [](const Card &x, const Card &y) {
                     if (x.dueDate.has_value() != y.dueDate.has_value())
                       return x.dueDate.has_value();
                     if (x.dueDate && *x.dueDate != *y.dueDate)
                       return *x.dueDate < *y.dueDate;
                     return x.sortOrder < y.sortOrder;
                   });
  std::vector<CardQuery> queries(3);
  queries[1].bucketIDs = std::vector<UUID>{buckets[1]->id, buckets[2]->id};
  queries[1].includeArchived = true;
  queries[1].minPercent = 50;
  queries[1].maxPercent = 99;
  queries[2].planID = b.id;
  queries[2].dueAtOrBefore = kNow + 3 * 86400;
  queries[2].textMatches = [](std::string_view title, std::string_view notes) {
    return !notes.empty() && title.back() != '7';
  };
  for (std::size_t n = 0; n < queries.size() * 3; ++n) {
    const CardQuery &q = queries[n / 3];
    const std::size_t limit = std::vector<std::size_t>{0, 20, 1000}[n % 3];
    std::vector<std::string> expected;
    int64_t expectedCount = 0;
    for (const Card &c : reference) {
      bool match =
          (!q.planID || c.plan == q.planID) &&
          (!q.bucketIDs || std::count(q.bucketIDs->begin(), q.bucketIDs->end(),
                                      c.bucket.value_or(""))) &&
          (q.includeArchived || !c.isArchived) &&
          (!q.minPercent || c.percentComplete >= *q.minPercent) &&
          (!q.maxPercent || c.percentComplete <= *q.maxPercent) &&
          (!q.dueAtOrBefore || (c.dueDate && *c.dueDate <= *q.dueAtOrBefore)) &&
          (!q.textMatches || q.textMatches(c.title, c.notes));
      if (match && expectedCount++ < static_cast<int64_t>(limit))
        expected.push_back(c.id);
    }
    std::vector<std::string> found;
    for (Card *card : ctx->queryCards(q, limit))
      found.push_back(card->id);
    EXPECT_EQ(found, expected) << "query " << n / 3 << " limit " << limit;
    EXPECT_EQ(ctx->countCards(q), expectedCount) << "query " << n / 3;
  }

  CardQuery none;
  none.bucketIDs = std::vector<UUID>{};
  EXPECT_EQ(ctx->countCards(none), 0);
  // A throwing text test reaches the caller and leaves the context usable.
  CardQuery throwing;
  throwing.textMatches = [](std::string_view, std::string_view) -> bool {
    throw std::runtime_error("kaputt");
  };
  EXPECT_THROW(ctx->queryCards(throwing, 10), std::runtime_error);
  EXPECT_EQ(ctx->queryCards({}, 5).size(), 5u);
}

} // namespace
} // namespace taskory
