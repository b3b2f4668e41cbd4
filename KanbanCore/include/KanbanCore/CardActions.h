#pragma once

#include "KanbanCore/Card.h"
#include "KanbanCore/Types.h"

#include <string>
#include <string_view>

namespace taskory {

struct Bucket;
class Calendar;
struct ChecklistItem;
class ModelContext;
struct Plan;

// State changes of cards that must happen the same way in every front end.
// Every operation works on the given context and never saves.
namespace CardActions {

inline constexpr std::string_view didCompleteCard = "KanbanCore.didCompleteCard";

// Sets the percentage, modifiedAt and completedAt; on completion posts
// didCompleteCard and spawns the next occurrence of a recurring card, which
// it returns (else nullptr).
Card *setProgress(Card &card, CardProgress progress, ModelContext &context,
                  Date now, const Calendar &calendar);
// As above; a spawned next occurrence goes into `movedOutOf` (none: no bucket).
Card *setProgress(Card &card, CardProgress progress, const Bucket *movedOutOf,
                  ModelContext &context, Date now, const Calendar &calendar);
Card *spawnNextOccurrenceIfNeeded(Card &card, ModelContext &context, Date now,
                                  const Calendar &calendar);
void toggleCompletion(Card &card, ModelContext &context, Date now,
                      const Calendar &calendar);
// A card without colour in a coloured bucket takes the bucket's colour.
void inheritBucketColor(Card &card, ModelContext &context);
// A new plan with one "Zu erledigen" bucket at 1024 and the 25 palette labels.
Plan &createPlan(std::string title, ModelContext &context, double sortOrder,
                 Date now);
Card *promoteChecklistItem(ChecklistItem &item, ModelContext &context, Date now);

} // namespace CardActions
} // namespace taskory
