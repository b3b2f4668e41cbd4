#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;

constexpr Date kWednesday = test::TestStore::kNow;

class PlanWeekTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();

  Date local(int month, int day, int hour, int minute = 0) const {
    return store.calendar.date(2025, month, day, hour, minute).value();
  }
  Plan &plan(std::string title, double sortOrder, bool claude = false) {
    Plan p(std::move(title), sortOrder, kWednesday);
    p.isClaudeProject = claude;
    return context->insert(std::move(p));
  }
  Bucket &bucket(Plan &owner, std::string name, double sortOrder) {
    Bucket b(std::move(name), sortOrder, kWednesday);
    b.plan = owner.id;
    return context->insert(std::move(b));
  }
  Card &card(std::string title, Priority priority, Plan *inPlan = nullptr,
             Bucket *inBucket = nullptr) {
    Card c(std::move(title), 1024, kWednesday);
    c.setPriority(priority);
    if (inPlan)
      c.plan = inPlan->id;
    if (inBucket)
      c.bucket = inBucket->id;
    return context->insert(std::move(c));
  }
  std::string planWeek(const json &args, Date now = kWednesday) {
    KanbanTools tools(*context, now, store.calendar);
    return std::get<std::string>(tools.planWeek(args));
  }
  void freshStore() {
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    context = store.context();
  }
  static std::string shortID(const Card &c) { return c.id.substr(0, 8); }
};

TEST_F(PlanWeekTest, NothingToPlan) {
  plan("Haus", 1024);
  EXPECT_EQ(planWeek(json::object()),
            "0 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt");
}

TEST_F(PlanWeekTest, ListsThePlanGroupedByDay) {
  Plan &haus = plan("Haus", 1024);
  Bucket &todo = bucket(haus, "Zu erledigen", 1024);
  Plan &assistant = plan("Assistent", 2048, true);
  bucket(assistant, "Eingang", 1024);
  bucket(assistant, "Ideen", 2048);

  Card &windows = card("Fenster putzen", Priority::urgent, &haus, &todo);
  windows.dueDate = local(3, 13, 17);
  Card &cellar = card("Keller", Priority::urgent, &haus);
  Card &taxes = card("Steuer", Priority::important);
  Card &report = card("Bericht", Priority::medium);
  report.dueDate = local(3, 14, 17, 30);
  Card &someday = card("Irgendwann", Priority::medium, &haus, &todo);
  someday.plannedDate = local(3, 14, 9);
  Card &done = card("Erledigt", Priority::urgent, &haus, &todo);
  done.percentComplete = 100;
  done.plannedDate = local(3, 12, 9);

  const std::string answer = planWeek(json::object());

  Card *idea = nullptr;
  for (Card *c : context->fetchCards())
    if (c->isIdeaTask)
      idea = c;
  ASSERT_TRUE(idea);
  EXPECT_EQ(answer,
            "5 Aufgaben eingeplant, 1 Ideen-Aufgaben angelegt\n"
            "Mittwoch 12.03.:\n"
            "  " +
                shortID(windows) +
                " · Fenster putzen · Haus/Zu erledigen · "
                "fällig 2025-03-13\n"
                "  " +
                shortID(cellar) +
                " · Keller · Haus\n"
                "  " +
                shortID(report) +
                " · Bericht · fällig 2025-03-14 17:30\n"
                "Donnerstag 13.03.:\n"
                "  " +
                shortID(taxes) +
                " · Steuer\n"
                "  " +
                shortID(*idea) +
                " · Feature-Ideen sammeln: Ideen · Assistent/Ideen · Idee");
  EXPECT_FALSE(someday.plannedDate);
}

TEST_F(PlanWeekTest, DailyCapacityIsANumberOfAtLeastOne) {
  struct Row {
    json capacity;
    int onWednesday;
  };
  const std::vector<Row> rows = {
      {nullptr, 3}, {0.5, 1}, {0, 1},   {-3, 1},   {2.5, 2},
      {2, 2},       {4, 4},   {"4", 3}, {true, 3}, {1e308, 5},
  };
  for (const auto &row : rows) {
    freshStore();
    for (const char *title : {"A", "B", "C", "D", "E"})
      card(title, Priority::urgent);
    json args = json::object();
    if (!row.capacity.is_null())
      args["daily_capacity"] = row.capacity;
    planWeek(args);
    int onWednesday = 0;
    for (Card *c : context->fetchCards())
      if (c->plannedDate && *c->plannedDate == local(3, 12, 9))
        ++onWednesday;
    EXPECT_EQ(onWednesday, row.onWednesday) << args;
  }
}

TEST_F(PlanWeekTest, WeekendOnlyWithABooleanTrue) {
  const Date saturday = local(3, 15, 10);
  struct Row {
    json weekend;
    std::string label;
  };
  const std::vector<Row> rows = {
      {true, "Samstag 15.03.:"},
      {false, "Montag 17.03.:"},
      {"true", "Montag 17.03.:"},
      {1, "Montag 17.03.:"},
  };
  for (const auto &row : rows) {
    freshStore();
    Card &c = card("Wäsche", Priority::urgent);
    const std::string answer =
        planWeek({{"include_weekend", row.weekend}}, saturday);
    EXPECT_EQ(answer, "1 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt\n" +
                          row.label + "\n  " + shortID(c) + " · Wäsche")
        << row.weekend;
  }
}

} // namespace
} // namespace taskory
