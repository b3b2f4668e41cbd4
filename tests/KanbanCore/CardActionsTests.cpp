#include "KanbanCore/CardActions.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/RecurrenceRule.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <tuple>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;
constexpr Date kNow = test::TestStore::kNow;
constexpr Date kDay = 86400;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

class CardActionsTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  Plan &plan = CardActions::createPlan("Haushalt", *context, 1024, kNow - 60);
  Bucket &bucket = *context->buckets(plan).front();
  test::Seed seed{*context, store.calendar, kNow};

  Card &makeCard(Date due = kNow, std::optional<RecurrenceRule> rule = {}) {
    Card card("Wäsche", 2048, kNow - 60);
    card.plan = plan.id;
    card.bucket = bucket.id;
    card.dueDate = due;
    card.setRecurrenceRule(rule);
    return context->insert(std::move(card));
  }
  Card *complete(Card &card, Date now = kNow) {
    return CardActions::setProgress(card, CardProgress::completed, *context,
                                    now, store.calendar);
  }
};

TEST_F(CardActionsTest, ProgressCompletionTimeAndNotification) {
  int posted = 0;
  store.container->notificationCenter().addObserver(
      std::string(CardActions::didCompleteCard), [&] { ++posted; });
  Card &card = makeCard();
  auto set = [&](CardProgress progress, Date now) {
    EXPECT_EQ(
        CardActions::setProgress(card, progress, *context, now, store.calendar),
        nullptr);
    return std::to_string(card.percentComplete) + " " +
           (card.completedAt ? std::to_string(*card.completedAt - now) : "-") +
           " " + std::to_string(posted);
  };
  EXPECT_EQ(set(CardProgress::inProgress, kNow), "50 - 0");
  EXPECT_EQ(card.modifiedAt, kNow);
  set(CardProgress::completed, kNow); // again: the time moves, notice repeats
  EXPECT_EQ(set(CardProgress::completed, kNow + 5), "100 0.000000 2");
  EXPECT_EQ(set(CardProgress::notStarted, kNow + 9), "0 - 2");
}

// Counted from the due date, never from today; the span to the start stays.
TEST_F(CardActionsTest, NextOccurrenceCopiesTheCardAndMovesTheRule) {
  Card &first = makeCard(1741593600, RecurrenceRule(F::weekly, 1)); // Mon 09:00
  first.startDate = 1741334400;                                     // Fri 09:00
  first.plannedDate = kNow;
  first.notes = "Buntwäsche";
  seed.tag(first, seed.goal(plan, "Ordnung"));
  seed.item(first, "Punkt", true);
  seed.attachment(first, "Bild", "https://example.org", "image");
  seed.attachment(first, "Link", "https://example.org");
  Card *second = complete(first);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->dueDate, std::optional<Date>(1741593600 + 7 * kDay));
  EXPECT_EQ(*second->dueDate - *second->startDate, 3 * kDay);
  EXPECT_FALSE(second->plannedDate || second->completedAt);
  EXPECT_EQ(second->notes + *second->bucket, "Buntwäsche" + bucket.id);
  EXPECT_EQ(context->goals(*second), context->goals(first));
  std::string copied;
  for (ChecklistItem *item : context->sortedChecklist(*second))
    copied += item->isChecked ? "+" : "-";
  for (CardAttachment *a : context->sortedAttachments(*second))
    copied += a->alias;
  EXPECT_EQ(copied, "-Link") << "unticked, without images";
  EXPECT_EQ(complete(first), nullptr) << "the rule has moved on";
  Card *third =
      CardActions::setProgress(*second, CardProgress::completed, nullptr,
                               *context, kNow, store.calendar);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->recurrenceSeriesID, std::optional<UUID>(first.id));
  EXPECT_EQ(third->recurrenceOccurrence, 3);
  EXPECT_EQ(third->bucket, std::nullopt) << "back where the card came from";
}

// Overflowing dates or counters end the series; the card keeps its rule.
TEST_F(CardActionsTest, NoNextDateMeansNoSuccessorAndNothingLost) {
  const std::tuple<int64_t, std::optional<Date>, int64_t> cases[] = {
      {1, std::nullopt, 1}, {kMax, kNow, 1}, {1, 1e300, 1}, {1, kNow, kMax}};
  for (const auto &[interval, due, occurrence] : cases) {
    Card &card = makeCard(0, RecurrenceRule(F::daily, interval));
    card.dueDate = due;
    card.recurrenceOccurrence = occurrence;
    const auto rule = card.recurrenceRuleData;
    EXPECT_EQ(complete(card), nullptr) << interval << " " << occurrence;
    EXPECT_EQ(card.percentComplete, 100);
    EXPECT_EQ(card.recurrenceRuleData, rule) << interval << " " << occurrence;
  }
  EXPECT_EQ(context->fetchCards().size(), std::size(cases));
}

TEST_F(CardActionsTest, ACardWithoutColourTakesItsBuckets) {
  bucket.colorHex = "#0078D4";
  using Colour = std::optional<std::string>;
  const std::pair<Colour, Colour> colours[] = {
      {std::nullopt, "#0078D4"}, {"#E3008C", "#E3008C"}, {"", ""}};
  for (const auto &[own, expected] : colours) { // an empty colour is a colour
    Card &card = makeCard();
    card.colorHex = own;
    card.modifiedAt = 5;
    CardActions::inheritBucketColor(card, *context);
    EXPECT_EQ(card.colorHex, expected) << own.value_or("none");
    EXPECT_EQ(card.modifiedAt, 5);
  }
}

} // namespace
} // namespace taskory
