#include "ToolsFixture.h"

namespace taskory::test {
namespace {

using PlanTools = ToolsTest;

TEST_F(PlanTools, CreatePlanWithoutATitleFails) {
  EXPECT_EQ(call("create_plan", {{"title", ""}}), "Fehler: title fehlt");
}

TEST_F(PlanTools, ANewPlanGoesAfterTheLast) {
  seed().plan("Hoch").sortOrder = 5000;
  call("create_plan", {{"title", "Haus"}});
  EXPECT_EQ(value("SELECT sortOrder FROM Plan WHERE title = 'Haus'"), "6024.0");
}

class CreateBucket : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    seed().plan("Hoch").sortOrder = 5000;
    call("create_plan", {{"title", "Haus"}});
  }
};

TEST_F(CreateBucket, FailsWithoutANameOrAKnownPlan) {
  for (const auto &[args, message] : table(R"(
{"name": "", "plan": "Nirgends"} | name fehlt
{"name": "Doing", "plan": 7} | Plan „“ nicht gefunden. Vorhanden: Hoch, Haus
)"))
    EXPECT_EQ(call("create_bucket", args), "Fehler: " + message) << args;
}

TEST_F(CreateBucket, NewBucketsGoLastWithTheirColourIfAny) {
  for (const char *color : {"#ff00aa", ""})
    call("create_bucket",
         {{"plan", "haus"}, {"name", "Spalte"}, {"color_hex", color}});
  EXPECT_EQ(rows("SELECT ifnull(colorHex, '-') || sortOrder FROM Bucket WHERE "
                 "plan = (SELECT id "
                 "FROM Plan WHERE title = 'Haus')"),
            (Strings{"-1024.0", "#ff00aa2048.0", "3072.0"}));
}

class UpdateBucket : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    call("create_plan", {{"title", "Haus"}});
    seed().card(*context().fetchAll<Bucket>().front(), "Fenster").colorHex =
        "#111111";
  }
};

TEST_F(UpdateBucket, SaysWhatChangedOrWhyItCouldNot) {
  const std::string id = shortID(value("SELECT id FROM Bucket"));
  for (auto [args, expected] : table(R"(
{"bucket": ""} | Fehler: bucket fehlt
{"bucket": "Zu erledigen "} | Fehler: Bucket „Zu erledigen “ in Plan „Haus“ nicht gefunden
{"bucket": "zu ERLEDIGEN"} | Bucket „Zu erledigen“ in Plan „Haus“ geändert.
{"bucket": "ID", "new_name": "", "color_hex": "#FF0000"} | Bucket „Zu erledigen“ in Plan „Haus“ geändert, Farbe #FF0000.
{"bucket": "ID", "new_name": "Offen", "color_hex": "None"} | Bucket „Offen“ in Plan „Haus“ geändert.
)")) {
    if (!args.contains("plan"))
      args["plan"] = "Haus";
    if (args["bucket"] == "ID")
      args["bucket"] = id;
    EXPECT_EQ(call("update_bucket", args), expected) << args;
  }
}

TEST_F(UpdateBucket, ChangesTheBucketButNotTheColourOfItsCards) {
  call(
      "update_bucket",
      {{"plan", "Haus"}, {"bucket", "Zu erledigen"}, {"color_hex", "#FF0000"}});
  call("update_bucket", {{"plan", "Haus"},
                         {"bucket", "Zu erledigen"},
                         {"new_name", "Offen"},
                         {"color_hex", "None"}});
  EXPECT_EQ(
      value("SELECT name, colorHex, (SELECT colorHex FROM Card) FROM Bucket"),
      "Offen|NULL|#111111");
}

using GoalTools = ToolsTest;

// Where a cut may fall inside a text: TextTests.
TEST_F(GoalTools, NotesAreCutAfter120CharactersNeverInsideOne) {
  const std::string a119(119, 'a'), family = "👨‍👩‍👧";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(121, 'x'), std::string(120, 'x') + "…"},
      {a119 + family, a119 + family}, // one character, several code points
      {a119 + family + "b", a119 + family + "…"}};
  Plan &plan = seed().plan("P");
  for (const auto &[notes, shown] : cases)
    seed().goal(plan, "Z").notes = notes;
  std::istringstream lines(call("list_goals"));
  std::string line;
  for (const auto &[notes, shown] : cases) {
    std::getline(lines, line);
    EXPECT_EQ(line, "P · Z · 0/0 Karten · " + shown) << notes;
  }
}

class CreateGoal : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    Plan &haus = seed().plan("Haus");
    seed().goal(haus, "Alt").sortOrder = 5000;
    seed().plan("Garten");
  }
};

TEST_F(CreateGoal, FailsWithoutATitleOrWithAnUnreadableDate) {
  expectFailures("create_goal", table(R"(
{"title": 3} | title fehlt
{"title": "Neu", "plan": "Haus", "target_date": "01.04.2025"} | Datum nicht lesbar: 01.04.2025 (erwartet YYYY-MM-DD oder ISO-8601)
)"));
}

TEST_F(CreateGoal, ANewGoalGoesLastWithItsNotesAsGiven) {
  call("create_goal", {{"plan", "haus"},
                       {"title", "Neu"},
                       {"notes", " none "},
                       {"target_date", "None"}});
  EXPECT_EQ(value("SELECT sortOrder, notes, ifnull(targetDate, '-') FROM Goal "
                  "WHERE title = 'Neu'"),
            "6024.0| none |-");
}

using PlanWeek = ToolsTest;

TEST_F(PlanWeek, AnEmptyStoreHasNothingToPlan) {
  EXPECT_EQ(call("plan_week"),
            "0 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt");
}

class PlanWeekFiveUrgent : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    for (const char *title : {"A", "B", "C", "D", "E"})
      seed().card(nullptr, title).setPriority(Priority::urgent);
  }
};

TEST_F(PlanWeekFiveUrgent, DailyCapacityLimitsTheCardsADay) {
  const auto plannedOn = [&](Date day) {
    return value("SELECT count(*) FROM Card WHERE plannedDate = " +
                 std::to_string(day));
  };
  for (const auto &[args, onWednesday] : table(R"(
{} | 3
{"daily_capacity": 0.5} | 1
{"daily_capacity": 4} | 4
{"daily_capacity": 1e308} | 5
)")) {
    call("plan_week", args);
    EXPECT_EQ(plannedOn(local(2025, 3, 12, 9)), onWednesday) << args;
  }
}

TEST_F(PlanWeekFiveUrgent, IncludeWeekendPlansOnSaturday) {
  EXPECT_TRUE(
      call("plan_week", {{"daily_capacity", 5}, {"include_weekend", true}},
           local(2025, 3, 15, 10))
          .starts_with(
              "5 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt\nSamstag"));
}

TEST_F(PlanWeek, ARunThatChangesNothingWritesNoHistory) {
  for (const char *title : {"A", "B", "C"})
    seed().card(nullptr, title).setPriority(Priority::urgent);
  call("plan_week");
  const auto history = [&] {
    Strings all = rows("SELECT * FROM StoreTransaction");
    for (std::string &change : rows("SELECT * FROM StoreChange"))
      all.push_back(std::move(change));
    return all;
  };
  const Strings cards = rows("SELECT * FROM Card ORDER BY id");
  const Strings before = history();

  EXPECT_TRUE(call("plan_week").starts_with("3 Aufgaben eingeplant"));

  EXPECT_EQ(rows("SELECT * FROM Card ORDER BY id"), cards);
  EXPECT_EQ(history(), before);
}

} // namespace
} // namespace taskory::test
