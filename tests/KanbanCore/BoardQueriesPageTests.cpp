#include "KanbanCore/BoardQueries.h"

#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

constexpr Date kNow = test::TestStore::kNow;

// Items, checked items, labels, goals, plan and bucket ("-" for no link):
// what the renderings of one card read beyond its own fields.
using Names = std::vector<std::string>;
using Shown =
    std::tuple<int64_t, int64_t, Names, Names, std::string, std::string>;

std::string planTitle(ModelContext &context, const Card &card) {
  const Plan *plan = context.planOf(card);
  return plan ? plan->title : "-";
}

std::string bucketName(ModelContext &context, const Card &card) {
  const Bucket *bucket = context.bucketOf(card);
  return bucket ? bucket->name : "-";
}

// The reference: each card's own relationships, one card at a time.
Shown perCard(ModelContext &context, const Card &card) {
  Names labels, goals;
  for (const PlanLabel *label : context.sortedLabels(card))
    labels.push_back(label->name);
  for (const Goal *goal : context.goals(card))
    goals.push_back(goal->title);
  return {context.checklistItemCount(card),
          context.checkedItemCount(card),
          labels,
          goals,
          planTitle(context, card),
          bucketName(context, card)};
}

// More cards than one set query takes, linked in random orders, with values
// of odd types, ids that are not text and links in lower case or to nothing.
using BoardQueriesPage = test::SeededTest;

TEST_F(BoardQueriesPage, FactsOfAPageEqualEachCardsRelationships) {
  test::Seed &seed = *this->seed;
  Plan &a = seed.plan("A"), &b = seed.plan("B");
  std::vector<Bucket *> buckets{&seed.bucket(a, "1"), &seed.bucket(a, "2"),
                                &seed.bucket(b, "3")};
  std::vector<PlanLabel *> labels{
      &seed.label(a, 3, "drei"),      &seed.label(a, 1, "eins"),
      &seed.label(a, 1, "auch eins"), &seed.label(a, 0, "null"),
      &seed.label(b, 2, "zwei"),      &seed.label(b, 4, "vier")};
  std::vector<Goal *> goals{&seed.goal(a, "Ziel A1"), &seed.goal(a, "Ziel A2"),
                            &seed.goal(b, "Ziel B")};
  std::mt19937 random(5);
  for (int i = 0; i < 150; ++i) {
    const std::string title = "Karte " + std::to_string(i);
    Card &card = i % 10 == 0   ? seed.card(nullptr, title)
                 : i % 10 == 1 ? seed.card(&b, title)
                               : seed.card(*buckets[random() % 3], title);
    for (int n = static_cast<int>(random() % 4); n > 0; --n)
      seed.item(card, "Schritt", random() % 2 == 0);
    std::shuffle(labels.begin(), labels.end(), random);
    for (std::size_t n = random() % 4; n > 0; --n)
      seed.tag(card, *labels[n]);
    std::shuffle(goals.begin(), goals.end(), random);
    for (std::size_t n = random() % 3; n > 0; --n)
      seed.tag(card, *goals[n]);
  }
  context->save(kNow);
  this->seed.reset();
  context.reset();
  store.raw().exec(
      "PRAGMA foreign_keys = OFF;"
      "UPDATE ChecklistItem SET isChecked = 'ja' WHERE rowid % 5 = 0;"
      "UPDATE ChecklistItem SET isChecked = 0.5 WHERE rowid % 7 = 0;"
      "UPDATE ChecklistItem SET id = CAST(id AS BLOB) "
      "WHERE rowid % 11 = 0;"
      "UPDATE PlanLabel SET slotIndex = 'x' WHERE name = 'drei';"
      "UPDATE PlanLabel SET slotIndex = 4.9 WHERE name = 'null';"
      "UPDATE CardLabel SET label = CAST(label AS BLOB) WHERE label = "
      "(SELECT id FROM PlanLabel WHERE name = 'vier');"
      "UPDATE PlanLabel SET id = CAST(id AS BLOB) WHERE name = 'vier';"
      "UPDATE Card SET plan = lower(plan) WHERE rowid % 13 = 0;"
      "UPDATE Card SET bucket = 'FEHLT' WHERE rowid % 17 = 0;"
      "UPDATE Card SET plan = CAST(plan AS BLOB) WHERE plan = "
      "(SELECT id FROM Plan WHERE title = 'B');"
      "UPDATE Plan SET id = CAST(id AS BLOB) WHERE title = 'B';"
      "PRAGMA foreign_keys = ON;");

  std::unordered_map<std::string, Shown> expected;
  reopen();
  for (const Card *card : context->fetchAll<Card>())
    expected[card->id] = perCard(*context, *card);
  reopen();
  ModelContext *ctx = context.get();
  const std::vector<Card *> cards = ctx->fetchAll<Card>();
  const auto facts = BoardQueries(*ctx).pageFacts(
      std::vector<const Card *>(cards.begin(), cards.end()));
  ASSERT_EQ(facts.size(), cards.size());
  for (const Card *card : cards) {
    const BoardQueries::CardPageFacts &f = facts.at(card->id);
    // The facts name a plan or bucket exactly when the link text is its id;
    // the renderings look other spellings up one by one.
    const Shown shown{f.checklistItems,
                      f.checkedItems,
                      f.labelNames,
                      f.goalTitles,
                      f.planTitle.value_or(planTitle(*ctx, *card)),
                      f.bucketName.value_or(bucketName(*ctx, *card))};
    EXPECT_EQ(shown, expected[card->id]) << card->title;
    const Plan *plan = ctx->planOf(*card);
    EXPECT_EQ(f.planTitle.has_value(), plan && plan->id == *card->plan)
        << card->title;
  }
}

} // namespace
} // namespace taskory
