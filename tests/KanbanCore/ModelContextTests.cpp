#include "KanbanCore/ModelContext.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"
#include "support/Seed.h"
#include "support/StoreTestSupport.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string_view>
#include <utility>

namespace taskory {
namespace {

using namespace std::string_literals;
constexpr Date kNow = test::TestStore::kNow;

// A plan with two buckets, two cards (the first with checklist item,
// attachment, label and goal) and a card outside every plan sharing the goal.
struct Board {
  Plan *plan;
  Bucket *todo, *done;
  Card *first, *second, *loose;
  PlanLabel *label;
  Goal *goal;
};

// How many rows each table holds, printed by name on a mismatch.
struct RowCounts {
  int64_t plans, buckets, cards, items, attachments, cardGoals, cardLabels;
  bool operator==(const RowCounts &) const = default;
};

std::ostream &operator<<(std::ostream &out, const RowCounts &r) {
  return out << "plans " << r.plans << ", buckets " << r.buckets << ", cards "
             << r.cards << ", items " << r.items << ", attachments "
             << r.attachments << ", card goals " << r.cardGoals
             << ", card labels " << r.cardLabels;
}

class ModelContextTest : public ::testing::Test {
protected:
  test::TestStore store;

  int64_t count(const std::string &where, const char *table = "Card") {
    return store.raw().integer("SELECT count(*) FROM "s + table + where);
  }
  RowCounts rows() {
    return {count("", "Plan"),           count("", "Bucket"),
            count("", "Card"),           count("", "ChecklistItem"),
            count("", "CardAttachment"), count("", "CardGoal"),
            count("", "CardLabel")};
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
    b.label = &s.label(*b.plan, 0, "Rot");
    b.goal = &s.goal(*b.plan, "Sauberes Haus");
    s.item(*b.first, "Leiter holen");
    s.attachment(*b.first, "Anleitung", std::nullopt);
    s.tag(*b.first, *b.label);
    s.tag(*b.first, *b.goal);
    s.tag(*b.loose, *b.goal);
    return b;
  }

  // Each test starts with the board unsaved in a context of its own.
  std::unique_ptr<ModelContext> ctx = store.context();
  Board b = board(*ctx);
};

TEST_F(ModelContextTest, UnsavedChangesCountInRelationships) {
  b.first->bucket = b.done->id; // not saved, yet a query sees the move
  EXPECT_TRUE(ctx->cards(*b.todo).empty());
  EXPECT_EQ(ctx->cards(*b.done), (std::vector<Card *>{b.first, b.second}));
  EXPECT_EQ(ctx->cards(*b.goal), (std::vector<Card *>{b.first, b.loose}));
}

TEST_F(ModelContextTest, LookupFindsAnIDInAnyLetterCase) {
  ctx->save(kNow);
  std::string lower = b.first->id;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(ctx->card(lower), b.first);
  EXPECT_EQ(ctx->card(lower.substr(0, 8)), nullptr) << "a prefix is no id";
}

TEST_F(ModelContextTest, RoundTripKeepsEveryFieldByteForByte) {
  // Bytes that are not UTF-8 and NUL bytes are kept exactly.
  b.first->notes = std::string("Notiz\0\xff", 7);
  b.first->recurrenceRuleData = std::string("\0\xff", 2);
  ctx->save(kNow);
  Card saved = *b.first;
  ctx.reset();
  auto other = store.context();
  Card *again = other->card(saved.id);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(*again, saved);
}

TEST_F(ModelContextTest, ContextsDoNotNest) {
  EXPECT_THROW(store.context(), StoreError);
}

TEST_F(ModelContextTest, GoalProgressIsTheShareOfActiveCardsDone) {
  struct Case {
    std::string_view what;
    int64_t first, loose;
    bool looseArchived;
    double fraction;
  };
  const Case cases[] = {{"none done", 0, 50, false, 0.0},
                        {"one of two", 100, 0, false, 0.5},
                        {"all done", 100, 100, false, 1.0},
                        {"archived cards do not count", 100, 0, true, 1.0}};
  for (const Case &c : cases) {
    b.first->percentComplete = c.first;
    b.loose->percentComplete = c.loose;
    b.loose->isArchived = c.looseArchived;
    EXPECT_EQ(ctx->progressFraction(*b.goal), c.fraction) << c.what;
  }
  EXPECT_EQ(ctx->progressFraction(ctx->insert(Goal("Leer", 0, kNow))), 0.0)
      << "a goal without cards";
}

TEST_F(ModelContextTest, AReadOnlyContextRefusesChangesWithoutWriting) {
  using Change = void (*)(ModelContext &, Card &);
  const std::pair<std::string_view, Change> cases[] = {
      {"insert", [](ModelContext &c, Card &) { c.insert(Plan("P", 0, kNow)); }},
      {"remove", [](ModelContext &c, Card &card) { c.remove(card); }},
      {"changed field", [](ModelContext &c, Card &card) {
         card.title = "anders";
         c.save(kNow);
       }}};
  ctx->save(kNow);
  ctx.reset();
  const RowCounts before = rows();
  for (const auto &[what, change] : cases) {
    ModelContext reader(*store.container, "mcp",
                        ModelContext::Access::readOnly);
    Card &card = *reader.fetchAll<Card>().front();
    EXPECT_THROW(change(reader, card), StoreError) << what;
  }
  EXPECT_EQ(rows(), before);
  EXPECT_EQ(count(" WHERE title = 'anders'"), 0);
  EXPECT_EQ(count("", "StoreTransaction"), 1);
  ModelContext reader(*store.container, "mcp", ModelContext::Access::readOnly);
  EXPECT_EQ(reader.fetchAll<Card>().size(), 3u);
  EXPECT_NO_THROW(reader.save(kNow)) << "a save without changes just ends";
}

// A plan takes its buckets, cards, labels and goals; a bucket its cards; a
// card its checklist and attachments; a goal only leaves its cards.
TEST_F(ModelContextTest, DeleteRulesCascade) {
  using Remove = void (*)(ModelContext &, Board &);
  struct Case {
    std::string_view what;
    Remove remove;
    RowCounts after;
    bool firstDeleted;
  };
  const Case cases[] = {{"plan",
                         [](ModelContext &c, Board &b) { c.remove(*b.plan); },
                         {0, 0, 1, 0, 0, 0, 0},
                         true},
                        {"bucket",
                         [](ModelContext &c, Board &b) { c.remove(*b.todo); },
                         {1, 1, 2, 0, 0, 1, 0},
                         true},
                        {"card",
                         [](ModelContext &c, Board &b) { c.remove(*b.first); },
                         {1, 2, 2, 0, 0, 1, 0},
                         true},
                        {"goal",
                         [](ModelContext &c, Board &b) { c.remove(*b.goal); },
                         {1, 2, 3, 1, 1, 0, 1},
                         false}};
  for (const Case &c : cases) {
    ctx.reset();
    store.container = KanbanStore::makePreviewContainer();
    ctx = store.context();
    b = board(*ctx);
    ctx->save(kNow);
    c.remove(*ctx, b);
    EXPECT_EQ(ctx->isDeleted(b.first), c.firstDeleted) << c.what;
    EXPECT_EQ(b.first->title, "Fenster putzen") << "pointers stay valid";
    ctx->save(kNow);
    EXPECT_EQ(rows(), c.after) << c.what;
  }
}

// Every object a delete takes is journalled, and a card that only loses a link
// counts as changed.
TEST_F(ModelContextTest, EveryObjectADeleteTakesOrCutsIsJournalled) {
  ctx->save(kNow);
  ctx->remove(*b.goal);
  ctx->remove(*b.todo);
  ctx->save(kNow + 1);
  const std::pair<std::string, int64_t> cases[] = {
      {"entity = 'Goal' AND kind = 'delete'", 1},
      {"entity = 'Bucket' AND kind = 'delete'", 1},
      {"entity = 'Card' AND kind = 'delete'", 1},
      {"entity = 'ChecklistItem' AND kind = 'delete'", 1},
      {"entity = 'CardAttachment' AND kind = 'delete'", 1},
      {"entity = 'Card' AND kind = 'update' AND entityID = '" + b.loose->id +
           "'",
       1}};
  for (const auto &[where, expected] : cases)
    EXPECT_EQ(count(" WHERE txn = 2 AND " + where, "StoreChange"), expected)
        << where;
}

TEST_F(ModelContextTest, UnsavedOrFailedWorkLeavesTheStoreAsItWas) {
  ctx.reset(); // destroyed unsaved
  EXPECT_EQ(rows(), (RowCounts{0, 0, 0, 0, 0, 0, 0}));
  {
    ctx = store.context();
    b = board(*ctx);
    ctx->save(kNow);
    Plan &brief = ctx->insert(Plan("Kurz", 0, kNow));
    ctx->remove(brief);
    EXPECT_FALSE(ctx->hasChanges()) << "inserted then deleted leaves no trace";
    ctx->addGoal(*b.first, *b.goal);       // existing link
    ctx->removeLabel(*b.second, *b.label); // missing link
    EXPECT_FALSE(ctx->hasChanges());
    ctx->save(kNow + 1);
    EXPECT_FALSE(store.raw().inTransaction());
    b.first->title = "geändert";
    ctx->remove(*b.second);
    ctx.reset();
  }
  EXPECT_EQ(count("", "StoreTransaction"), 1);
  EXPECT_EQ(count(" WHERE title = 'Fenster putzen'"), 1);

  ctx = store.context();
  Card *card = ctx->fetchAll<Card>().front();
  card->title = "neu";
  card->bucket = makeUUID(); // the foreign key refuses it
  EXPECT_THROW(ctx->save(kNow), StoreError);
  // A caller that ignores the failure cannot save half of the changes later.
  card->bucket.reset();
  EXPECT_THROW(ctx->save(kNow), StoreError);
  EXPECT_THROW(ctx->fetchAll<Plan>(), StoreError);
  EXPECT_FALSE(store.raw().inTransaction());
  ctx.reset();
  EXPECT_EQ(count(" WHERE title = 'neu'"), 0);
  EXPECT_EQ(store.context()->fetchAll<Card>().size(), 3u)
      << "the next one works";
}

} // namespace
} // namespace taskory
