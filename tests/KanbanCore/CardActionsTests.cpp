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

TEST_F(CardActionsTest, NextOccurrenceCopiesFieldsUntickedChecklistAndLinks) {
  Card &card = makeCard(1741593600, RecurrenceRule(F::weekly, 1)); // Mon 09:00
  card.startDate = 1741334400;                                     // Fri 09:00
  card.plannedDate = kNow;
  card.notes = "Buntwäsche";
  card.colorHex = "#E3008C";
  card.previewTypeRaw = "checklist";
  seed.tag(card, seed.goal(plan, "Ordnung"));
  seed.tag(card, *context->sortedLabels(plan)[3]);
  seed.item(card, "Punkt", true).sortOrder = 9000;
  seed.item(card, "Punkt", true);
  for (const char *kind : {"link", "image", "bookmark"})
    seed.attachment(card, kind, "https://example.org", kind).fileData = "data";
  Card *next = complete(card);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->title + next->notes + next->previewTypeRaw,
            "WäscheBuntwäschechecklist");
  EXPECT_EQ(*next->dueDate - *next->startDate, 3 * kDay);
  EXPECT_EQ(next->dueDate, std::optional<Date>(1741593600 + 7 * kDay));
  EXPECT_FALSE(next->plannedDate || next->completedAt);
  EXPECT_EQ(next->colorHex.value_or("") + *next->bucket, "#E3008C" + bucket.id);
  EXPECT_EQ(context->goals(*next), context->goals(card));
  EXPECT_EQ(context->labels(*next), context->labels(card));
  std::string copied;
  for (ChecklistItem *item : context->sortedChecklist(*next))
    copied += std::to_string(item->sortOrder) + (item->isChecked ? "+ " : "- ");
  for (CardAttachment *a : context->sortedAttachments(*next))
    copied += a->alias + "=" + a->urlString.value_or("") +
              (a->fileData ? " data " : " ");
  EXPECT_EQ(copied, "3072.000000- 9000.000000- link=https://example.org "
                    "bookmark=https://example.org ");
  EXPECT_EQ(context->checkedItemCount(card), 2) << "the original keeps its";
}

TEST_F(CardActionsTest, SeriesBookkeepingMovesTheRule) {
  Card &first = makeCard(kNow - 10 * kDay, RecurrenceRule(F::daily, 1));
  Card *second = complete(first);
  ASSERT_NE(second, nullptr);
  // Counted from the due date, never from today.
  EXPECT_EQ(second->dueDate, std::optional<Date>(kNow - 9 * kDay));
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
