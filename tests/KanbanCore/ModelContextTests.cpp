#include "KanbanCore/ModelContext.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Sqlite.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace taskory {
namespace {

constexpr Date kNow = 1741773600.0;

// An in-memory store and helpers to look at its history.
class ModelContextTest : public ::testing::Test {
protected:
  std::unique_ptr<ModelContainer> container =
      KanbanStore::makePreviewContainer();

  std::unique_ptr<ModelContext> context(std::string author = "mcp") {
    return std::make_unique<ModelContext>(*container, std::move(author));
  }

  int64_t count(const std::string &sql) {
    return container->database().queryInteger(sql);
  }

  // "entity kind" of every StoreChange row of transaction `txn`, sorted.
  std::multiset<std::string> changesOf(int64_t txn) {
    std::multiset<std::string> result;
    auto stmt = container->database().statement(
        "SELECT entity, kind FROM StoreChange WHERE txn = ?1");
    stmt->bind(1, txn);
    while (stmt->step())
      result.insert(std::string(stmt->bytes(0)) + " " +
                    std::string(stmt->bytes(1)));
    return result;
  }

  int64_t lastTransaction() {
    return count("SELECT max(id) FROM StoreTransaction");
  }
};

// A plan with two buckets, cards with checklist, attachment, label and goal.
struct Board {
  Plan *plan;
  Bucket *todo, *done;
  Card *first, *second;
  ChecklistItem *item;
  CardAttachment *attachment;
  PlanLabel *label;
  Goal *goal;
};

Board makeBoard(ModelContext &context, const std::string &title = "Haus") {
  Board b{};
  b.plan = &context.insert(Plan(title, 1024, kNow));
  b.todo = &context.insert(Bucket("Todo", 2048, kNow));
  b.todo->plan = b.plan->id;
  b.done = &context.insert(Bucket("Erledigt", 1024, kNow));
  b.done->plan = b.plan->id;
  b.first = &context.insert(Card("Fenster putzen", 1024, kNow));
  b.first->plan = b.plan->id;
  b.first->bucket = b.todo->id;
  b.second = &context.insert(Card("Keller", 2048, kNow));
  b.second->plan = b.plan->id;
  b.second->bucket = b.done->id;
  b.item = &context.insert(ChecklistItem("Leiter holen", 1024, kNow));
  b.item->card = b.first->id;
  b.attachment = &context.insert(CardAttachment("Anleitung", 1024, kNow));
  b.attachment->card = b.first->id;
  b.label = &context.insert(PlanLabel(0, "Rot"));
  b.label->plan = b.plan->id;
  b.goal = &context.insert(Goal("Sauberes Haus", 1024, kNow));
  b.goal->plan = b.plan->id;
  context.addLabel(*b.first, *b.label);
  context.addGoal(*b.first, *b.goal);
  return b;
}

TEST_F(ModelContextTest, RelationshipsFollowInMemoryLinksBeforeSave) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  auto sorted = ctx->sortedBuckets(*b.plan);
  ASSERT_EQ(sorted.size(), 2u);
  EXPECT_EQ(sorted[0], b.done);
  EXPECT_EQ(sorted[1], b.todo);
  EXPECT_EQ(ctx->buckets(*b.plan), (std::vector<Bucket *>{b.todo, b.done}))
      << "relationship order is insertion order";
  EXPECT_EQ(ctx->cards(*b.todo), std::vector<Card *>{b.first});
  b.first->bucket = b.done->id; // a move, not yet saved
  EXPECT_TRUE(ctx->cards(*b.todo).empty());
  EXPECT_EQ(ctx->cards(*b.done), (std::vector<Card *>{b.first, b.second}));
  EXPECT_EQ(ctx->planOf(*b.first), b.plan);
  EXPECT_EQ(ctx->bucketOf(*b.first), b.done);
  EXPECT_EQ(ctx->planOf(*b.todo), b.plan);
  EXPECT_EQ(ctx->cardOf(*b.item), b.first);
  EXPECT_EQ(ctx->goals(*b.first), std::vector<Goal *>{b.goal});
  EXPECT_EQ(ctx->labels(*b.first), std::vector<PlanLabel *>{b.label});
  EXPECT_EQ(ctx->cards(*b.goal), std::vector<Card *>{b.first});
  EXPECT_EQ(ctx->cards(*b.label), std::vector<Card *>{b.first});
  EXPECT_EQ(ctx->labels(*b.plan), std::vector<PlanLabel *>{b.label});
  EXPECT_EQ(ctx->goals(*b.plan), std::vector<Goal *>{b.goal});
  EXPECT_EQ(ctx->maxCardSortOrder(*b.plan), 2048.0);
  b.second->sortOrder = 5000; // unsaved edits count too
  EXPECT_EQ(ctx->maxCardSortOrder(*b.plan), 5000.0);
}

TEST_F(ModelContextTest, LookupsAreCaseInsensitiveAndReturnTheSameObject) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  ctx->save(kNow);
  std::string lower = b.first->id;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(ctx->card(lower), b.first);
  EXPECT_EQ(ctx->card(b.first->id), b.first);
  EXPECT_EQ(ctx->plan(b.plan->id), b.plan);
  EXPECT_EQ(ctx->goal(b.goal->id), b.goal);
  EXPECT_EQ(ctx->label(b.label->id), b.label);
  EXPECT_EQ(ctx->checklistItem(b.item->id), b.item);
  EXPECT_EQ(ctx->bucket(b.todo->id), b.todo);
  EXPECT_EQ(ctx->card(makeUUID()), nullptr);
  EXPECT_EQ(ctx->plan(b.first->id), nullptr) << "ids are per entity";
  Card saved = *b.first;
  ctx.reset();

  auto other = context();
  Card *again = other->card(saved.id);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(*again, saved) << "a round trip keeps every field";
  EXPECT_EQ(other->card(saved.id), again) << "identity map";
  EXPECT_THROW(context(), StoreError) << "contexts do not nest";
}

TEST_F(ModelContextTest, DeletingAPlanCascadesAndRecordsEveryObject) {
  std::string planID, firstID, secondID, survivorID;
  {
    auto ctx = context();
    Board b = makeBoard(*ctx);
    Board other = makeBoard(*ctx, "Garten");
    // A card of another plan linked to this plan's goal only loses the link.
    ctx->addGoal(*other.first, *b.goal);
    ctx->save(kNow);
    planID = b.plan->id;
    firstID = b.first->id;
    secondID = b.second->id;
    survivorID = other.first->id;
  }
  auto ctx = context();
  Plan *plan = ctx->plan(planID);
  Card *first = ctx->card(firstID);
  Card *survivor = ctx->card(survivorID);
  ASSERT_NE(plan, nullptr);
  ctx->remove(*plan);
  EXPECT_TRUE(ctx->isDeleted(plan));
  EXPECT_TRUE(ctx->isDeleted(first));
  EXPECT_EQ(first->title, "Fenster putzen") << "pointers stay valid";
  EXPECT_FALSE(ctx->isDeleted(survivor));
  EXPECT_EQ(ctx->goals(*survivor).size(), 1u) << "only its own plan's goal";
  EXPECT_EQ(ctx->card(secondID), nullptr);
  EXPECT_EQ(ctx->fetchPlans().size(), 1u);
  ctx->save(kNow + 60);

  EXPECT_EQ(count("SELECT count(*) FROM Card"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM Bucket"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM ChecklistItem"), 1);
  EXPECT_EQ(count("SELECT count(*) FROM CardAttachment"), 1);
  EXPECT_EQ(count("SELECT count(*) FROM CardGoal"), 1);
  EXPECT_EQ(count("SELECT count(*) FROM CardLabel"), 1);
  int64_t txn = lastTransaction();
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 2);
  EXPECT_EQ(
      container->database()
          .statement("SELECT 1 FROM StoreTransaction WHERE author = 'mcp' AND "
                     "timestamp = 1741773660.0")
          ->step(),
      true);
  EXPECT_EQ(changesOf(txn),
            (std::multiset<std::string>{
                "Plan delete", "Bucket delete", "Bucket delete", "Card delete",
                "Card delete", "ChecklistItem delete", "CardAttachment delete",
                "PlanLabel delete", "Goal delete", "Card update"}));
}

TEST_F(ModelContextTest, DeleteRulesOfEachEntity) {
  struct Case {
    const char *what;
    std::function<void(ModelContext &, Board &)> remove;
    std::multiset<std::string> history;
    int64_t cards, items, goalLinks, labelLinks;
  };
  std::vector<Case> cases = {
      {"bucket takes its cards",
       [](ModelContext &c, Board &b) { c.remove(*b.todo); },
       {"Bucket delete", "Card delete", "ChecklistItem delete",
        "CardAttachment delete"},
       1,
       0,
       0,
       0},
      {"card takes checklist and attachments",
       [](ModelContext &c, Board &b) { c.remove(*b.first); },
       {"Card delete", "ChecklistItem delete", "CardAttachment delete"},
       1,
       0,
       0,
       0},
      {"goal only leaves its cards",
       [](ModelContext &c, Board &b) { c.remove(*b.goal); },
       {"Goal delete", "Card update"},
       2,
       1,
       0,
       1},
      {"label only leaves its cards",
       [](ModelContext &c, Board &b) { c.remove(*b.label); },
       {"PlanLabel delete", "Card update"},
       2,
       1,
       1,
       0},
      {"checklist item alone",
       [](ModelContext &c, Board &b) { c.remove(*b.item); },
       {"ChecklistItem delete"},
       2,
       0,
       1,
       1},
      {"attachment alone",
       [](ModelContext &c, Board &b) { c.remove(*b.attachment); },
       {"CardAttachment delete"},
       2,
       1,
       1,
       1},
  };
  for (auto &test : cases) {
    container = KanbanStore::makePreviewContainer();
    auto ctx = context();
    Board b = makeBoard(*ctx);
    ctx->save(kNow);
    test.remove(*ctx, b);
    ctx->save(kNow);
    EXPECT_EQ(changesOf(lastTransaction()), test.history) << test.what;
    EXPECT_EQ(count("SELECT count(*) FROM Card"), test.cards) << test.what;
    EXPECT_EQ(count("SELECT count(*) FROM ChecklistItem"), test.items)
        << test.what;
    EXPECT_EQ(count("SELECT count(*) FROM CardGoal"), test.goalLinks)
        << test.what;
    EXPECT_EQ(count("SELECT count(*) FROM CardLabel"), test.labelLinks)
        << test.what;
    EXPECT_EQ(count("SELECT count(*) FROM Plan"), 1) << test.what;
  }
}

TEST_F(ModelContextTest, DestroyingAnUnsavedContextRollsEverythingBack) {
  {
    auto ctx = context();
    makeBoard(*ctx);
  }
  EXPECT_EQ(count("SELECT count(*) FROM Plan"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 0);
  {
    auto ctx = context();
    Board b = makeBoard(*ctx);
    ctx->save(kNow);
    b.first->title = "geändert";
    ctx->remove(*b.second);
  }
  auto ctx = context();
  EXPECT_EQ(ctx->fetchCards().size(), 2u);
  EXPECT_EQ(count("SELECT count(*) FROM Card WHERE title = 'geändert'"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 1);
}

TEST_F(ModelContextTest, SaveThenContinueStartsANewTransaction) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  ctx->save(kNow);
  EXPECT_FALSE(container->database().inTransaction())
      << "nothing held between save and the next access";
  EXPECT_EQ(changesOf(lastTransaction()).count("Card insert"), 2u);
  b.first->percentComplete = 100;
  EXPECT_TRUE(ctx->hasChanges());
  ctx->save(kNow + 1);
  EXPECT_EQ(changesOf(lastTransaction()),
            std::multiset<std::string>{"Card update"});
  ctx->save(kNow + 2); // nothing changed: no history
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 2);
  ctx->addGoal(*b.first, *b.goal);       // existing link: nothing
  ctx->removeLabel(*b.second, *b.label); // missing link: nothing
  EXPECT_FALSE(ctx->hasChanges());
  ctx->removeGoal(*b.first, *b.goal);
  ctx->save(kNow + 3);
  EXPECT_EQ(changesOf(lastTransaction()),
            std::multiset<std::string>{"Card update"});
  EXPECT_TRUE(ctx->goals(*b.first).empty());
}

TEST_F(ModelContextTest, InsertedThenDeletedObjectLeavesNoTrace) {
  auto ctx = context();
  Plan &plan = ctx->insert(Plan("Kurz", 0, kNow));
  ctx->remove(plan);
  EXPECT_TRUE(ctx->isDeleted(&plan));
  EXPECT_FALSE(ctx->hasChanges());
  ctx->save(kNow);
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 0);
}

TEST_F(ModelContextTest, AFailedWriteRollsBackAndKeepsFailing) {
  {
    auto ctx = context();
    makeBoard(*ctx);
    ctx->save(kNow);
  }
  auto ctx = context();
  Card *card = ctx->fetchCards().front();
  card->title = "neu";
  card->bucket = makeUUID(); // no such bucket: the foreign key refuses it
  EXPECT_THROW(ctx->save(kNow), StoreError);
  // A caller that ignores the failure cannot save half of the changes later.
  card->bucket.reset();
  EXPECT_THROW(ctx->save(kNow), StoreError);
  EXPECT_THROW(ctx->fetchPlans(), StoreError);
  EXPECT_FALSE(container->database().inTransaction());
  EXPECT_EQ(count("SELECT count(*) FROM Card WHERE title = 'neu'"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM StoreTransaction"), 1);
  auto next = context();
  EXPECT_EQ(next->fetchCards().size(), 2u) << "the next context works";
}

TEST_F(ModelContextTest, DerivedCountsAndGoalProgress) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  EXPECT_EQ(ctx->checklistItemCount(*b.second), 0);
  EXPECT_EQ(ctx->checkedItemCount(*b.second), 0);
  EXPECT_TRUE(ctx->sortedChecklist(*b.second).empty());
  ChecklistItem &early = ctx->insert(ChecklistItem("zuerst", 10, kNow));
  early.card = b.first->id;
  early.isChecked = true;
  ChecklistItem &tie = ctx->insert(ChecklistItem("gleich", 1024, kNow));
  tie.card = b.first->id;
  EXPECT_EQ(ctx->checklistItemCount(*b.first), 3);
  EXPECT_EQ(ctx->checkedItemCount(*b.first), 1);
  EXPECT_EQ(ctx->sortedChecklist(*b.first),
            (std::vector<ChecklistItem *>{&early, b.item, &tie}))
      << "stable: equal sortOrder keeps insertion order";

  // Four active cards, one at 100 and one at 50: 0.25. Archived cards do not
  // count.
  Goal &goal = ctx->insert(Goal("Ziel", 0, kNow));
  std::vector<int64_t> percents = {100, 50, 0, 0};
  for (int64_t percent : percents) {
    Card &card = ctx->insert(Card("x", 0, kNow));
    card.percentComplete = percent;
    ctx->addGoal(card, goal);
  }
  Card &archived = ctx->insert(Card("alt", 0, kNow));
  archived.percentComplete = 100;
  archived.isArchived = true;
  ctx->addGoal(archived, goal);
  EXPECT_DOUBLE_EQ(ctx->progressFraction(goal), 0.25);

  Goal &allArchived = ctx->insert(Goal("leer", 0, kNow));
  ctx->addGoal(archived, allArchived);
  EXPECT_DOUBLE_EQ(ctx->progressFraction(allArchived), 0.0);
  archived.isArchived = true;
  EXPECT_EQ(ctx->activeCards(*b.plan).size(), 2u);
  b.second->isArchived = true;
  EXPECT_EQ(ctx->activeCards(*b.plan), std::vector<Card *>{b.first});
  EXPECT_TRUE(ctx->activeCards(*b.done).empty());
}

TEST_F(ModelContextTest, OpenCardsSeeUnsavedEdits) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  EXPECT_EQ(ctx->fetchOpenCards().size(), 2u);
  b.first->percentComplete = 100;
  b.second->isArchived = true;
  EXPECT_TRUE(ctx->fetchOpenCards().empty());
  b.first->percentComplete = 99;
  EXPECT_EQ(ctx->fetchOpenCards(), std::vector<Card *>{b.first});
}

TEST_F(ModelContextTest, IDPrefixIsARangeOnTheKeyInBothLetterCases) {
  auto ctx = context();
  std::vector<std::string> ids = {
      "ABCDEF12-0000-4000-8000-000000000001",
      "abcdef12-0000-4000-8000-000000000002", // written by another program
      "ABCDEF13-0000-4000-8000-000000000003",
      "ABCDE000-0000-4000-8000-000000000004",
  };
  for (const auto &id : ids) {
    Card card("c", 0, kNow);
    card.id = id;
    ctx->insert(card);
  }
  struct Case {
    std::string prefix;
    std::vector<std::size_t> expected;
  };
  std::vector<Case> cases = {
      {"ABCDE", {0, 1, 2, 3}},
      {"abcdef", {0, 1, 2}},
      {"AbCdEf12", {0, 1}},
      {"ABCDEF12-", {0, 1}},
      {"ABCDEF12-0000-4000-8000-000000000002", {1}},
      {"abcdef13-0000-4000-8000-000000000003", {2}},
      {"ABCDEF14", {}},
      {"------", {}},
  };
  for (const auto &test : cases) {
    std::vector<std::string> found;
    for (Card *card : ctx->cardsWithIDPrefix(test.prefix))
      found.push_back(card->id);
    std::vector<std::string> expected;
    for (std::size_t i : test.expected)
      expected.push_back(ids[i]);
    EXPECT_EQ(found, expected) << test.prefix;
  }
  EXPECT_EQ(ctx->card("ABCDEF12-0000-4000-8000-000000000002")->id, ids[1])
      << "the id stays as stored";
}

TEST_F(ModelContextTest, IDPrefixAndPrimaryKeyLookupsUseTheIndex) {
  auto stmt = container->database().statement(
      "EXPLAIN QUERY PLAN SELECT id FROM Card WHERE (id >= ?1 AND id < ?2) "
      "OR (id >= ?3 AND id < ?4) ORDER BY rowid");
  std::string plan;
  while (stmt->step())
    plan += std::string(stmt->bytes(3)) + "\n";
  EXPECT_EQ(plan.find("SCAN Card\n"), std::string::npos) << plan;
}

// --- card queries against a brute-force reference ---

struct Reference {
  Card card;
  std::size_t order; // insertion order
};

TEST_F(ModelContextTest, QueryCardsMatchesABruteForceReference) {
  auto ctx = context();
  Plan &a = ctx->insert(Plan("A", 0, kNow));
  Plan &b = ctx->insert(Plan("B", 1, kNow));
  std::vector<Bucket *> buckets;
  for (Plan *plan : {&a, &a, &b}) {
    Bucket &bucket = ctx->insert(Bucket("b", 0, kNow));
    bucket.plan = plan->id;
    buckets.push_back(&bucket);
  }
  std::mt19937 random(7);
  std::vector<Reference> reference;
  for (std::size_t i = 0; i < 400; ++i) {
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
    reference.push_back({card, i});
  }
  std::stable_sort(reference.begin(), reference.end(),
                   [](const Reference &l, const Reference &r) {
                     const Card &x = l.card, &y = r.card;
                     if (x.dueDate.has_value() != y.dueDate.has_value())
                       return x.dueDate.has_value();
                     if (x.dueDate && *x.dueDate != *y.dueDate)
                       return *x.dueDate < *y.dueDate;
                     if (x.sortOrder != y.sortOrder)
                       return x.sortOrder < y.sortOrder;
                     return l.order < r.order;
                   });

  struct Case {
    std::string what;
    CardQuery query;
    std::size_t limit;
  };
  std::vector<Case> cases;
  cases.push_back({"everything open", {}, 1000});
  cases.push_back({"first 50", {}, 50});
  {
    CardQuery q;
    q.planID = a.id;
    q.includeArchived = true;
    cases.push_back({"plan a with archived", q, 1000});
  }
  {
    CardQuery q;
    q.bucketIDs = std::vector<UUID>{buckets[1]->id, buckets[2]->id};
    q.minPercent = 50;
    q.maxPercent = 99;
    cases.push_back({"two buckets in progress", q, 20});
  }
  {
    CardQuery q;
    q.bucketIDs = std::vector<UUID>{};
    cases.push_back({"empty bucket set", q, 1000});
  }
  {
    CardQuery q;
    q.dueAtOrBefore = kNow + 3 * 86400;
    q.planID = b.id;
    cases.push_back({"due within three days", q, 1000});
  }
  {
    CardQuery q;
    q.textMatches = [](std::string_view title, std::string_view notes) {
      return !notes.empty() && title.back() == '7';
    };
    cases.push_back({"text", q, 1000});
  }
  cases.push_back({"limit 0", {}, 0});

  for (const auto &test : cases) {
    const CardQuery &q = test.query;
    std::vector<std::string> expected;
    int64_t expectedCount = 0;
    for (const auto &ref : reference) {
      const Card &c = ref.card;
      if (q.planID && c.plan != q.planID)
        continue;
      if (q.bucketIDs && std::find(q.bucketIDs->begin(), q.bucketIDs->end(),
                                   c.bucket.value_or("")) == q.bucketIDs->end())
        continue;
      if (!q.includeArchived && c.isArchived)
        continue;
      if (q.minPercent && c.percentComplete < *q.minPercent)
        continue;
      if (q.maxPercent && c.percentComplete > *q.maxPercent)
        continue;
      if (q.dueAtOrBefore && (!c.dueDate || *c.dueDate > *q.dueAtOrBefore))
        continue;
      if (q.textMatches && !q.textMatches(c.title, c.notes))
        continue;
      ++expectedCount;
      if (expected.size() < test.limit)
        expected.push_back(c.id);
    }
    std::vector<std::string> found;
    for (Card *card : ctx->queryCards(q, test.limit))
      found.push_back(card->id);
    EXPECT_EQ(found, expected) << test.what;
    EXPECT_EQ(ctx->countCards(q), expectedCount) << test.what;
  }
}

TEST_F(ModelContextTest, QueryCardsSeesUnsavedEditsAndPassesExceptionsOn) {
  auto ctx = context();
  Board b = makeBoard(*ctx);
  CardQuery query;
  query.planID = b.plan->id;
  EXPECT_EQ(ctx->countCards(query), 2);
  b.second->isArchived = true;
  EXPECT_EQ(ctx->queryCards(query, 10), std::vector<Card *>{b.first});
  query.textMatches = [](std::string_view, std::string_view) -> bool {
    throw std::runtime_error("kaputt");
  };
  EXPECT_THROW(ctx->queryCards(query, 10), std::runtime_error);
  query.textMatches = nullptr;
  EXPECT_EQ(ctx->countCards(query), 1) << "the context is still usable";
}

} // namespace
} // namespace taskory
