#include "WriteToolsFixture.h"

#include <cstdint>
#include <limits>
#include <string>

namespace taskory::test {
namespace {

using nlohmann::json;

class CreateCard : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    work = addPlan("Arbeit", 1024);
    addPlan("Privat", 2048);
    done = addBucket(work, "Erledigt", 4096, "#107C10");
    todo =
        value("SELECT id FROM Bucket WHERE name = 'Zu erledigen' AND plan = '" +
              work + "'");
  }

  std::string cardID(const std::string &title) {
    return value("SELECT id FROM Card WHERE title = '" + title + "'");
  }

  UUID work, todo, done;
};

TEST_F(CreateCard, DefaultsToFirstPlanAndFirstBucketAndConfirms) {
  auto out = run("create_card", {{"title", "Einkaufen"}});
  ASSERT_TRUE(out.ok) << out.text;
  const std::string id = cardID("Einkaufen");
  EXPECT_EQ(out.text, "Angelegt: „Einkaufen“ (" + shortOf(id) +
                          ") – not_started, Bucket Zu erledigen");
  EXPECT_EQ(value("SELECT plan, bucket, sortOrder, notes, priorityRaw, "
                  "percentComplete, colorHex, createdAt, modifiedAt, "
                  "recurrenceRuleData FROM Card WHERE id = '" +
                  id + "'"),
            work + "|" + todo +
                "|1024.0||5|0|NULL|1741773600.0|1741773600.0|NULL");
  EXPECT_EQ(value("SELECT author, timestamp FROM StoreTransaction ORDER BY id "
                  "DESC LIMIT 1"),
            "mcp|1741773600.0");
  EXPECT_EQ(rows("SELECT entity, entityID, kind FROM StoreChange WHERE txn = "
                 "(SELECT max(id) FROM StoreTransaction)"),
            std::vector<std::string>{"Card|" + id + "|insert"});
}

TEST_F(CreateCard, SortOrderFollowsTheHighestCardOfThePlan) {
  addCard(work, todo, "a", 1024);
  addCard(work, done, "b", 5000, [](Card &c) { c.isArchived = true; });
  addCard(work, todo, "c", 2048, [](Card &c) { c.percentComplete = 100; });
  const UUID privat = value("SELECT id FROM Plan WHERE title = 'Privat'");
  addCard(privat, std::nullopt, "elsewhere", 90000);

  ASSERT_TRUE(run("create_card", {{"title", "neu"}}).ok);
  EXPECT_EQ(value("SELECT sortOrder FROM Card WHERE title = 'neu'"), "6024.0");
  ASSERT_TRUE(run("create_card", {{"title", "neu2"}, {"plan", "Privat"}}).ok);
  EXPECT_EQ(value("SELECT sortOrder FROM Card WHERE title = 'neu2'"),
            "91024.0");
}

TEST_F(CreateCard, StoresEveryCommonField) {
  const UUID goal = addGoal(work, "Umzug");
  auto out = run("create_card", {{"title", "Steuer"},
                                 {"plan", "arbeit"},
                                 {"bucket", "erledigt"},
                                 {"notes", "none"},
                                 {"due_date", "2025-03-14"},
                                 {"start_date", "2025-03-01T08:00:00Z"},
                                 {"planned_date", "2025-03-13"},
                                 {"priority", "Urgent"},
                                 {"color_hex", "#123456"},
                                 {"labels", {"rot", 7, "Blau"}},
                                 {"goals", {"umzug"}}});
  ASSERT_TRUE(out.ok) << out.text;
  const std::string id = cardID("Steuer");
  EXPECT_EQ(out.text,
            "Angelegt: „Steuer“ (" + shortOf(id) +
                ") – not_started, Bucket Erledigt, fällig 2025-03-14");
  EXPECT_EQ(value("SELECT bucket, notes, dueDate, startDate, plannedDate, "
                  "priorityRaw, colorHex FROM Card WHERE id = '" +
                  id + "'"),
            done + "|none|1741968000.0|1740816000.0|1741881600.0|1|#123456");
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel cl JOIN PlanLabel l ON l.id = "
                 "cl.label WHERE cl.card = '" +
                 id + "' ORDER BY l.slotIndex"),
            (std::vector<std::string>{"Rot", "Blau"}));
  EXPECT_EQ(rows("SELECT goal FROM CardGoal WHERE card = '" + id + "'"),
            std::vector<std::string>{goal});
}

TEST_F(CreateCard, ColourIsInheritedFromTheBucketUnlessGiven) {
  ASSERT_TRUE(run("create_card", {{"title", "a"}, {"bucket", "Erledigt"}}).ok);
  ASSERT_TRUE(
      run("create_card",
          {{"title", "b"}, {"bucket", "Erledigt"}, {"color_hex", "None"}})
          .ok);
  ASSERT_TRUE(
      run("create_card",
          {{"title", "c"}, {"bucket", "Erledigt"}, {"color_hex", "#FF0000"}})
          .ok);
  ASSERT_TRUE(run("create_card", {{"title", "d"}, {"color_hex", "none"}}).ok);
  EXPECT_EQ(rows("SELECT title || '=' || ifnull(colorHex, 'NULL') FROM Card "
                 "ORDER BY rowid"),
            (std::vector<std::string>{"a=#107C10", "b=#107C10", "c=#FF0000",
                                      "d=NULL"}));
}

TEST_F(CreateCard, ChecklistTakesTheFirstTwentyStringsInOrder) {
  json titles = json::array();
  titles.push_back("");
  titles.push_back(42); // not a string: skipped, not counted
  for (int i = 2; i <= 25; ++i)
    titles.push_back("Punkt " + std::to_string(i));
  auto out = run("create_card", {{"title", "Liste"}, {"checklist", titles}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_NE(out.text.find(", Checkliste 0/20"), std::string::npos) << out.text;
  auto items = rows("SELECT title || '@' || sortOrder || '/' || isChecked FROM "
                    "ChecklistItem ORDER BY rowid");
  ASSERT_EQ(items.size(), 20u);
  EXPECT_EQ(items[0], "@1024.0/0");
  EXPECT_EQ(items[1], "Punkt 2@2048.0/0");
  EXPECT_EQ(items[19], "Punkt 20@20480.0/0");
}

TEST_F(CreateCard, StatusCompletesAndOtherTypesAreIgnored) {
  ASSERT_TRUE(run("create_card", {{"title", "a"}, {"status", "DONE"}}).ok);
  ASSERT_TRUE(run("create_card", {{"title", "b"}, {"status", 1}}).ok);
  ASSERT_TRUE(
      run("create_card", {{"title", "c"}, {"status", "in_progress"}}).ok);
  EXPECT_EQ(rows("SELECT title, percentComplete, completedAt FROM Card ORDER "
                 "BY rowid"),
            (std::vector<std::string>{"a|100|1741773600.0", "b|0|NULL",
                                      "c|50|NULL"}));
}

TEST_F(CreateCard, RecurrenceIsStoredAsCompactJSONWithTheCardAsSeries) {
  struct Case {
    json recurrence;
    json stored;
  };
  const Case cases[] = {
      {{{"frequency", "weekly"}, {"interval", 2}, {"days_of_week", {2, 4}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2, 4}}}},
      {{{"frequency", "daily"}, {"interval", 0}},
       {{"frequency", "daily"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "monthly"}, {"interval", -3}},
       {{"frequency", "monthly"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "weekly"}, {"days_of_week", {9}}},
       {{"frequency", "weekly"}, {"interval", 1}, {"daysOfWeek", {9}}}},
      {{{"frequency", "weekly"}, {"interval", "3"}, {"days_of_week", {2, "x"}}},
       {{"frequency", "weekly"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "weekly"}, {"interval", 2.0}, {"days_of_week", {2.0, 4}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2, 4}}}},
      {{{"frequency", "daily"}, {"interval", 2.5}},
       {{"frequency", "daily"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      // Beyond the 64-bit range a count stays huge instead of wrapping.
      {{{"frequency", "yearly"},
        {"interval", json::parse("18446744073709551615")}},
       {{"frequency", "yearly"},
        {"interval", std::numeric_limits<int64_t>::max()},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "yearly"}, {"interval", 1e30}},
       {{"frequency", "yearly"},
        {"interval", std::numeric_limits<int64_t>::max()},
        {"daysOfWeek", json::array()}}},
  };
  int n = 0;
  for (const Case &c : cases) {
    const std::string title = "r" + std::to_string(n++);
    auto out = run("create_card", {{"title", title},
                                   {"due_date", "2025-03-14"},
                                   {"recurrence", c.recurrence}});
    ASSERT_TRUE(out.ok) << c.recurrence << ": " << out.text;
    auto stored = rows("SELECT id, recurrenceSeriesID, recurrenceOccurrence, "
                       "CAST(recurrenceRuleData AS TEXT) FROM Card WHERE title "
                       "= '" +
                       title + "'");
    ASSERT_EQ(stored.size(), 1u);
    const std::string &row = stored[0];
    const std::string id = row.substr(0, 36);
    EXPECT_EQ(row.substr(0, 36 + 1 + 36 + 3), id + "|" + id + "|1|")
        << c.recurrence;
    const std::string data = row.substr(36 + 1 + 36 + 3);
    EXPECT_EQ(data.find(' '), std::string::npos) << data;
    EXPECT_EQ(json::parse(data), c.stored) << c.recurrence;
  }
}

TEST_F(CreateCard, FrequencyNoneInAnyCaseLeavesTheCardWithoutRule) {
  ASSERT_TRUE(run("create_card", {{"title", "a"},
                                  {"due_date", "2025-03-14"},
                                  {"recurrence", {{"frequency", "NONE"}}}})
                  .ok);
  ASSERT_TRUE(
      run("create_card",
          {{"title", "b"}, {"due_date", "None"}, {"recurrence", "weekly"}})
          .ok);
  EXPECT_EQ(rows("SELECT title, dueDate, recurrenceRuleData, "
                 "recurrenceSeriesID FROM Card ORDER BY rowid"),
            (std::vector<std::string>{"a|1741968000.0|NULL|NULL",
                                      "b|NULL|NULL|NULL"}));
}

TEST_F(CreateCard, CompletedRecurringCardSpawnsBeforeColourAndChecklist) {
  auto out = run("create_card", {{"title", "Wäsche"},
                                 {"bucket", "Erledigt"},
                                 {"due_date", "2025-03-14"},
                                 {"status", "completed"},
                                 {"checklist", {"waschen", "trocknen"}},
                                 {"recurrence", {{"frequency", "weekly"}}}});
  ASSERT_TRUE(out.ok) << out.text;
  auto cards = rows("SELECT id, percentComplete, colorHex, dueDate, "
                    "recurrenceSeriesID, recurrenceOccurrence, "
                    "recurrenceRuleData IS NOT NULL, sortOrder FROM Card "
                    "ORDER BY rowid");
  ASSERT_EQ(cards.size(), 2u);
  const std::string first = cards[0].substr(0, 36);
  const std::string second = cards[1].substr(0, 36);
  EXPECT_EQ(out.text, "Angelegt: „Wäsche“ (" + shortOf(first) +
                          ") – completed, Bucket Erledigt, Checkliste 0/2, "
                          "fällig 2025-03-14");
  EXPECT_EQ(cards[0],
            first + "|100|#107C10|1741968000.0|" + first + "|1|0|1024.0");
  // 2025-03-21 17:00 CET
  EXPECT_EQ(cards[1], second + "|0|NULL|1742572800.0|" + first + "|2|1|1025.0");
  EXPECT_EQ(
      value("SELECT count(*) FROM ChecklistItem WHERE card = '" + second + "'"),
      "0");
}

TEST_F(CreateCard, AcceptsBlankAndHugeTitles) {
  ASSERT_TRUE(run("create_card", {{"title", "   "}}).ok);
  const std::string huge(1 << 20, 'x');
  auto out = run("create_card", {{"title", huge}});
  ASSERT_TRUE(out.ok) << out.text.substr(0, 200);
  EXPECT_EQ(out.text, "Angelegt: „" + huge + "“ (" +
                          shortOf(value("SELECT id FROM Card ORDER BY rowid "
                                        "DESC LIMIT 1")) +
                          ") – not_started, Bucket Zu erledigen");
  EXPECT_EQ(value("SELECT length(title) FROM Card ORDER BY rowid DESC LIMIT 1"),
            std::to_string(huge.size()));
}

TEST_F(CreateCard, EveryFailureLeavesTheStoreAsItWas) {
  addGoal(work, "Umzug");
  struct Case {
    json args;
    std::string message;
  };
  const json weekly = {{"frequency", "weekly"}};
  const Case cases[] = {
      {json::object(), "title fehlt"},
      {{{"title", ""}}, "title fehlt"},
      {{{"title", 5}}, "title fehlt"},
      {{{"title", "x"}, {"plan", "Nope"}},
       "Plan „Nope“ nicht gefunden. Vorhanden: Arbeit, Privat"},
      {{{"title", "x"}, {"bucket", "Nope"}},
       "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt"},
      {{{"title", "x"}, {"due_date", "01.03.2025"}},
       "Datum nicht lesbar: 01.03.2025 (erwartet YYYY-MM-DD oder ISO-8601)"},
      {{{"title", "x"}, {"start_date", "2025-03-01T08:00"}},
       "Datum nicht lesbar: 2025-03-01T08:00 (erwartet YYYY-MM-DD oder "
       "ISO-8601)"},
      {{{"title", "x"}, {"planned_date", "bald"}},
       "Datum nicht lesbar: bald (erwartet YYYY-MM-DD oder ISO-8601)"},
      {{{"title", "x"}, {"priority", "High"}}, "Unbekannte Priorität: High"},
      {{{"title", "x"}, {"status", "Halb"}}, "Unbekannter Status: Halb"},
      {{{"title", "x"}, {"labels", {"Rot", "Nope", "Blau"}}},
       "Label „Nope“ existiert nicht im Plan"},
      {{{"title", "x"}, {"labels", {"Rot", "Blau", "Nope"}}},
       "Label „Nope“ existiert nicht im Plan"},
      {{{"title", "x"}, {"goals", {"Umzug", "Urlaub"}}},
       "Ziel „Urlaub“ existiert nicht im Plan"},
      {{{"title", "x"}, {"recurrence", json::object()}},
       "recurrence.frequency fehlt"},
      {{{"title", "x"}, {"recurrence", {{"frequency", 1}}}},
       "recurrence.frequency fehlt"},
      {{{"title", "x"},
        {"due_date", "2025-03-14"},
        {"recurrence", {{"frequency", "Weekly"}}}},
       "Unbekannte frequency: Weekly"},
      {{{"title", "x"}, {"recurrence", weekly}},
       "Wiederholung benötigt ein due_date"},
      {{{"title", "x"}, {"due_date", "None"}, {"recurrence", weekly}},
       "Wiederholung benötigt ein due_date"},
      // The fields are applied before the status, so the bad label ends the
      // call before the card is completed.
      {{{"title", "x"}, {"status", "done"}, {"labels", {"Nope"}}},
       "Label „Nope“ existiert nicht im Plan"},
  };
  const std::string before = snapshot();
  for (const Case &c : cases) {
    auto out = run("create_card", c.args);
    EXPECT_FALSE(out.ok) << c.args;
    EXPECT_EQ(out.text, c.message) << c.args;
    EXPECT_EQ(snapshot(), before) << c.args;
  }
}

TEST_F(CreateCard, WithoutAnyPlanAsksForCreatePlan) {
  seed([](ModelContext &c) {
    for (Plan *plan : c.fetchPlans())
      c.remove(*plan);
  });
  const std::string before = snapshot();
  auto out = run("create_card", {{"title", "x"}});
  EXPECT_EQ(out.text, "Es existiert noch kein Plan — lege zuerst einen mit "
                      "create_plan an.");
  EXPECT_EQ(snapshot(), before);
}

TEST_F(CreateCard, PlanWithoutBucketsGivesACardWithoutBucket) {
  seed([&](ModelContext &c) {
    c.remove(*c.bucket(todo));
    c.remove(*c.bucket(done));
  });
  auto out = run("create_card", {{"title", "lose"}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, "Angelegt: „lose“ (" + shortOf(cardID("lose")) +
                          ") – not_started, Bucket –");
  EXPECT_EQ(value("SELECT bucket FROM Card WHERE title = 'lose'"), "NULL");
}

} // namespace
} // namespace taskory::test
