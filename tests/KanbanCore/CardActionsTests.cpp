#include "KanbanCore/CardActions.h"

#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/RecurrenceRule.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <optional>
#include <string_view>
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

TEST_F(CardActionsTest, CompletingStampsTheTimeWithANoticeEachTime) {
  int posted = 0;
  store.container->notificationCenter().addObserver(
      std::string(CardActions::didCompleteCard), [&] { ++posted; });
  Card &card = makeCard();
  // Completing again moves the time and repeats the notice.
  using State = std::tuple<int64_t, std::optional<Date>, int>;
  const std::tuple<CardProgress, Date, State> steps[] = {
      {CardProgress::inProgress, kNow, {50, std::nullopt, 0}},
      {CardProgress::completed, kNow, {100, kNow, 1}},
      {CardProgress::completed, kNow + 5, {100, kNow + 5, 2}},
      {CardProgress::notStarted, kNow + 9, {0, std::nullopt, 2}}};
  for (const auto &[progress, now, expected] : steps) {
    EXPECT_EQ(
        CardActions::setProgress(card, progress, *context, now, store.calendar),
        nullptr);
    EXPECT_EQ(State(card.percentComplete, card.completedAt, posted), expected)
        << "percent, completedAt, notices at now + " << now - kNow;
    EXPECT_EQ(card.modifiedAt, now);
  }
}

// Reopening a card follows its bucket's automatic progress when that is a
// state short of completion.
TEST_F(CardActionsTest, ToggleCompletionReopensToTheBucketsProgress) {
  const std::tuple<int64_t, int64_t, std::string_view, int64_t> cases[] = {
      // percent before, bucket's autoProgressRaw, what, percent after
      {0, -1, "open card", 100},
      {50, -1, "started card", 100},
      {100, -1, "no automatic progress", 0},
      {100, 50, "bucket in progress", 50},
      {100, 0, "bucket not started", 0},
      {100, 100, "bucket completes", 0}};
  for (const auto &[before, automatic, what, after] : cases) {
    bucket.autoProgressRaw = automatic;
    Card &card = makeCard();
    card.percentComplete = before;
    CardActions::toggleCompletion(card, *context, kNow, store.calendar);
    EXPECT_EQ(card.percentComplete, after) << what;
    EXPECT_EQ(card.completedAt.has_value(), after == 100) << what;
  }
}

TEST_F(CardActionsTest, PromotedChecklistItemBecomesACardBesideItsParent) {
  Card &parent = makeCard();
  ChecklistItem &item = seed.item(parent, "Bügeln");
  Card *promoted = CardActions::promoteChecklistItem(item, *context, kNow + 30);
  ASSERT_NE(promoted, nullptr);
  EXPECT_EQ(promoted->title, "Bügeln");
  EXPECT_EQ(promoted->sortOrder, parent.sortOrder + 0.5);
  EXPECT_EQ(promoted->plan, parent.plan);
  EXPECT_EQ(promoted->bucket, parent.bucket);
  EXPECT_TRUE(context->isDeleted(&item));
  EXPECT_TRUE(context->checklistItems(parent).empty());
  EXPECT_EQ(parent.modifiedAt, kNow + 30);
}

TEST_F(CardActionsTest, ChecklistItemWithoutCardIsNotPromoted) {
  ChecklistItem &orphan = context->insert(ChecklistItem("Lose", 0, kNow));
  EXPECT_EQ(CardActions::promoteChecklistItem(orphan, *context, kNow), nullptr);
  EXPECT_FALSE(context->isDeleted(&orphan));
}

// A recurring card completed by moving it out of a bucket leaves its
// successor in the bucket it came from.
TEST_F(CardActionsTest, SuccessorOfACardMovedOutOfABucketStaysThere) {
  Bucket &done = seed.bucket(plan, "Erledigt");
  Card &card = makeCard(1741593600, RecurrenceRule(F::weekly, 1));
  card.bucket = done.id;
  Card *next = CardActions::setProgress(card, CardProgress::completed, &bucket,
                                        *context, kNow, store.calendar);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->bucket, std::optional<UUID>(bucket.id));
  EXPECT_EQ(card.bucket, std::optional<UUID>(done.id));
}

// A weekly card due Monday 09:00 that starts the Friday before, completed.
class NextOccurrence : public CardActionsTest {
protected:
  Card &first = [this]() -> Card & {
    Card &card = makeCard(1741593600, RecurrenceRule(F::weekly, 1));
    card.startDate = 1741334400;
    card.plannedDate = kNow;
    card.notes = "Buntwäsche";
    seed.tag(card, seed.goal(plan, "Ordnung"));
    seed.item(card, "Punkt", true);
    seed.attachment(card, "Bild", "https://example.org", "image");
    seed.attachment(card, "Link", "https://example.org");
    return card;
  }();
  Card *second = nullptr;
  void SetUp() override {
    second = complete(first);
    ASSERT_NE(second, nullptr);
  }
};

// Counted from the due date, never from today.
TEST_F(NextOccurrence, IsDueOneStepAfterThePreviousDueDate) {
  EXPECT_EQ(second->dueDate, std::optional<Date>(1741593600 + 7 * kDay));
  EXPECT_EQ(*second->dueDate - *second->startDate, 3 * kDay)
      << "the span to the start stays";
}

TEST_F(NextOccurrence, StartsOpenWithoutAPlannedDate) {
  EXPECT_FALSE(second->plannedDate || second->completedAt);
}

TEST_F(NextOccurrence, CopiesTheContentButNotTicksOrImages) {
  EXPECT_EQ(second->notes + *second->bucket, "Buntwäsche" + bucket.id);
  EXPECT_EQ(context->goals(*second), context->goals(first));
  std::string copied;
  for (ChecklistItem *item : context->sortedChecklist(*second))
    copied += item->isChecked ? "+" : "-";
  for (CardAttachment *a : context->sortedAttachments(*second))
    copied += a->alias;
  EXPECT_EQ(copied, "-Link") << "unticked, without images";
}

TEST_F(NextOccurrence, TheCompletedCardMakesNoOther) {
  EXPECT_EQ(complete(first), nullptr) << "the rule has moved on";
}

TEST_F(NextOccurrence, LaterOnesCountOnInTheFirstCardsSeries) {
  Card *third =
      CardActions::setProgress(*second, CardProgress::completed, nullptr,
                               *context, kNow, store.calendar);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->recurrenceSeriesID, std::optional<UUID>(first.id));
  EXPECT_EQ(third->recurrenceOccurrence, 3);
  EXPECT_EQ(third->bucket, std::nullopt) << "back where the card came from";
}

// Overflowing dates or counters end the series; the card keeps its rule.
TEST_F(CardActionsTest, WithoutANextDateTheCardCompletesKeepingItsRule) {
  const Date monday = seed.local(2025, 3, 10, 9);
  const std::tuple<RecurrenceRule, std::optional<Date>, int64_t> cases[] = {
      {RecurrenceRule(F::daily, 1), std::nullopt, 1},
      {RecurrenceRule(F::daily, kMax), kNow, 1},
      {RecurrenceRule(F::daily, 1), 1e300, 1},
      {RecurrenceRule(F::daily, 1), kNow, kMax},
      // A weekday number far beyond Saturday steps millions of years on.
      {RecurrenceRule(F::weekly, 1, {3'000'000'000}), monday, 1},
      {RecurrenceRule(F::weekly, 1, {2'000'000'000}), monday, 1}};
  for (const auto &[rule, due, occurrence] : cases) {
    Card &card = makeCard(0, rule);
    card.dueDate = due;
    card.recurrenceOccurrence = occurrence;
    const auto stored = card.recurrenceRuleData;
    EXPECT_EQ(complete(card), nullptr) << rule.encode() << " " << occurrence;
    EXPECT_EQ(card.percentComplete, 100);
    EXPECT_EQ(card.recurrenceRuleData, stored)
        << rule.encode() << " " << occurrence;
  }
  EXPECT_EQ(context->fetchAll<Card>().size(), std::size(cases));
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
