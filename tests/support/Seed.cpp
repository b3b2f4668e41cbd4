#include "support/Seed.h"

#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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
  Card card(std::move(title), nextSortOrder(), now_);
  if (!id.empty())
    card.id = std::move(id);
  card.plan = bucket.plan;
  card.bucket = bucket.id;
  return context_.insert(std::move(card));
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

SqlStore::SqlStore() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "taskory-seed-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data()))
    throw std::runtime_error("SqlStore: cannot create a temporary directory");
  directory_ = buffer.data();
  file_ = directory_ / "Taskory.store";
  // Let the store lay down its schema, then close it again.
  KanbanStore::makeContainer(file_).reset();
}

SqlStore::~SqlStore() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

void SqlStore::exec(std::string_view sql) const {
  sqlite3 *db = nullptr;
  if (sqlite3_open(file_.c_str(), &db) != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("SqlStore: " + message);
  }
  sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  char *error = nullptr;
  const std::string text(sql);
  if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    sqlite3_close(db);
    throw std::runtime_error("SqlStore: " + message);
  }
  sqlite3_close(db);
}

std::unique_ptr<ModelContainer> SqlStore::open() const {
  return KanbanStore::makeContainer(file_);
}

} // namespace taskory::test
