#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Card.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanTools/ToolError.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;

constexpr Date kNow = test::TestStore::kNow;

class GoalToolsTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  KanbanTools tools{*context, kNow, store.calendar};

  Plan &plan(std::string title, double sortOrder) {
    return context->insert(Plan(std::move(title), sortOrder, kNow));
  }
  Goal &goal(Plan &owner, std::string title, double sortOrder) {
    Goal g(std::move(title), sortOrder, kNow);
    g.plan = owner.id;
    return context->insert(std::move(g));
  }
  Card &cardFor(Goal &target, int64_t percent, bool archived = false) {
    Card c("Karte", 1024, kNow);
    c.percentComplete = percent;
    c.isArchived = archived;
    c.plan = target.plan;
    Card &stored = context->insert(std::move(c));
    context->addGoal(stored, target);
    return stored;
  }
  std::string listGoals() { return std::get<std::string>(tools.listGoals()); }
  std::string createGoal(const json &args) {
    try {
      return std::get<std::string>(tools.createGoal(args));
    } catch (const ToolError &error) {
      return "Fehler: " + error.message;
    }
  }
};

TEST_F(GoalToolsTest, LinesCountActiveAndCompletedCards) {
  EXPECT_EQ(listGoals(), "Keine Ziele.");
  Plan &haus = plan("Haus", 1024);
  EXPECT_EQ(listGoals(), "Keine Ziele.");
  Goal &renovate = goal(haus, "Renovieren", 1024);
  cardFor(renovate, 100, true);
  cardFor(renovate, 100);
  cardFor(renovate, 50);
  Goal &empty = goal(haus, "Leer", 2048);
  cardFor(empty, 150, true);
  EXPECT_EQ(listGoals(), "Haus · Renovieren · 1/2 Karten\n"
                         "Haus · Leer · 0/0 Karten");
}

TEST_F(GoalToolsTest, AllSixPartsInTheirOrder) {
  Plan &haus = plan("Haus", 1024);
  Goal &g = goal(haus, "Umzug", 1024);
  g.isCompleted = true;
  g.targetDate = store.calendar.date(2025, 4, 1, 0, 30).value();
  g.notes = "Kisten packen\nWohnung übergeben";
  cardFor(g, 100);
  EXPECT_EQ(listGoals(), "Haus · Umzug · 1/1 Karten · Ziel 2025-04-01 · "
                         "erledigt · Kisten packen Wohnung übergeben");
}

TEST_F(GoalToolsTest, NotesAreCutAfter120CharactersNeverInsideOne) {
  const std::string a119(119, 'a');
  const std::string family =
      "👨‍👩‍👧"; // one character, several code points
  std::string umlauts;
  for (int i = 0; i < 121; ++i)
    umlauts += "ä";
  std::string umlauts120;
  for (int i = 0; i < 120; ++i)
    umlauts120 += "ä";
  struct Row {
    std::string notes, shown;
  };
  const std::vector<Row> rows = {
      {std::string(120, 'x'), std::string(120, 'x')},
      {std::string(121, 'x'), std::string(120, 'x') + "…"},
      {a119 + family, a119 + family},
      {a119 + family + "b", a119 + family + "…"},
      {a119 + "e\u0301" + "zz", a119 + "e\u0301" + "…"},
      {umlauts, umlauts120 + "…"},
      {std::string(60, 'x') + "\n" + std::string(60, 'y'),
       std::string(60, 'x') + " " + std::string(59, 'y') + "…"},
  };
  for (const auto &row : rows) {
    context.reset();
    store.container = KanbanStore::makePreviewContainer();
    context = store.context();
    KanbanTools fresh(*context, kNow, store.calendar);
    Plan &p = plan("P", 1024);
    goal(p, "Z", 1024).notes = row.notes;
    EXPECT_EQ(std::get<std::string>(fresh.listGoals()),
              "P · Z · 0/0 Karten · " + row.shown)
        << row.notes;
  }
}

TEST_F(GoalToolsTest, GoalsFollowPlanOrderThenStableSortOrder) {
  Plan &second = plan("Zweiter", 2048);
  Plan &first = plan("Erster", 1024);
  goal(second, "B", 5);
  goal(second, "A", 5);
  goal(second, "C", 1);
  goal(first, "X", 9);
  EXPECT_EQ(listGoals(), "Erster · X · 0/0 Karten\n"
                         "Zweiter · C · 0/0 Karten\n"
                         "Zweiter · B · 0/0 Karten\n"
                         "Zweiter · A · 0/0 Karten");
}

TEST_F(GoalToolsTest, CreateGoalChecksTitleThenPlan) {
  plan("Haus", 1024);
  for (const json &args : {json::object(), json{{"title", ""}},
                           json{{"title", 3}}, json{{"plan", "Garten"}}})
    EXPECT_EQ(createGoal(args), "Fehler: title fehlt") << args;
  EXPECT_EQ(createGoal({{"title", "Umzug"}}),
            "Fehler: Plan „“ nicht gefunden. Vorhanden: Haus");
  EXPECT_EQ(createGoal({{"title", "Umzug"}, {"plan", "Garten"}}),
            "Fehler: Plan „Garten“ nicht gefunden. Vorhanden: Haus");
  EXPECT_EQ(listGoals(), "Keine Ziele.");
}

TEST_F(GoalToolsTest, CreateGoalAppendsAfterTheHighestSortOrder) {
  Plan &haus = plan("Haus", 1024);
  Plan &garten = plan("Garten", 2048);
  goal(haus, "Alt", 5000);
  goal(haus, "Älter", 1024);
  EXPECT_EQ(createGoal({{"title", "Neu"}, {"plan", "Haus"}}),
            "Ziel „Neu“ in Plan „Haus“ angelegt.");
  EXPECT_EQ(createGoal({{"title", "Erstes"}, {"plan", "garten"}}),
            "Ziel „Erstes“ in Plan „Garten“ angelegt.");
  std::map<std::string, double> sortOrders;
  for (Plan *p : {&haus, &garten})
    for (Goal *g : context->goals(*p))
      sortOrders[g->title] = g->sortOrder;
  EXPECT_EQ(sortOrders["Neu"], 6024);
  EXPECT_EQ(sortOrders["Erstes"], 1024);
}

TEST_F(GoalToolsTest, CreateGoalTakesNotesAndTargetDate) {
  Plan &haus = plan("Haus", 1024);
  struct Row {
    json args;
    std::string notes;
    std::string target; // "" for none
  };
  const std::vector<Row> rows = {
      {{{"notes", " none "}}, " none ", ""},
      {{{"target_date", "2025-04-01"}}, "", "2025-04-01 17:00"},
      {{{"target_date", "None"}}, "", ""},
      {{{"target_date", ""}}, "", ""},
      {{{"target_date", 20250401}, {"notes", 5}}, "", ""},
  };
  int n = 0;
  for (auto row : rows) {
    const std::string title = "Ziel " + std::to_string(++n);
    row.args["title"] = title;
    row.args["plan"] = "Haus";
    ASSERT_EQ(createGoal(row.args),
              "Ziel „" + title + "“ in Plan „Haus“ angelegt.")
        << row.args;
    Goal *created = context->goals(haus).back();
    EXPECT_EQ(created->notes, row.notes) << row.args;
    EXPECT_EQ(created->targetDate ? store.calendar.format(*created->targetDate,
                                                          "yyyy-MM-dd HH:mm")
                                  : "",
              row.target)
        << row.args;
  }
}

TEST_F(GoalToolsTest, UnreadableTargetDateCreatesNothing) {
  plan("Haus", 1024);
  EXPECT_EQ(createGoal({{"title", "Umzug"},
                        {"plan", "Haus"},
                        {"target_date", "01.04.2025"}}),
            "Fehler: Datum nicht lesbar: 01.04.2025 (erwartet YYYY-MM-DD oder "
            "ISO-8601)");
  EXPECT_EQ(listGoals(), "Keine Ziele.");
}

} // namespace
} // namespace taskory
