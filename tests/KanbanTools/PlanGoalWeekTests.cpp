#include "ToolsFixture.h"

#include <sstream>

namespace taskory::test {
namespace {

using PlanTools = ToolsTest;

TEST_F(PlanTools, CreatePlanAndBuckets) {
  for (const json &title : {json(), json(""), json(42)})
    EXPECT_EQ(call("create_plan", {{"title", title}}), "Fehler: title fehlt");
  const std::string first = call("create_plan", {{"title", "Haus"}});
  EXPECT_EQ(first, "Angelegt: Plan „Haus“ (" +
                       shortID(value("SELECT id FROM Plan")) + ")");
  call("create_plan", {{"title", " "}});
  EXPECT_EQ(rows("SELECT title || sortOrder FROM Plan"),
            (Strings{"Haus1024.0", " 2048.0"}));
  seed().plan("Hoch").sortOrder = 5000;
  call("create_plan", {{"title", "Büro"}});
  EXPECT_EQ(value("SELECT sortOrder FROM Plan WHERE title = 'Büro'"), "6024.0");

  const std::string plans = "Vorhanden: Haus,  , Hoch, Büro";
  const std::vector<std::pair<json, std::string>> failures = {
      {json::object(), "name fehlt"}, // the name is checked first
      {{{"name", ""}, {"plan", "Nirgends"}}, "name fehlt"},
      {{{"name", "Doing"}, {"plan", 7}}, "Plan „“ nicht gefunden. " + plans},
  };
  for (const auto &[args, message] : failures)
    EXPECT_EQ(call("create_bucket", args), "Fehler: " + message) << args;
  for (const json &color : {json("nOnE"), json("#ff00aa"), json(""), json(12)})
    EXPECT_EQ(
        call("create_bucket",
             {{"plan", "haus"}, {"name", "Spalte"}, {"color_hex", color}}),
        "Bucket „Spalte“ in Plan „Haus“ angelegt.");
  EXPECT_EQ(
      rows("SELECT ifnull(colorHex, '-') || sortOrder FROM Bucket WHERE "
           "plan = (SELECT id FROM Plan WHERE title = 'Haus')"),
      (Strings{"-1024.0", "-2048.0", "#ff00aa3072.0", "4096.0", "-5120.0"}));
}

TEST_F(PlanTools, UpdateBucketRenamesAndRecoloursButLeavesCardsAlone) {
  call("create_plan", {{"title", "Haus"}});
  const std::string id = shortID(value("SELECT id FROM Bucket"));
  seed().card(*context().fetchBuckets().front(), "Fenster").colorHex =
      "#111111";
  const std::string in = "“ in Plan „Haus“ ";
  const std::vector<std::pair<json, std::string>> cases = {
      {{{"plan", "Garten"}},
       "Fehler: Plan „Garten“ nicht gefunden. "
       "Vorhanden: Haus"},
      {{{"bucket", ""}}, "Fehler: bucket fehlt"},
      {{{"bucket", "Zu erledigen "}},
       "Fehler: Bucket „Zu erledigen " + in + "nicht gefunden"},
      {{{"bucket", "zu ERLEDIGEN"}}, "Bucket „Zu erledigen" + in + "geändert."},
      {{{"bucket", "Zu erledigen"}, {"color_hex", "#FF0000"}},
       "Bucket „Zu erledigen" + in + "geändert, Farbe #FF0000."},
      {{{"bucket", id}, {"new_name", ""}},
       "Bucket „Zu erledigen" + in + "geändert, Farbe #FF0000."},
      {{{"bucket", id}, {"new_name", "Offen"}, {"color_hex", "None"}},
       "Bucket „Offen" + in + "geändert."},
  };
  for (auto [args, expected] : cases) {
    if (!args.contains("plan"))
      args["plan"] = "Haus";
    EXPECT_EQ(call("update_bucket", args), expected) << args;
  }
  EXPECT_EQ(value("SELECT name, colorHex, (SELECT colorHex FROM Card) FROM "
                  "Bucket"),
            "Offen|NULL|#111111");
}

class GoalTools : public ToolsTest {
protected:
  Goal &goal(Plan &plan, std::string title, double sortOrder) {
    Goal &goal = seed().goal(plan, std::move(title));
    goal.sortOrder = sortOrder;
    return goal;
  }
  void cardFor(Goal &goal, int64_t percent, bool archived = false) {
    Card &card = seed().card(context().plan(*goal.plan), "Karte");
    card.percentComplete = percent;
    card.isArchived = archived;
    seed().tag(card, goal);
  }
};

TEST_F(GoalTools, ListGoalsLinesInPlanAndGoalOrder) {
  EXPECT_EQ(call("list_goals"), "Keine Ziele.");
  Plan &second = seed().plan("Zweiter");
  Plan &first = seed().plan("Erster");
  first.sortOrder = 1;
  Goal &renovate = goal(second, "B", 5);
  cardFor(renovate, 100, true);
  cardFor(renovate, 100);
  cardFor(renovate, 50);
  goal(second, "A", 5);
  goal(second, "C", 1);
  Goal &done = goal(first, "Umzug", 9);
  done.isCompleted = true;
  done.targetDate = local(2025, 4, 1, 0, 30);
  done.notes = "Kisten packen\nWohnung übergeben";
  cardFor(done, 100);
  EXPECT_EQ(call("list_goals", {{"ignored", true}}),
            "Erster · Umzug · 1/1 Karten · Ziel 2025-04-01 · erledigt · "
            "Kisten packen Wohnung übergeben\n"
            "Zweiter · C · 0/0 Karten\n"
            "Zweiter · B · 1/2 Karten\n"
            "Zweiter · A · 0/0 Karten");
}

TEST_F(GoalTools, NotesAreCutAfter120CharactersNeverInsideOne) {
  const std::string a119(119, 'a'), family = "👨‍👩‍👧";
  std::string umlauts;
  for (int i = 0; i < 120; ++i)
    umlauts += "ä";
  const std::pair<std::string, std::string> cases[] = {
      {std::string(120, 'x'), std::string(120, 'x')},
      {std::string(121, 'x'), std::string(120, 'x') + "…"},
      {a119 + family, a119 + family}, // one character, several code points
      {a119 + family + "b", a119 + family + "…"},
      {a119 + "e\u0301" + "zz", a119 + "e\u0301" + "…"},
      {umlauts + "ä", umlauts + "…"},
  };
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

TEST_F(GoalTools, CreateGoal) {
  Plan &haus = seed().plan("Haus");
  goal(haus, "Alt", 5000);
  goal(haus, "Älter", 1024);
  seed().plan("Garten");
  const std::string date = "Datum nicht lesbar: 01.04.2025 (erwartet "
                           "YYYY-MM-DD oder ISO-8601)";
  expectFailures(
      "create_goal",
      {{{{"plan", "Garten"}}, "title fehlt"},
       {{{"title", 3}}, "title fehlt"},
       {{{"title", "Neu"}},
        "Plan „“ nicht gefunden. Vorhanden: "
        "Haus, Garten"},
       {{{"title", "Neu"}, {"plan", "Haus"}, {"target_date", "01.04.2025"}},
        date}});
  const std::vector<std::pair<json, std::string>> cases = {
      {{{"plan", "Haus"}, {"notes", " none "}}, "6024.0| none |NULL"},
      {{{"plan", "garten"}, {"target_date", "2025-04-01"}},
       "1024.0||1743519600.0"},
      {{{"plan", "Garten"}, {"target_date", "None"}, {"notes", 5}},
       "2048.0||NULL"},
  };
  for (auto [args, stored] : cases) {
    args["title"] = "Ziel " + args.dump();
    EXPECT_EQ(call("create_goal", args),
              "Ziel „" + args["title"].get<std::string>() + "“ in Plan „" +
                  (args["plan"] == "Haus" ? "Haus" : "Garten") + "“ angelegt.");
    EXPECT_EQ(value("SELECT sortOrder, notes, ifnull(targetDate, 'NULL') "
                    "FROM Goal ORDER BY rowid DESC"),
              stored)
        << args;
  }
}

class PlanWeek : public ToolsTest {
protected:
  Card &card(std::string title, Priority priority, Plan *plan = nullptr) {
    Card &card = seed().card(plan, std::move(title));
    card.setPriority(priority);
    return card;
  }
  int plannedOn(Date day) {
    return std::stoi(value("SELECT count(*) FROM Card WHERE plannedDate = " +
                           std::to_string(day)));
  }
};

TEST_F(PlanWeek, ListsThePlanGroupedByDay) {
  EXPECT_EQ(call("plan_week"),
            "0 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt");
  Plan &haus = seed().plan("Haus");
  Bucket &todo = seed().bucket(haus, "Zu erledigen");
  Plan &assistant = seed().plan("Assistent");
  assistant.isClaudeProject = true;
  seed().bucket(assistant, "Eingang");
  seed().bucket(assistant, "Ideen");
  Card &windows = seed().card(todo, "Fenster putzen");
  windows.setPriority(Priority::urgent);
  windows.dueDate = local(2025, 3, 13, 17);
  const std::string ids[] = {windows.id,
                             card("Keller", Priority::urgent, &haus).id,
                             card("Bericht", Priority::medium).id,
                             card("Steuer", Priority::important).id};
  context().card(ids[2])->dueDate = local(2025, 3, 14, 17, 30);
  Card &done = card("Erledigt", Priority::urgent, &haus);
  done.percentComplete = 100;
  done.plannedDate = local(2025, 3, 12, 9);
  const std::string answer = call("plan_week");
  const std::string idea =
      value("SELECT substr(upper(id), 1, 8) FROM Card WHERE isIdeaTask");
  EXPECT_EQ(answer, "5 Aufgaben eingeplant, 1 Ideen-Aufgaben angelegt\n"
                    "Mittwoch 12.03.:\n  " +
                        shortID(ids[0]) +
                        " · Fenster putzen · Haus/Zu erledigen · fällig "
                        "2025-03-13\n  " +
                        shortID(ids[1]) + " · Keller · Haus\n  " +
                        shortID(ids[2]) +
                        " · Bericht · fällig 2025-03-14 17:30\n"
                        "Donnerstag 13.03.:\n  " +
                        shortID(ids[3]) + " · Steuer\n  " + idea +
                        " · Feature-Ideen sammeln: Ideen · Assistent/Ideen · "
                        "Idee");
}

TEST_F(PlanWeek, CapacityAndWeekendArguments) {
  for (const char *title : {"A", "B", "C", "D", "E"})
    card(title, Priority::urgent);
  const Date wednesday = local(2025, 3, 12, 9);
  const std::pair<json, int> capacities[] = {
      {nullptr, 3}, {0.5, 1}, {-3, 1},   {2.5, 2},
      {4, 4},       {"4", 3}, {true, 3}, {1e308, 5},
  };
  for (const auto &[capacity, onWednesday] : capacities) {
    json args = json::object();
    if (!capacity.is_null())
      args["daily_capacity"] = capacity;
    call("plan_week", args);
    EXPECT_EQ(plannedOn(wednesday), onWednesday) << args;
  }
  const Date saturday = local(2025, 3, 15, 10);
  const std::pair<json, std::string> weekends[] = {{true, "Samstag 15.03.:"},
                                                   {"true", "Montag 17.03.:"},
                                                   {1, "Montag 17.03.:"}};
  for (const auto &[weekend, label] : weekends) {
    const std::string answer =
        call("plan_week", {{"include_weekend", weekend}, {"daily_capacity", 5}},
             saturday);
    EXPECT_EQ(answer.substr(0, answer.find("\n  ")),
              "5 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt\n" + label)
        << weekend;
  }
}

} // namespace
} // namespace taskory::test
