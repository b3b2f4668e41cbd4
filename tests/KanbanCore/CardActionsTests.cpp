#include "KanbanCore/CardActions.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/RecurrenceRule.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace taskory {
namespace {

using F = RecurrenceRule::Frequency;
constexpr Date kNow = test::TestStore::kNow;
constexpr Date kDay = 86400;

class CardActionsTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  Plan &plan = CardActions::createPlan("Haushalt", *context, 1024, kNow - 60);
  Bucket &bucket = *context->buckets(plan).front();

  Card &makeCard(const std::string &title = "Wäsche") {
    Card card(title, 2048, kNow - 60);
    card.plan = plan.id;
    card.bucket = bucket.id;
    return context->insert(std::move(card));
  }

  Card *complete(Card &card) {
    return CardActions::setProgress(card, CardProgress::completed, *context,
                                    kNow, store.calendar);
  }

  // Every card other than `card`.
  std::vector<Card *> others(const Card &card) {
    std::vector<Card *> out;
    for (Card *c : context->fetchCards())
      if (c->id != card.id)
        out.push_back(c);
    return out;
  }
};

TEST_F(CardActionsTest, ProgressSetsPercentCompletionTimeAndNotification) {
  int posted = 0;
  store.container->notificationCenter().addObserver(
      std::string(CardActions::didCompleteCard), [&] { ++posted; });
  Card &card = makeCard();
  EXPECT_EQ(CardActions::setProgress(card, CardProgress::inProgress, *context,
                                     kNow, store.calendar),
            nullptr);
  EXPECT_EQ(card.percentComplete, 50);
  EXPECT_EQ(card.modifiedAt, kNow);
  EXPECT_EQ(card.completedAt, std::nullopt);
  EXPECT_EQ(posted, 0);

  EXPECT_EQ(complete(card), nullptr);
  EXPECT_EQ(card.percentComplete, 100);
  EXPECT_EQ(card.completedAt, std::optional<Date>(kNow));
  EXPECT_EQ(posted, 1);
  // Completing again moves the time and posts again.
  CardActions::setProgress(card, CardProgress::completed, *context, kNow + 5,
                           store.calendar);
  EXPECT_EQ(card.completedAt, std::optional<Date>(kNow + 5));
  EXPECT_EQ(posted, 2);

  CardActions::setProgress(card, CardProgress::notStarted, *context, kNow + 9,
                           store.calendar);
  EXPECT_EQ(card.percentComplete, 0);
  EXPECT_EQ(card.completedAt, std::nullopt);
  EXPECT_EQ(card.modifiedAt, kNow + 9);
}

TEST_F(CardActionsTest, RecurringCardWithoutDueDateKeepsItsRule) {
  Card &card = makeCard();
  card.setRecurrenceRule(RecurrenceRule(F::daily, 1));
  EXPECT_EQ(complete(card), nullptr);
  EXPECT_EQ(card.percentComplete, 100);
  EXPECT_TRUE(card.recurrenceRule());
  EXPECT_TRUE(others(card).empty());
}

TEST_F(CardActionsTest, NextOccurrenceCopiesFieldsChecklistAndLinksOnly) {
  Card &card = makeCard();
  card.notes = "Buntwäsche";
  card.dueDate = 1741593600;   // Monday 2025-03-10 09:00
  card.startDate = 1741334400; // Friday 2025-03-07 09:00
  card.plannedDate = 1741593600;
  card.isOnMyDay = true;
  card.priorityRaw = 3;
  card.colorHex = "#E3008C";
  card.previewTypeRaw = "checklist";
  card.setRecurrenceRule(RecurrenceRule(F::weekly, 1));
  Goal goal("Ordnung", 1024, kNow);
  goal.plan = plan.id;
  context->addGoal(card, context->insert(std::move(goal)));
  context->addLabel(card, *context->sortedLabels(plan)[3]);
  for (const char *title : {"sortieren", "waschen", "aufhängen"}) {
    ChecklistItem item(title, title[0] == 's' ? 1024 : 2048, kNow);
    item.card = card.id;
    item.isChecked = true;
    context->insert(std::move(item));
  }
  struct Attachment {
    const char *alias;
    const char *kind;
  };
  for (const Attachment &a :
       {Attachment{"Anleitung", "link"}, Attachment{"Foto", "image"},
        Attachment{"Etikett", "file"}, Attachment{"Alt", "bookmark"}}) {
    CardAttachment attachment(a.alias, 512, kNow);
    attachment.kindRaw = a.kind;
    attachment.urlString = std::string("https://example.org/") + a.alias;
    attachment.fileData = std::string("data");
    attachment.showOnCard = true;
    attachment.card = card.id;
    context->insert(std::move(attachment));
  }

  Card *next = complete(card);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->title, "Wäsche");
  EXPECT_EQ(next->sortOrder, 2049);
  EXPECT_EQ(next->notes, "Buntwäsche");
  EXPECT_EQ(next->dueDate, std::optional<Date>(1741593600 + 7 * kDay));
  EXPECT_EQ(next->startDate, std::optional<Date>(1741334400 + 7 * kDay));
  EXPECT_EQ(next->plannedDate, std::nullopt);
  EXPECT_FALSE(next->isOnMyDay);
  EXPECT_EQ(next->priorityRaw, 3);
  EXPECT_EQ(next->colorHex, card.colorHex);
  EXPECT_EQ(next->previewTypeRaw, "checklist");
  EXPECT_EQ(next->plan, card.plan);
  EXPECT_EQ(next->bucket, card.bucket);
  EXPECT_EQ(next->percentComplete, 0);
  EXPECT_EQ(next->completedAt, std::nullopt);
  EXPECT_EQ(next->createdAt, kNow);
  EXPECT_EQ(context->goals(*next).size(), 1u);
  EXPECT_EQ(context->labels(*next), context->labels(card));

  std::vector<std::string> checklist;
  for (ChecklistItem *item : context->sortedChecklist(*next))
    checklist.push_back(item->title + "@" + std::to_string(item->sortOrder) +
                        (item->isChecked ? "+" : "-"));
  EXPECT_EQ(checklist, (std::vector<std::string>{"sortieren@1024.000000-",
                                                 "waschen@2048.000000-",
                                                 "aufhängen@2048.000000-"}));
  std::vector<std::string> attachments;
  for (CardAttachment *a : context->sortedAttachments(*next)) {
    attachments.push_back(a->alias + " " + a->kindRaw + " " +
                          a->urlString.value_or("-"));
    EXPECT_EQ(a->fileData, std::nullopt);
    EXPECT_FALSE(a->showOnCard);
    EXPECT_EQ(a->sortOrder, 512);
  }
  EXPECT_EQ(attachments, (std::vector<std::string>{
                             "Anleitung link https://example.org/Anleitung",
                             "Alt bookmark https://example.org/Alt"}));
  // The old card keeps its ticks and attachments.
  EXPECT_EQ(context->checkedItemCount(card), 3);
  EXPECT_EQ(context->attachments(card).size(), 4u);
}

TEST_F(CardActionsTest, SeriesBookkeepingMovesTheRule) {
  Card &first = makeCard();
  first.dueDate = kNow - 10 * kDay; // ten days overdue
  first.setRecurrenceRule(RecurrenceRule(F::daily, 1));
  Card *second = complete(first);
  ASSERT_NE(second, nullptr);
  // Counted from the due date, not from today.
  EXPECT_EQ(second->dueDate, std::optional<Date>(kNow - 9 * kDay));
  EXPECT_EQ(first.recurrenceSeriesID, std::optional<UUID>(first.id));
  EXPECT_EQ(second->recurrenceSeriesID, std::optional<UUID>(first.id));
  EXPECT_EQ(first.recurrenceOccurrence, 1);
  EXPECT_EQ(second->recurrenceOccurrence, 2);
  EXPECT_EQ(first.recurrenceRuleData, std::nullopt);
  EXPECT_EQ(second->recurrenceRule(),
            std::optional<RecurrenceRule>(RecurrenceRule(F::daily, 1)));

  // Completing the old card again creates nothing: the rule has moved on.
  EXPECT_EQ(complete(first), nullptr);
  // Setting it back to in progress leaves the successor alone.
  CardActions::setProgress(first, CardProgress::inProgress, *context, kNow,
                           store.calendar);
  EXPECT_EQ(others(first).size(), 1u);

  Card *third = complete(*second);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->recurrenceSeriesID, std::optional<UUID>(first.id));
  EXPECT_EQ(third->recurrenceOccurrence, 3);
}

TEST_F(CardActionsTest, NoNextDateMeansNoSuccessorAndNoLoss) {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const int64_t kMin = std::numeric_limits<int64_t>::min();
  struct Case {
    const char *name;
    RecurrenceRule rule;
    Date due;
  };
  const Case cases[] = {
      {"huge daily interval", RecurrenceRule(F::daily, kMax), kNow},
      {"huge weekly interval", RecurrenceRule(F::weekly, kMax), kNow},
      {"huge monthly interval", RecurrenceRule(F::monthly, kMax), kNow},
      {"huge yearly interval", RecurrenceRule(F::yearly, kMax), kNow},
      {"weekday far below 1", RecurrenceRule(F::weekly, 1, {kMin}), kNow},
      {"weekday far above 7", RecurrenceRule(F::weekly, 2, {kMax}), kNow},
      {"due at the end of time", RecurrenceRule(F::daily, 1), 1e300},
      {"due before the start of time", RecurrenceRule(F::yearly, 1), -1e300},
  };
  for (const Case &c : cases) {
    Card &card = makeCard(c.name);
    card.dueDate = c.due;
    card.setRecurrenceRule(c.rule);
    const Card before = card;
    Card *next = complete(card);
    EXPECT_EQ(card.percentComplete, 100) << c.name;
    if (next) {
      // Whatever the engine decided, the rule lives on exactly once.
      EXPECT_EQ(card.recurrenceRuleData, std::nullopt) << c.name;
      EXPECT_EQ(next->recurrenceRule(), std::optional<RecurrenceRule>(c.rule))
          << c.name;
      context->remove(*next);
    } else {
      EXPECT_EQ(card.recurrenceRuleData, before.recurrenceRuleData) << c.name;
      EXPECT_EQ(card.recurrenceSeriesID, before.recurrenceSeriesID) << c.name;
    }
  }
}

TEST_F(CardActionsTest, OccurrenceCounterAtItsMaximumEndsTheSeries) {
  Card &card = makeCard();
  card.dueDate = kNow;
  card.recurrenceOccurrence = std::numeric_limits<int64_t>::max();
  card.recurrenceSeriesID = "00000000-0000-4000-8000-000000000001";
  card.setRecurrenceRule(RecurrenceRule(F::daily, 1));
  EXPECT_EQ(complete(card), nullptr);
  EXPECT_EQ(card.percentComplete, 100);
  EXPECT_TRUE(card.recurrenceRule());
  EXPECT_EQ(card.recurrenceOccurrence, std::numeric_limits<int64_t>::max());
  EXPECT_TRUE(others(card).empty());
}

TEST_F(CardActionsTest, CompletingAfterAMoveSendsTheSuccessorBack) {
  Bucket done("Erledigt", 2048, kNow);
  done.plan = plan.id;
  Bucket &doneBucket = context->insert(std::move(done));
  Card &card = makeCard();
  card.dueDate = kNow;
  card.setRecurrenceRule(RecurrenceRule(F::daily, 1));
  card.bucket = doneBucket.id;
  Card *next = CardActions::setProgress(card, CardProgress::completed, &bucket,
                                        *context, kNow, store.calendar);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->bucket, std::optional<UUID>(bucket.id));

  Card *after = CardActions::setProgress(
      *next, CardProgress::completed, nullptr, *context, kNow, store.calendar);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->bucket, std::nullopt);
}

TEST_F(CardActionsTest, ToggleCompletionUsesTheBucketsAutomaticProgress) {
  struct Case {
    int64_t autoProgressRaw;
    int64_t expected;
  };
  for (const Case &c : {Case{-1, 0}, Case{0, 0}, Case{50, 50}, Case{75, 50},
                        Case{100, 0}, Case{150, 0}}) {
    bucket.autoProgressRaw = c.autoProgressRaw;
    Card &card = makeCard();
    CardActions::toggleCompletion(card, *context, kNow, store.calendar);
    EXPECT_EQ(card.percentComplete, 100) << c.autoProgressRaw;
    CardActions::toggleCompletion(card, *context, kNow, store.calendar);
    EXPECT_EQ(card.percentComplete, c.expected) << c.autoProgressRaw;
  }
  Card loose("ohne Bucket", 1, kNow);
  loose.percentComplete = 120;
  Card &card = context->insert(std::move(loose));
  CardActions::toggleCompletion(card, *context, kNow, store.calendar);
  EXPECT_EQ(card.percentComplete, 0);
}

TEST_F(CardActionsTest, InheritBucketColorOnlyFillsAMissingColour) {
  struct Case {
    std::optional<std::string> card;
    std::optional<std::string> bucket;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {std::nullopt, "#0078D4", "#0078D4"},
      {"#E3008C", "#0078D4", "#E3008C"},
      {"", "#0078D4", ""}, // an empty colour is a colour
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case &c : cases) {
    bucket.colorHex = c.bucket;
    Card &card = makeCard();
    card.colorHex = c.card;
    card.modifiedAt = 5;
    CardActions::inheritBucketColor(card, *context);
    EXPECT_EQ(card.colorHex, c.expected) << c.card.value_or("none");
    EXPECT_EQ(card.modifiedAt, 5);
  }
  Card loose("ohne Bucket", 1, kNow);
  Card &card = context->insert(std::move(loose));
  CardActions::inheritBucketColor(card, *context);
  EXPECT_EQ(card.colorHex, std::nullopt);
}

TEST_F(CardActionsTest, CreatePlanMakesOneBucketAndTheTwentyFiveLabels) {
  Plan &fresh = CardActions::createPlan("Reise", *context, 3072.5, kNow);
  EXPECT_EQ(fresh.title, "Reise");
  EXPECT_EQ(fresh.sortOrder, 3072.5);
  EXPECT_EQ(fresh.createdAt, kNow);
  auto buckets = context->buckets(fresh);
  ASSERT_EQ(buckets.size(), 1u);
  EXPECT_EQ(buckets[0]->name, "Zu erledigen");
  EXPECT_EQ(buckets[0]->sortOrder, 1024);
  auto labels = context->labels(fresh);
  ASSERT_EQ(labels.size(), 25u);
  for (std::size_t i = 0; i < labels.size(); ++i)
    EXPECT_EQ(labels[i]->slotIndex, static_cast<int64_t>(i));
  EXPECT_EQ(labels[0]->name, "Pink");
  EXPECT_EQ(labels[3]->name, "Grün");
  EXPECT_EQ(labels[24]->name, "Dunkelgrau");
  EXPECT_TRUE(context->goals(fresh).empty());
  EXPECT_TRUE(context->cards(fresh).empty());
}

TEST_F(CardActionsTest, PromoteChecklistItemTurnsItIntoACard) {
  Card &parent = makeCard();
  ChecklistItem item("Bügeln", 1024, kNow);
  item.card = parent.id;
  ChecklistItem &stored = context->insert(std::move(item));
  Card *promoted =
      CardActions::promoteChecklistItem(stored, *context, kNow + 1);
  ASSERT_NE(promoted, nullptr);
  EXPECT_EQ(promoted->title, "Bügeln");
  EXPECT_EQ(promoted->sortOrder, 2048.5);
  EXPECT_EQ(promoted->plan, parent.plan);
  EXPECT_EQ(promoted->bucket, parent.bucket);
  EXPECT_TRUE(context->checklistItems(parent).empty());
  EXPECT_EQ(parent.modifiedAt, kNow + 1);

  ChecklistItem orphan("allein", 1, kNow);
  EXPECT_EQ(CardActions::promoteChecklistItem(
                context->insert(std::move(orphan)), *context, kNow),
            nullptr);
}

TEST_F(CardActionsTest, SpawnedCardsSurviveASave) {
  Card &card = makeCard();
  card.dueDate = 1743264000; // 2025-03-29 17:00 CET, the day before DST
  card.setRecurrenceRule(RecurrenceRule(F::daily, 1));
  const UUID firstID = card.id;
  const UUID nextID = complete(card)->id;
  context->save(kNow);
  context.reset();

  auto fresh = store.context();
  Card *first = fresh->card(firstID);
  Card *next = fresh->card(nextID);
  ASSERT_TRUE(first && next);
  EXPECT_EQ(first->recurrenceRuleData, std::nullopt);
  EXPECT_EQ(next->dueDate, std::optional<Date>(1743346800)); // 17:00 CEST
  EXPECT_EQ(next->recurrenceSeriesID, std::optional<UUID>(firstID));
  EXPECT_EQ(next->recurrenceOccurrence, 2);
}

} // namespace
} // namespace taskory
