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
#include <random>
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

  test::RawConnection raw() {
    return test::RawConnection(store.container->connection());
  }
  int64_t count(const std::string &where, const char *table = "Card") {
    return raw().integer("SELECT count(*) FROM "s + table + where);
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
};

TEST_F(ModelContextTest, UnsavedChangesCountInRelationships) {
  auto ctx = store.context();
  Board b = board(*ctx);
  b.first->bucket = b.done->id; // not saved, yet a query sees the move
  EXPECT_TRUE(ctx->cards(*b.todo).empty());
  EXPECT_EQ(ctx->cards(*b.done), (std::vector<Card *>{b.first, b.second}));
  EXPECT_EQ(ctx->cards(*b.goal), (std::vector<Card *>{b.first, b.loose}));
}

TEST_F(ModelContextTest, LookupFindsAnIDInAnyLetterCase) {
  auto ctx = store.context();
  Board b = board(*ctx);
  ctx->save(kNow);
  std::string lower = b.first->id;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(ctx->card(lower), b.first);
  EXPECT_EQ(ctx->card(lower.substr(0, 8)), nullptr) << "a prefix is no id";
}

TEST_F(ModelContextTest, RoundTripKeepsEveryFieldAndByte) {
  auto ctx = store.context();
  Board b = board(*ctx);
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
  auto ctx = store.context();
  EXPECT_THROW(store.context(), StoreError);
}

TEST_F(ModelContextTest, GoalProgressIsTheShareOfActiveCardsDone) {
  auto ctx = store.context();
  Board b = board(*ctx);
  struct Case {
    std::string_view what;
    int64_t first, loose;
    bool looseArchived;
    double fraction;
  };
  const Case cases[] = {
      {"none done", 0, 50, false, 0.0},
      {"one of two", 100, 0, false, 0.5},
      {"all done", 100, 100, false, 1.0},
      {"archived cards do not count", 100, 0, true, 1.0},
  };
  for (const Case &c : cases) {
    b.first->percentComplete = c.first;
    b.loose->percentComplete = c.loose;
    b.loose->isArchived = c.looseArchived;
    EXPECT_EQ(ctx->progressFraction(*b.goal), c.fraction) << c.what;
  }
  EXPECT_EQ(ctx->progressFraction(ctx->insert(Goal("Leer", 0, kNow))), 0.0)
      << "a goal without cards";
}

TEST_F(ModelContextTest, ReadOnlyContextRefusesChangesAndWritesNothing) {
  using Change = void (*)(ModelContext &, Card &);
  const std::pair<std::string_view, Change> cases[] = {
      {"insert", [](ModelContext &c, Card &) { c.insert(Plan("P", 0, kNow)); }},
      {"remove", [](ModelContext &c, Card &card) { c.remove(card); }},
      {"changed field",
       [](ModelContext &c, Card &card) {
         card.title = "anders";
         c.save(kNow);
       }},
  };
  {
    auto ctx = store.context();
    board(*ctx);
    ctx->save(kNow);
  }
  const RowCounts before = rows();
  for (const auto &[what, change] : cases) {
    ModelContext reader(*store.container, "mcp",
                        ModelContext::Access::readOnly);
    Card &card = *reader.fetchCards().front();
    EXPECT_THROW(change(reader, card), StoreError) << what;
  }
  EXPECT_EQ(rows(), before);
  EXPECT_EQ(count(" WHERE title = 'anders'"), 0);
  EXPECT_EQ(count("", "StoreTransaction"), 1);
  ModelContext reader(*store.container, "mcp", ModelContext::Access::readOnly);
  EXPECT_EQ(reader.fetchCards().size(), 3u);
  EXPECT_NO_THROW(reader.save(kNow)) << "a save without changes just ends";
}

// Other programs may leave sort orders that are not numbers; they count as 0,
// as they read, whichever end of the index they sort to.
TEST_F(ModelContextTest, HighestCardSortOrderOfAPlanReadsOddValuesAsZero) {
  auto context = store.context();
  Board b = board(*context);
  auto highest = [&](const char *first, const char *second) {
    auto db = raw();
    db.exec("UPDATE Card SET sortOrder = "s + first + " WHERE id = '" +
            b.first->id + "'");
    db.exec("UPDATE Card SET sortOrder = "s + second + " WHERE id = '" +
            b.second->id + "'");
    return context->maxCardSortOrder(*b.plan);
  };
  EXPECT_EQ(highest("-5", "-7"), -5);
  EXPECT_EQ(highest("-5", "'abc'"), 0);
  EXPECT_EQ(highest("7", "'abc'"), 7);
  EXPECT_EQ(highest("-5", "x'00'"), 0);
  test::Seed s(*context, store.calendar, kNow);
  EXPECT_EQ(context->maxCardSortOrder(s.plan("Leer")), std::nullopt);
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
  const Case cases[] = {
      {"plan",
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
       false},
  };
  for (const Case &c : cases) {
    store.container = KanbanStore::makePreviewContainer();
    auto ctx = store.context();
    Board b = board(*ctx);
    ctx->save(kNow);
    c.remove(*ctx, b);
    EXPECT_EQ(ctx->isDeleted(b.first), c.firstDeleted) << c.what;
    EXPECT_EQ(b.first->title, "Fenster putzen") << "pointers stay valid";
    ctx->save(kNow);
    EXPECT_EQ(rows(), c.after) << c.what;
  }
}

// Every object a delete takes is journalled, and a card that only loses a
// link counts as changed.
TEST_F(ModelContextTest, DeletesAreJournalledWithWhatTheyTookAndCut) {
  auto ctx = store.context();
  Board b = board(*ctx);
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
       1},
  };
  for (const auto &[where, expected] : cases)
    EXPECT_EQ(count(" WHERE txn = 2 AND " + where, "StoreChange"), expected)
        << where;
}

TEST_F(ModelContextTest, UnsavedOrFailedWorkLeavesTheStoreAsItWas) {
  { board(*store.context()); } // destroyed unsaved
  EXPECT_EQ(rows(), (RowCounts{0, 0, 0, 0, 0, 0, 0}));
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
    EXPECT_FALSE(raw().inTransaction());
    b.first->title = "geändert";
    ctx->remove(*b.second);
  }
  EXPECT_EQ(count("", "StoreTransaction"), 1);
  EXPECT_EQ(count(" WHERE title = 'Fenster putzen'"), 1);

  auto ctx = store.context();
  Card *card = ctx->fetchCards().front();
  card->title = "neu";
  card->bucket = makeUUID(); // the foreign key refuses it
  EXPECT_THROW(ctx->save(kNow), StoreError);
  // A caller that ignores the failure cannot save half of the changes later.
  card->bucket.reset();
  EXPECT_THROW(ctx->save(kNow), StoreError);
  EXPECT_THROW(ctx->fetchPlans(), StoreError);
  EXPECT_FALSE(raw().inTransaction());
  ctx.reset();
  EXPECT_EQ(count(" WHERE title = 'neu'"), 0);
  EXPECT_EQ(store.context()->fetchCards().size(), 3u) << "the next one works";
}

// Due date first (cards without one last), then sortOrder, then insertion.
TEST_F(ModelContextTest, QueryCardsMatchesABruteForceReference) {
  auto ctx = store.context();
  test::Seed seed(*ctx, store.calendar, kNow);
  Plan &a = seed.plan("A"), &b = seed.plan("B");
  Bucket *buckets[] = {&seed.bucket(a, "1"), &seed.bucket(a, "2"),
                       &seed.bucket(b, "3")};
  std::mt19937 random(7);
  std::vector<Card> reference;
  for (int i = 0; i < 60; ++i) {
    Card &card =
        seed.card(*buckets[random() % 3], "Karte " + std::to_string(i));
    card.sortOrder = static_cast<double>(random() % 3) * 1024; // many ties
    if (random() % 3)
      card.dueDate = kNow + static_cast<double>(random() % 4) * 86400;
    card.percentComplete = std::vector<int64_t>{49, 50, 99, 100}[random() % 4];
    card.isArchived = random() % 7 == 0;
    reference.push_back(card);
  }
  std::stable_sort(
      reference.begin(), reference.end(), [](const Card &x, const Card &y) {
        return std::tuple(!x.dueDate, x.dueDate.value_or(0), x.sortOrder) <
               std::tuple(!y.dueDate, y.dueDate.value_or(0), y.sortOrder);
      });
  std::vector<CardQuery> queries(3);
  queries[1].bucketIDs = std::vector<UUID>{buckets[1]->id, buckets[2]->id};
  queries[1].includeArchived = true;
  queries[1].maxPercent = 99;
  queries[2].planID = b.id;
  queries[2].dueAtOrBefore = kNow + 86400;
  queries[2].textMatches = [](std::string_view title, std::string_view) {
    return title.back() != '7';
  };
  queries.emplace_back().bucketIDs = std::vector<UUID>{};
  for (std::size_t n = 0; n < queries.size(); ++n) {
    const CardQuery &q = queries[n];
    std::vector<std::string> expected, found;
    for (const Card &c : reference)
      if ((!q.planID || c.plan == q.planID) &&
          (!q.bucketIDs || std::count(q.bucketIDs->begin(), q.bucketIDs->end(),
                                      c.bucket.value_or(""))) &&
          (q.includeArchived || !c.isArchived) &&
          (!q.minPercent || c.percentComplete >= *q.minPercent) &&
          (!q.maxPercent || c.percentComplete <= *q.maxPercent) &&
          (!q.dueAtOrBefore || (c.dueDate && *c.dueDate <= *q.dueAtOrBefore)) &&
          (!q.textMatches || q.textMatches(c.title, c.notes)))
        expected.push_back(c.id);
    for (Card *card : ctx->queryCards(q, 1000))
      found.push_back(card->id);
    EXPECT_EQ(found, expected) << "query " << n;
    EXPECT_EQ(ctx->queryCards(q, 5).size(),
              std::min<std::size_t>(found.size(), 5));
    EXPECT_EQ(ctx->countCards(q), static_cast<int64_t>(found.size())) << n;
  }
}

} // namespace
} // namespace taskory
