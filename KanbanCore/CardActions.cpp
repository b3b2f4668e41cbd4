#include "KanbanCore/CardActions.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/ModelContainer.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/RecurrenceEngine.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace taskory::CardActions {

Card *setProgress(Card &card, CardProgress progress, ModelContext &context,
                  Date now, const Calendar &calendar) {
  card.setProgress(progress);
  card.modifiedAt = now;
  if (progress != CardProgress::completed) {
    card.completedAt.reset();
    return nullptr;
  }
  card.completedAt = now;
  context.container().notificationCenter().post(didCompleteCard);
  return spawnNextOccurrenceIfNeeded(card, context, now, calendar);
}

Card *setProgress(Card &card, CardProgress progress, const Bucket *movedOutOf,
                  ModelContext &context, Date now, const Calendar &calendar) {
  Card *next = setProgress(card, progress, context, now, calendar);
  if (next) {
    if (movedOutOf)
      next->bucket = movedOutOf->id;
    else
      next->bucket.reset();
  }
  return next;
}

Card *spawnNextOccurrenceIfNeeded(Card &card, ModelContext &context, Date now,
                                  const Calendar &calendar) {
  const std::optional<RecurrenceRule> rule = card.recurrenceRule();
  if (!rule)
    return nullptr;
  if (!card.dueDate)
    return nullptr;
  const std::optional<Date> nextDue =
      RecurrenceEngine::nextDueDate(*card.dueDate, *rule, calendar);
  if (!nextDue)
    return nullptr;
  // The successor's number cannot be raised past the counter's range. A
  // second card with the same number would make the series ambiguous, so the
  // series ends here instead, exactly as when the engine finds no next date:
  // the card keeps its rule and nothing is lost.
  if (card.recurrenceOccurrence == std::numeric_limits<int64_t>::max())
    return nullptr;

  Card fresh(card.title, card.sortOrder + 1.0, now);
  fresh.notes = card.notes;
  fresh.dueDate = *nextDue;
  if (card.startDate) {
    // Keeps the distance between start and due date. A start date that other
    // programs stored so far out that the sum is no number is left out
    // rather than written as garbage.
    const Date start = *nextDue + (*card.startDate - *card.dueDate);
    if (std::isfinite(start))
      fresh.startDate = start;
  }
  fresh.priorityRaw = card.priorityRaw;
  fresh.colorHex = card.colorHex;
  fresh.previewTypeRaw = card.previewTypeRaw;
  fresh.plan = card.plan;
  fresh.bucket = card.bucket;

  const UUID seriesID = card.recurrenceSeriesID.value_or(card.id);
  fresh.recurrenceSeriesID = seriesID;
  fresh.recurrenceOccurrence = card.recurrenceOccurrence + 1;
  fresh.setRecurrenceRule(*rule);

  // Links are read before the insert so that the new card cannot show up in
  // them, whatever order the store yields.
  const std::vector<PlanLabel *> labels = context.labels(card);
  const std::vector<Goal *> goals = context.goals(card);
  const std::vector<ChecklistItem *> checklist = context.sortedChecklist(card);
  const std::vector<CardAttachment *> attachments =
      context.sortedAttachments(card);

  Card &next = context.insert(std::move(fresh));
  for (PlanLabel *label : labels)
    context.addLabel(next, *label);
  for (Goal *goal : goals)
    context.addGoal(next, *goal);

  for (const ChecklistItem *item : checklist) {
    ChecklistItem copy(item->title, item->sortOrder, now);
    copy.card = next.id;
    context.insert(std::move(copy));
  }
  // File and image data stay with the old card only; links are cheap to copy
  // and still meaningful for the next occurrence.
  for (const CardAttachment *attachment : attachments) {
    if (attachment->kind() != AttachmentKind::link)
      continue;
    CardAttachment copy(attachment->alias, attachment->sortOrder, now);
    copy.urlString = attachment->urlString;
    copy.kindRaw = attachment->kindRaw;
    copy.card = next.id;
    context.insert(std::move(copy));
  }

  card.recurrenceSeriesID = seriesID;
  card.recurrenceRuleData.reset();
  return &next;
}

void toggleCompletion(Card &card, ModelContext &context, Date now,
                      const Calendar &calendar) {
  CardProgress progress = CardProgress::completed;
  if (card.progress() == CardProgress::completed) {
    progress = CardProgress::notStarted;
    if (const Bucket *bucket = context.bucketOf(card)) {
      const std::optional<CardProgress> automatic = bucket->autoProgress();
      if (automatic == CardProgress::notStarted ||
          automatic == CardProgress::inProgress)
        progress = *automatic;
    }
  }
  setProgress(card, progress, context, now, calendar);
}

void inheritBucketColor(Card &card, ModelContext &context) {
  if (card.colorHex)
    return;
  const Bucket *bucket = context.bucketOf(card);
  if (!bucket || !bucket->colorHex)
    return;
  card.colorHex = bucket->colorHex;
}

Plan &createPlan(std::string title, ModelContext &context, double sortOrder,
                 Date now) {
  Plan &plan = context.insert(Plan(std::move(title), sortOrder, now));
  Bucket bucket("Zu erledigen", 1024.0, now);
  bucket.plan = plan.id;
  context.insert(std::move(bucket));
  int64_t slot = 0;
  for (const LabelColorSpec &spec : PlannerPalette::labelColors) {
    PlanLabel label(slot++, std::string(spec.defaultName));
    label.plan = plan.id;
    context.insert(std::move(label));
  }
  return plan;
}

Card *promoteChecklistItem(ChecklistItem &item, ModelContext &context,
                           Date now) {
  Card *parent = context.cardOf(item);
  if (!parent)
    return nullptr;
  Card fresh(item.title, parent->sortOrder + 0.5, now);
  fresh.plan = parent->plan;
  fresh.bucket = parent->bucket;
  Card &card = context.insert(std::move(fresh));
  context.remove(item);
  parent->modifiedAt = now;
  return &card;
}

} // namespace taskory::CardActions
