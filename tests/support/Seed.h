#pragma once

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"

#include <cstdint>
#include <optional>
#include <string>

// Builders with fixed dates, so that renderings compare with literal texts;
// each returns the context's own copy for tests to change further.
namespace taskory::test {

class Seed {
public:
  // Entities are stamped with `now` (created and modified); sort orders
  // count up in steps of 1024 in the order of the calls.
  Seed(ModelContext &context, const Calendar &calendar, Date now);

  // A local date in the seed's calendar; fails the test (throws) when the date
  // cannot be formed.
  Date local(int64_t year, int month, int day, int hour = 0,
             int minute = 0) const;

  // `id` empty: a fresh random UUID. Otherwise stored exactly as given (so
  // a test can store lower-case ids as another program might).
  Plan &plan(std::string title, UUID id = {});
  Bucket &bucket(Plan &plan, std::string name,
                 std::optional<std::string> colorHex = std::nullopt,
                 UUID id = {});
  // A card in `bucket` and the bucket's plan.
  Card &card(Bucket &bucket, std::string title, UUID id = {});
  // A card in a plan without bucket, or (plan null) in neither.
  Card &card(Plan *plan, std::string title, UUID id = {});
  ChecklistItem &item(Card &card, std::string title, bool checked = false,
                      UUID id = {});
  CardAttachment &attachment(Card &card, std::string alias,
                             std::optional<std::string> url,
                             std::string kindRaw = "link");
  PlanLabel &label(Plan &plan, int64_t slotIndex, std::string name);
  Goal &goal(Plan &plan, std::string title);

  // Links a card with a label or goal.
  void tag(Card &card, PlanLabel &label);
  void tag(Card &card, Goal &goal);

private:
  double nextSortOrder();

  ModelContext &context_;
  const Calendar &calendar_;
  Date now_;
  double sortOrder_ = 0;
};

} // namespace taskory::test
