#include "support/Seed.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace taskory::test {

Seed::Seed(ModelContext &context, const Calendar &calendar, Date now)
    : context_(context), calendar_(calendar), now_(now) {}

double Seed::nextSortOrder() { return sortOrder_ += 1024.0; }

Date Seed::local(int64_t year, int month, int day, int hour, int minute) const {
  auto date = calendar_.date(year, month, day, hour, minute);
  if (!date)
    throw std::runtime_error("Seed::local: date cannot be formed");
  return *date;
}

Plan &Seed::plan(std::string title, UUID id) {
  Plan plan(std::move(title), nextSortOrder(), now_);
  if (!id.empty())
    plan.id = std::move(id);
  return context_.insert(std::move(plan));
}

Bucket &Seed::bucket(Plan &plan, std::string name,
                     std::optional<std::string> colorHex, UUID id) {
  Bucket bucket(std::move(name), nextSortOrder(), now_);
  if (!id.empty())
    bucket.id = std::move(id);
  bucket.colorHex = std::move(colorHex);
  bucket.plan = plan.id;
  return context_.insert(std::move(bucket));
}

Card &Seed::card(Bucket &bucket, std::string title, UUID id) {
  Card &card = this->card(nullptr, std::move(title), std::move(id));
  card.plan = bucket.plan;
  card.bucket = bucket.id;
  return card;
}

Card &Seed::card(Plan *plan, std::string title, UUID id) {
  Card card(std::move(title), nextSortOrder(), now_);
  if (!id.empty())
    card.id = std::move(id);
  if (plan)
    card.plan = plan->id;
  return context_.insert(std::move(card));
}

ChecklistItem &Seed::item(Card &card, std::string title, bool checked,
                          UUID id) {
  ChecklistItem item(std::move(title), nextSortOrder(), now_);
  if (!id.empty())
    item.id = std::move(id);
  item.isChecked = checked;
  item.card = card.id;
  return context_.insert(std::move(item));
}

CardAttachment &Seed::attachment(Card &card, std::string alias,
                                 std::optional<std::string> url,
                                 std::string kindRaw) {
  CardAttachment attachment(std::move(alias), nextSortOrder(), now_);
  attachment.urlString = std::move(url);
  attachment.kindRaw = std::move(kindRaw);
  attachment.card = card.id;
  return context_.insert(std::move(attachment));
}

PlanLabel &Seed::label(Plan &plan, int64_t slotIndex, std::string name) {
  PlanLabel label(slotIndex, std::move(name));
  label.plan = plan.id;
  return context_.insert(std::move(label));
}

Goal &Seed::goal(Plan &plan, std::string title) {
  Goal goal(std::move(title), nextSortOrder(), now_);
  goal.plan = plan.id;
  return context_.insert(std::move(goal));
}

void Seed::tag(Card &card, PlanLabel &label) { context_.addLabel(card, label); }
void Seed::tag(Card &card, Goal &goal) { context_.addGoal(card, goal); }

} // namespace taskory::test
