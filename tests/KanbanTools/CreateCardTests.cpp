#include "WriteToolsFixture.h"

#include <limits>

namespace taskory::test {
namespace {

class CreateCard : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    done = seed([&](ModelContext &c) {
      Bucket bucket("Erledigt", 4096, kNow);
      bucket.plan = plan;
      bucket.colorHex = "#107C10";
      return c.insert(std::move(bucket)).id;
    });
  }
  std::string card(const std::string &title, const std::string &columns) {
    return value("SELECT " + columns + " FROM Card WHERE title = '" + title +
                 "'");
  }
  UUID done;
};

TEST_F(CreateCard, StoresTheCardWithEveryFieldAndConfirms) {
  seed([&](ModelContext &c) {
    Goal goal("Umzug", 1024, kNow);
    goal.plan = plan;
    return c.insert(std::move(goal)).id;
  });
  auto out = run("create_card", {{"title", "Steuer"},
                                 {"plan", "arbeit"},
                                 {"bucket", "erledigt"},
                                 {"notes", "none"},
                                 {"due_date", "2025-03-14"},
                                 {"start_date", "2025-03-01T08:00:00Z"},
                                 {"planned_date", "2025-03-13"},
                                 {"priority", "Urgent"},
                                 {"labels", {"rot", 7, "Blau"}},
                                 {"goals", {"umzug"}}});
  const std::string id = card("Steuer", "id");
  EXPECT_EQ(out.text,
            "Angelegt: „Steuer“ (" + shortOf(id) +
                ") – not_started, Bucket Erledigt, fällig 2025-03-14");
  EXPECT_EQ(card("Steuer", "plan, bucket, sortOrder, notes, dueDate, "
                           "startDate, plannedDate, priorityRaw, colorHex, "
                           "createdAt"),
            plan + "|" + done +
                "|1024.0|none|1741968000.0|1740816000.0|1741881600.0|1|"
                "#107C10|1741773600.0");
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel JOIN PlanLabel l ON l.id = "
                 "label ORDER BY l.slotIndex"),
            (Strings{"Rot", "Blau"}));
  EXPECT_EQ(value("SELECT count(*) FROM CardGoal"), "1");
  EXPECT_EQ(value("SELECT author, timestamp FROM StoreTransaction ORDER BY "
                  "id DESC"),
            "mcp|1741773600.0");

  ASSERT_TRUE(run("create_card", {{"title", "Zweite"}}).ok);
  EXPECT_EQ(card("Zweite", "bucket, colorHex"), todo + "|NULL");
}

TEST_F(CreateCard, SortOrderFollowsTheHighestCardOfThePlan) {
  addCard("a", 1024);
  addCard("b", 5000, [](Card &c) { c.isArchived = true; });
  addCard("c", 2048, [&](Card &c) { c.bucket = done; });
  ASSERT_TRUE(run("create_card", {{"title", "neu"}}).ok);
  EXPECT_EQ(card("neu", "sortOrder"), "6024.0");
}

TEST_F(CreateCard, ColourIsInheritedUnlessGiven) {
  for (const json &color : {json(), json("None"), json("#FF0000"), json(5)})
    ASSERT_TRUE(run("create_card", {{"title", color.dump()},
                                    {"bucket", "Erledigt"},
                                    {"color_hex", color}})
                    .ok);
  EXPECT_EQ(rows("SELECT ifnull(colorHex, 'NULL') FROM Card"),
            (Strings{"#107C10", "#107C10", "#FF0000", "#107C10"}));
}

TEST_F(CreateCard, ChecklistTakesTheFirstTwentyStrings) {
  json titles = {"", 42};
  for (int i = 2; i <= 25; ++i)
    titles.push_back("P" + std::to_string(i));
  auto out = run("create_card", {{"title", "Liste"}, {"checklist", titles}});
  EXPECT_NE(out.text.find(", Checkliste 0/20"), std::string::npos) << out.text;
  auto items = rows("SELECT title || '@' || sortOrder FROM ChecklistItem");
  ASSERT_EQ(items.size(), 20u);
  EXPECT_EQ(items[0] + " " + items[1] + " " + items[19],
            "@1024.0 P2@2048.0 P20@20480.0");
}

TEST_F(CreateCard, StatusAndRecurrenceAsStored) {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const std::pair<json, json> cases[] = {
      {{{"frequency", "weekly"}, {"interval", 2}, {"days_of_week", {2, 4}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2, 4}}}},
      {{{"frequency", "daily"}, {"interval", 0}, {"days_of_week", {9}}},
       {{"frequency", "daily"}, {"interval", 1}, {"daysOfWeek", {9}}}},
      {{{"frequency", "monthly"}, {"interval", -3}, {"days_of_week", {2, "x"}}},
       {{"frequency", "monthly"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "weekly"}, {"interval", 2.0}, {"days_of_week", {2.0}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2}}}},
      {{{"frequency", "daily"}, {"interval", 2.5}},
       {{"frequency", "daily"},
        {"interval", 1},
        {"daysOfWeek", json::array()}}},
      // A count beyond the 64-bit range stays huge instead of wrapping.
      {{{"frequency", "yearly"},
        {"interval", json::parse("18446744073709551615")}},
       {{"frequency", "yearly"},
        {"interval", kMax},
        {"daysOfWeek", json::array()}}},
      {{{"frequency", "yearly"}, {"interval", 1e30}},
       {{"frequency", "yearly"},
        {"interval", kMax},
        {"daysOfWeek", json::array()}}},
  };
  for (const auto &[input, stored] : cases) {
    const std::string title = input.dump();
    ASSERT_TRUE(run("create_card", {{"title", title},
                                    {"due_date", "2025-03-14"},
                                    {"status", 1},
                                    {"recurrence", input}})
                    .ok);
    auto row = card(title, "id = recurrenceSeriesID, recurrenceOccurrence, "
                           "percentComplete, CAST(recurrenceRuleData AS TEXT)");
    EXPECT_EQ(row.substr(0, 8), "1|1|0|{\"") << title;
    EXPECT_EQ(row.find(' '), std::string::npos) << row;
    EXPECT_EQ(json::parse(row.substr(6)), stored) << title;
  }
  ASSERT_TRUE(run("create_card", {{"title", "ohne"},
                                  {"due_date", "2025-03-14"},
                                  {"status", "DONE"},
                                  {"recurrence", {{"frequency", "NONE"}}}})
                  .ok);
  EXPECT_EQ(card("ohne", "recurrenceRuleData, recurrenceSeriesID, "
                         "percentComplete, completedAt"),
            "NULL|NULL|100|1741773600.0");
}

TEST_F(CreateCard, CompletedRecurringCardSpawnsBeforeColourAndChecklist) {
  auto out = run("create_card", {{"title", "Wäsche"},
                                 {"bucket", "Erledigt"},
                                 {"due_date", "2025-03-14"},
                                 {"status", "completed"},
                                 {"checklist", {"waschen"}},
                                 {"recurrence", {{"frequency", "weekly"}}}});
  auto cards = rows("SELECT id, colorHex, dueDate, recurrenceSeriesID, "
                    "recurrenceOccurrence, recurrenceRuleData IS NOT NULL, "
                    "sortOrder, (SELECT count(*) FROM ChecklistItem i WHERE "
                    "i.card = Card.id) FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string first = cards[0].substr(0, 36);
  EXPECT_EQ(out.text, "Angelegt: „Wäsche“ (" + shortOf(first) +
                          ") – completed, Bucket Erledigt, Checkliste 0/1, "
                          "fällig 2025-03-14");
  EXPECT_EQ(cards[0].substr(36),
            "|#107C10|1741968000.0|" + first + "|1|0|1024.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|NULL|1742572800.0|" + first + "|2|1|1025.0|0");
}

TEST_F(CreateCard, BlankAndHugeTitlesAreStoredUnchanged) {
  const std::string huge(1 << 20, 'x');
  for (const std::string &title : {std::string("   "), huge}) {
    auto out = run("create_card", {{"title", title}});
    EXPECT_EQ(out.text, "Angelegt: „" + title + "“ (" +
                            shortOf(value("SELECT id FROM Card ORDER BY rowid "
                                          "DESC")) +
                            ") – not_started, Bucket Zu erledigen");
  }
  EXPECT_EQ(value("SELECT max(length(title)) FROM Card"), "1048576");
}

TEST_F(CreateCard, EveryFailureLeavesTheStoreAsItWas) {
  const json weekly = {{"frequency", "weekly"}};
  const std::string date = " (erwartet YYYY-MM-DD oder ISO-8601)";
  expectFailures(
      "create_card",
      {{json::object(), "title fehlt"},
       {{{"title", ""}}, "title fehlt"},
       {{{"title", 5}}, "title fehlt"},
       {{{"title", "x"}, {"plan", "Nope"}},
        "Plan „Nope“ nicht gefunden. Vorhanden: Arbeit"},
       {{{"title", "x"}, {"bucket", "Nope"}},
        "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt"},
       {{{"title", "x"}, {"due_date", "01.03.2025"}},
        "Datum nicht lesbar: 01.03.2025" + date},
       {{{"title", "x"}, {"start_date", "2025-03-01T08:00"}},
        "Datum nicht lesbar: 2025-03-01T08:00" + date},
       {{{"title", "x"}, {"planned_date", "bald"}},
        "Datum nicht lesbar: bald" + date},
       {{{"title", "x"}, {"priority", "High"}}, "Unbekannte Priorität: High"},
       {{{"title", "x"}, {"status", "Halb"}}, "Unbekannter Status: Halb"},
       {{{"title", "x"}, {"labels", {"Rot", "Nope", "Blau"}}},
        "Label „Nope“ existiert nicht im Plan"},
       {{{"title", "x"}, {"goals", {"Urlaub"}}},
        "Ziel „Urlaub“ existiert nicht im Plan"},
       {{{"title", "x"}, {"recurrence", {{"frequency", 1}}}},
        "recurrence.frequency fehlt"},
       {{{"title", "x"},
         {"due_date", "2025-03-14"},
         {"recurrence", {{"frequency", "Weekly"}}}},
        "Unbekannte frequency: Weekly"},
       {{{"title", "x"}, {"recurrence", weekly}},
        "Wiederholung benötigt ein due_date"},
       {{{"title", "x"}, {"due_date", "None"}, {"recurrence", weekly}},
        "Wiederholung benötigt ein due_date"}});

  seed([](ModelContext &c) {
    for (Plan *p : c.fetchPlans())
      c.remove(*p);
    return 0;
  });
  expectFailures("create_card", {{{{"title", "x"}},
                                  "Es existiert noch kein Plan — lege zuerst "
                                  "einen mit create_plan an."}});
}

} // namespace
} // namespace taskory::test
