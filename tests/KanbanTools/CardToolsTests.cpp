#include "ToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

#include <limits>

namespace taskory::test {
namespace {

const std::string kBadID =
    "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";
const std::string kZero = "00000000-0000-4000-8000-000000000000";

// The plan "Arbeit" as create_plan makes it: bucket "Zu erledigen" and 25
// labels (Rot, Blau, Gelb, ...).
class CardTools : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    call("create_plan", {{"title", "Arbeit"}});
    planID = value("SELECT id FROM Plan");
    todo = value("SELECT id FROM Bucket");
  }
  Plan &plan() { return *context().plan(planID); }
  Card &addCard(const std::string &title, double sortOrder = 1024) {
    Card &card = seed().card(*context().bucket(todo), title);
    card.sortOrder = sortOrder;
    return card;
  }
  std::string card(const std::string &title, const std::string &columns) {
    return value("SELECT " + columns + " FROM Card WHERE title = '" + title +
                 "'");
  }
  UUID planID, todo;
};

TEST_F(CardTools, CreateStoresEveryFieldAndConfirms) {
  seed().goal(plan(), "Umzug");
  const UUID done = seed().bucket(plan(), "Erledigt", "#107C10").id;
  json checklist = {"", 42};
  for (int i = 2; i <= 25; ++i)
    checklist.push_back("P" + std::to_string(i));
  const std::string out =
      call("create_card", {{"title", "Steuer"},
                           {"plan", "arbeit"},
                           {"bucket", "erledigt"},
                           {"notes", "none"},
                           {"due_date", "2025-03-14"},
                           {"start_date", "2025-03-01T08:00:00Z"},
                           {"planned_date", "2025-03-13"},
                           {"priority", "Urgent"},
                           {"labels", {"rot", 7, "Blau"}},
                           {"goals", {"umzug"}},
                           {"checklist", checklist}});
  EXPECT_EQ(out, "Angelegt: „Steuer“ (" + shortID(card("Steuer", "id")) +
                     ") – not_started, Bucket Erledigt, Checkliste 0/20, "
                     "fällig 2025-03-14");
  EXPECT_EQ(card("Steuer", "plan, bucket, sortOrder, notes, dueDate, "
                           "startDate, plannedDate, priorityRaw, colorHex"),
            planID + "|" + done +
                "|1024.0|none|1741968000.0|1740816000.0|1741881600.0|1|"
                "#107C10");
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel JOIN PlanLabel l ON l.id = "
                 "label ORDER BY l.slotIndex"),
            (Strings{"Rot", "Blau"}));
  EXPECT_EQ(value("SELECT count(*) FROM CardGoal"), "1");
  EXPECT_EQ(rows("SELECT title || '@' || sortOrder FROM ChecklistItem "
                 "WHERE sortOrder IN (1024, 2048, 20480)"),
            (Strings{"@1024.0", "P2@2048.0", "P20@20480.0"}));
  EXPECT_EQ(value("SELECT count(*) FROM ChecklistItem"), "20");
  EXPECT_EQ(value("SELECT author, timestamp FROM StoreTransaction ORDER BY "
                  "id DESC"),
            "mcp|1741773600.0");
  // Defaults: first bucket; its colour unless one is given.
  for (const json &color : {json(), json("None"), json("#FF0000"), json(5)})
    call("create_card", {{"title", "Farbe " + color.dump()},
                         {"bucket", "Erledigt"},
                         {"color_hex", color}});
  EXPECT_EQ(rows("SELECT ifnull(colorHex, 'NULL') FROM Card WHERE title "
                 "LIKE 'Farbe%'"),
            (Strings{"#107C10", "#107C10", "#FF0000", "#107C10"}));
  call("create_card", {{"title", "Zweite"}});
  EXPECT_EQ(card("Zweite", "bucket, colorHex, sortOrder"),
            todo + "|NULL|6144.0");
}

TEST_F(CardTools, CreateSortsAfterEveryCardOfThePlanAndKeepsTitles) {
  addCard("a", 1024);
  addCard("b", 5000).isArchived = true;
  call("create_card", {{"title", "   "}});
  EXPECT_EQ(card("   ", "sortOrder"), "6024.0");
  const std::string huge(1 << 20, 'x');
  EXPECT_TRUE(call("create_card", {{"title", huge}})
                  .starts_with("Angelegt: „" + huge + "“ ("));
}

TEST_F(CardTools, CreateStoresStatusAndRecurrence) {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const json none = json::array();
  const std::pair<json, json> cases[] = {
      {{{"frequency", "weekly"}, {"interval", 2}, {"days_of_week", {2, 4}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2, 4}}}},
      {{{"frequency", "daily"}, {"interval", 0}, {"days_of_week", {9}}},
       {{"frequency", "daily"}, {"interval", 1}, {"daysOfWeek", {9}}}},
      {{{"frequency", "monthly"}, {"interval", -3}, {"days_of_week", {2, "x"}}},
       {{"frequency", "monthly"}, {"interval", 1}, {"daysOfWeek", none}}},
      {{{"frequency", "weekly"}, {"interval", 2.0}, {"days_of_week", {2.0}}},
       {{"frequency", "weekly"}, {"interval", 2}, {"daysOfWeek", {2}}}},
      {{{"frequency", "daily"}, {"interval", 2.5}},
       {{"frequency", "daily"}, {"interval", 1}, {"daysOfWeek", none}}},
      // Counts beyond the 64-bit range stay huge instead of wrapping.
      {{{"frequency", "yearly"},
        {"interval", json::parse("18446744073709551615")}},
       {{"frequency", "yearly"}, {"interval", kMax}, {"daysOfWeek", none}}},
      {{{"frequency", "yearly"}, {"interval", 1e30}},
       {{"frequency", "yearly"}, {"interval", kMax}, {"daysOfWeek", none}}},
  };
  for (const auto &[input, stored] : cases) {
    const std::string title = input.dump();
    call("create_card", {{"title", title},
                         {"due_date", "2025-03-14"},
                         {"status", 1},
                         {"recurrence", input}});
    const std::string row =
        card(title, "id = recurrenceSeriesID, recurrenceOccurrence, "
                    "percentComplete, CAST(recurrenceRuleData AS TEXT)");
    EXPECT_EQ(row.substr(0, 6), "1|1|0|") << title;
    EXPECT_EQ(json::parse(row.substr(6)), stored) << title;
  }
  call("create_card", {{"title", "ohne"},
                       {"due_date", "2025-03-14"},
                       {"status", "DONE"},
                       {"recurrence", {{"frequency", "NONE"}}}});
  EXPECT_EQ(card("ohne", "recurrenceRuleData, recurrenceSeriesID, "
                         "percentComplete, completedAt"),
            "NULL|NULL|100|1741773600.0");
}

TEST_F(CardTools, CreateCompletedRecurringSpawnsBeforeColourAndChecklist) {
  seed().bucket(plan(), "Erledigt", "#107C10");
  const std::string out =
      call("create_card", {{"title", "Wäsche"},
                           {"bucket", "Erledigt"},
                           {"due_date", "2025-03-14"},
                           {"status", "completed"},
                           {"checklist", {"waschen"}},
                           {"recurrence", {{"frequency", "weekly"}}}});
  const Strings cards =
      rows("SELECT id, colorHex, dueDate, recurrenceSeriesID, "
           "recurrenceOccurrence, recurrenceRuleData IS NOT NULL, sortOrder, "
           "(SELECT count(*) FROM ChecklistItem i WHERE i.card = Card.id) "
           "FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string first = cards[0].substr(0, 36);
  EXPECT_EQ(out, "Angelegt: „Wäsche“ (" + shortID(first) +
                     ") – completed, Bucket Erledigt, Checkliste 0/1, "
                     "fällig 2025-03-14");
  EXPECT_EQ(cards[0].substr(36),
            "|#107C10|1741968000.0|" + first + "|1|0|1024.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|NULL|1742572800.0|" + first + "|2|1|1025.0|0");
}

TEST_F(CardTools, CreateFailuresLeaveTheStoreAsItWas) {
  const json weekly = {{"frequency", "weekly"}};
  const std::string date = " (erwartet YYYY-MM-DD oder ISO-8601)";
  expectFailures(
      "create_card",
      {{json::object(), "title fehlt"},
       {{{"title", 5}}, "title fehlt"},
       {{{"title", "x"}, {"plan", "Nope"}},
        "Plan „Nope“ nicht gefunden. Vorhanden: Arbeit"},
       {{{"title", "x"}, {"bucket", "Nope"}},
        "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen"},
       {{{"title", "x"}, {"due_date", "01.03.2025"}},
        "Datum nicht lesbar: 01.03.2025" + date},
       {{{"title", "x"}, {"planned_date", "bald"}},
        "Datum nicht lesbar: bald" + date},
       {{{"title", "x"}, {"priority", "High"}}, "Unbekannte Priorität: High"},
       {{{"title", "x"}, {"status", "Halb"}}, "Unbekannter Status: Halb"},
       {{{"title", "x"}, {"labels", {"Rot", "Nope"}}},
        "Label „Nope“ existiert nicht im Plan"},
       {{{"title", "x"}, {"goals", {"Urlaub"}}},
        "Ziel „Urlaub“ existiert nicht im Plan"},
       {{{"title", "x"}, {"recurrence", {{"frequency", 1}}}},
        "recurrence.frequency fehlt"},
       {{{"title", "x"},
         {"due_date", "2025-03-14"},
         {"recurrence", {{"frequency", "Weekly"}}}},
        "Unbekannte frequency: Weekly"},
       {{{"title", "x"}, {"due_date", "None"}, {"recurrence", weekly}},
        "Wiederholung benötigt ein due_date"}});
  context().remove(plan());
  expectFailures("create_card", {{{{"title", "x"}},
                                  "Es existiert noch kein Plan — lege zuerst "
                                  "einen mit create_plan an."}});
}

class UpdateCard : public CardTools {
protected:
  void SetUp() override {
    CardTools::SetUp();
    Card &einkaufen = addCard("Einkaufen");
    cardID = einkaufen.id;
    seed().item(einkaufen, "Milch").sortOrder = 3072;
    ChecklistItem &b = seed().item(einkaufen, "Brot"),
                  &m = seed().item(einkaufen, "Milch");
    b.sortOrder = 1024;
    m.sortOrder = 2048;
    brot = b.id;
    milch2 = m.id;
  }
  std::string update(json args) {
    args["card_id"] = cardID;
    return call("update_card", args);
  }
  std::string checks() {
    std::string out;
    for (const auto &row : rows("SELECT isChecked FROM ChecklistItem"))
      out += row;
    return out;
  }
  std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (" + shortID(cardID) + ") – " + rest;
  }
  UUID cardID, brot, milch2;
};

TEST_F(UpdateCard, ChecklistByTitleThenIDAndTheTwentyLimit) {
  EXPECT_EQ(update({{"check_items", {"milch"}}}),
            ack("not_started, Bucket Zu erledigen, Checkliste 1/3"));
  EXPECT_EQ(checks(), "100"); // the first Milch in stored order
  update({{"check_items", {milch2, brot.substr(0, 8)}}});
  EXPECT_EQ(checks(), "111");
  // A lower-case prefix; an entry named in both lists ends unticked.
  std::string lower = milch2.substr(0, 6);
  for (char &c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  update({{"check_items", {lower}}, {"uncheck_items", {lower}}});
  EXPECT_EQ(checks(), "110");
  // A title that looks like an ID wins over the entry with that ID.
  Card &card = *context().card(cardID);
  seed().item(card, "Anderes", false, "DEADBEEF-0000-4000-8000-000000000001");
  seed().item(card, "deadbeef");
  update({{"check_items", {"DEADBEEF"}}});
  EXPECT_EQ(checks(), "11001");

  const std::string out = update({{"add_items", {"", "Eier", 3, "Mehl"}}});
  const Strings added =
      rows("SELECT id, sortOrder FROM ChecklistItem WHERE rowid > 5");
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(out, ack("not_started, Bucket Zu erledigen, Checkliste 3/7 – "
                     "neu: " +
                     shortID(added[0]) + ", " + shortID(added[1])));
  EXPECT_EQ(added[0].substr(36) + added[1].substr(36), "|4096.0|5120.0");
  json thirteen = json::array();
  for (int i = 0; i < 13; ++i)
    thirteen.push_back(std::to_string(i));
  EXPECT_TRUE(update({{"add_items", thirteen}}).starts_with("OK"));
  EXPECT_EQ(update({{"add_items", {"21"}}}),
            "Fehler: Maximal 20 Checklisten-Einträge pro Karte");
  for (int i = 0; i < 2; ++i)
    seed().item(*context().card(cardID), "Alt");
  // A card already over the limit can still be changed.
  EXPECT_EQ(update({{"check_items", {"Brot"}}, {"status", "in_progress"}}),
            ack("in_progress, Bucket Zu erledigen, Checkliste 3/22"));
}

TEST_F(UpdateCard, FieldsFlagsBucketLabelsAndGoals) {
  seed().goal(plan(), "Umzug");
  Bucket &done = seed().bucket(plan(), "Erledigt", "#107C10");
  done.autoProgressRaw = 100;
  const UUID doneID = done.id;
  EXPECT_EQ(update({{"title", "Großeinkauf"},
                    {"bucket", "erledigt"},
                    {"due_date", "2025-03-14T16:30:00Z"},
                    {"is_on_my_day", true},
                    {"is_archived", true},
                    {"add_labels", {"Rot", "Gelb", "Blau"}},
                    {"add_goals", {"umzug"}}}),
            "OK: „Großeinkauf“ (" + shortID(cardID) +
                ") – not_started, Bucket Erledigt, Checkliste 0/3, fällig "
                "2025-03-14");
  // A move keeps the sort order and takes neither colour nor progress.
  const std::string columns = "SELECT title, bucket, dueDate, isOnMyDay, "
                              "isArchived, sortOrder, colorHex, modifiedAt, "
                              "(SELECT count(*) FROM CardGoal) FROM Card";
  EXPECT_EQ(value(columns), "Großeinkauf|" + doneID +
                                "|1741969800.0|1|1|1024.0|NULL|1741773600.0|1");
  const std::string labels = "SELECT group_concat(name) FROM (SELECT l.name "
                             "FROM CardLabel JOIN PlanLabel l ON l.id = "
                             "label ORDER BY l.slotIndex)";
  const std::string rot = value("SELECT id FROM PlanLabel WHERE name = 'Rot'");
  update({{"title", ""},
          {"remove_labels", {"gelb", rot}},
          {"remove_goals", {"UMZUG", "gibt es nicht"}},
          {"is_on_my_day", "false"}});
  EXPECT_EQ(value(labels), "Rot,Blau");
  EXPECT_EQ(value("SELECT title, isOnMyDay, (SELECT count(*) FROM CardGoal) "
                  "FROM Card"),
            "Großeinkauf|1|0");
  update({{"labels", {"gelb", "Blau"}}});
  EXPECT_EQ(value(labels), "Gelb,Blau");
  // Without a plan, bucket and labels are ignored.
  const UUID loose = seed().card(nullptr, "lose").id;
  EXPECT_TRUE(call("update_card", {{"card_id", loose},
                                   {"bucket", "Nirgends"},
                                   {"add_labels", {"Nirgends"}}})
                  .starts_with("OK"));
}

TEST_F(UpdateCard, RecurringCardsClearAndComplete) {
  Card &card = *context().card(cardID);
  card.dueDate = 1741968000;
  card.setRecurrenceRule(RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  context().checklistItems(card)[1]->isChecked = true;
  EXPECT_EQ(update({{"status", "completed"}}),
            ack("completed, Bucket Zu erledigen, Checkliste 1/3, fällig "
                "2025-03-14"));
  const Strings cards = rows(
      "SELECT id, bucket, dueDate, recurrenceSeriesID, recurrenceOccurrence, "
      "percentComplete, completedAt, recurrenceRuleData IS NULL FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string next = cards[1].substr(0, 36);
  EXPECT_EQ(cards[0].substr(36),
            "|" + todo + "|1741968000.0|" + cardID + "|1|100|1741773600.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|" + todo + "|1742572800.0|" + cardID + "|2|0|NULL|0");
  EXPECT_EQ(rows("SELECT title || '@' || sortOrder || '/' || isChecked FROM "
                 "ChecklistItem WHERE card = '" +
                 next + "'"),
            (Strings{"Brot@1024.0/0", "Milch@2048.0/0", "Milch@3072.0/0"}));
  // One history transaction by "mcp": the old card, the new one, 3 entries.
  EXPECT_EQ(rows("SELECT kind, count(*) FROM StoreChange JOIN StoreTransaction "
                 "t ON t.id = txn WHERE t.id = (SELECT max(id) FROM "
                 "StoreTransaction) AND t.author = 'mcp' GROUP BY kind"),
            (Strings{"insert|4", "update|1"}));
  // Clearing the due date removes the rule.
  call("update_card", {{"card_id", next}, {"due_date", "none"}});
  EXPECT_EQ(value("SELECT dueDate, recurrenceRuleData FROM Card WHERE id = '" +
                  next + "'"),
            "NULL|NULL");
}

TEST_F(UpdateCard, FailuresLeaveTheStoreAsItWas) {
  Card &card = *context().card(cardID);
  for (int i = 0; i < 15; ++i)
    seed().item(card, "Punkt");
  seed().item(card, "x", false, "ABCDEF01-0000-4000-8000-000000000001");
  seed().item(card, "x", false, "ABCDEF02-0000-4000-8000-000000000002");
  seed().card(nullptr, "Zwilling", "ABCDEF01-0000-4000-8000-000000000001");
  seed().card(nullptr, "Zwilling", "ABCDEF02-0000-4000-8000-000000000002");
  const json c = cardID;
  const std::string ambiguous = "“ ist mehrdeutig (2 Treffer) – mehr Zeichen "
                                "angeben";
  expectFailures(
      "update_card",
      {{{{"title", "x"}}, kBadID},
       {{{"card_id", "Einkaufen"}}, kBadID},
       {{{"card_id", kZero}}, "Karte mit ID " + kZero + " nicht gefunden"},
       {{{"card_id", "abcdef"}}, "ID-Kürzel „abcdef" + ambiguous},
       {{{"card_id", c}, {"check_items", {"Brot", "Butter"}}},
        "Checklisten-Eintrag „Butter“ nicht gefunden"},
       {{{"card_id", c}, {"uncheck_items", {kZero}}},
        "Checklisten-Eintrag „" + kZero + "“ nicht gefunden"},
       {{{"card_id", c}, {"check_items", {"AbCdEf"}}},
        "ID-Kürzel „AbCdEf" + ambiguous},
       // 20 entries plus 1: over the limit, whatever else is valid.
       {{{"card_id", c},
         {"check_items", {"Brot"}},
         {"title", "neu"},
         {"add_items", {"a"}}},
        "Maximal 20 Checklisten-Einträge pro Karte"},
       {{{"card_id", c}, {"title", "neu"}, {"due_date", "gestern"}},
        "Datum nicht lesbar: gestern (erwartet YYYY-MM-DD oder ISO-8601)"},
       {{{"card_id", c}, {"title", "neu"}, {"bucket", "Nope"}},
        "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen"},
       {{{"card_id", c}, {"is_archived", true}, {"add_labels", {"Nope"}}},
        "Label „Nope“ existiert nicht im Plan"},
       {{{"card_id", c}, {"check_items", {"Brot"}}, {"add_goals", {"Nope"}}},
        "Ziel „Nope“ existiert nicht im Plan"},
       {{{"card_id", c}, {"status", "fertig"}}, "Unbekannter Status: fertig"},
       {{{"card_id", c}, {"recurrence", {{"frequency", "weekly"}}}},
        "Wiederholung benötigt ein due_date"}});
  // Ten thousand references resolve (and one bad one still changes nothing).
  json references = json::array();
  for (int i = 0; i < 10000; ++i)
    references.push_back(i % 3 == 0   ? json("milCH")
                         : i % 3 == 1 ? json(brot.substr(0, 6 + i % 30))
                                      : json("abcdef02"));
  references.push_back("gibt es nicht");
  expectFailures("update_card",
                 {{{{"card_id", c}, {"check_items", references}},
                   "Checklisten-Eintrag „gibt es nicht“ nicht gefunden"}});
  references.erase(references.size() - 1);
  EXPECT_TRUE(update({{"check_items", references}}).starts_with("OK"));
  EXPECT_EQ(value("SELECT group_concat(isChecked, '') FROM ChecklistItem"),
            "110" + std::string(15, '0') + "01");
}

TEST_F(CardTools, DeleteTakesItsPartsAndLinksButOnlyThatCard) {
  Card &keep = addCard("Wäsche", 1);
  Card &gone = addCard("Wäsche", 2);
  seed().item(gone, "Klebeband");
  seed().item(keep, "Schere");
  seed().attachment(gone, "Liste", std::nullopt);
  seed().tag(gone, seed().goal(plan(), "Umzug"));
  seed().tag(gone, *context().labels(plan()).front());
  const UUID goneID = gone.id;
  EXPECT_EQ(call("delete_card", {{"card_id", shortID(goneID)}}),
            "Karte „Wäsche“ gelöscht.");
  EXPECT_EQ(value("SELECT group_concat(sortOrder) FROM Card"), "1.0");
  EXPECT_EQ(rows("SELECT title FROM ChecklistItem"), Strings{"Schere"});
  EXPECT_EQ(value("SELECT (SELECT count(*) FROM CardAttachment), (SELECT "
                  "count(*) FROM CardGoal), (SELECT count(*) FROM CardLabel), "
                  "(SELECT count(*) FROM Goal), (SELECT count(*) FROM "
                  "PlanLabel)"),
            "0|0|0|1|25");
  EXPECT_EQ(value("SELECT t.author FROM StoreChange c JOIN StoreTransaction t "
                  "ON t.id = c.txn WHERE c.entityID = '" +
                  goneID + "' AND c.kind = 'delete'"),
            "mcp");
  expectFailures(
      "delete_card",
      {{json::object(), kBadID},
       {{{"card_id", "Wäsche"}}, kBadID},
       {{{"card_id", kZero}}, "Karte mit ID " + kZero + " nicht gefunden"}});
}

TEST_F(ToolsTest, DatesStatusAndPriorityWords) {
  const std::pair<const char *, std::optional<Date>> dates[] = {
      {"", std::nullopt},
      {"NULL", std::nullopt},
      {"2025-03-01T09:30:00+01:00", 1740817800},
      {"2025-03-01T02:30:00-05:30", 1740816000},
      {"1969-12-31T23:59:59Z", -1},
      {"9999-12-31T23:59:59Z", 253402300799},
      {"2025-3-1", 1740844800},   // 17:00 CET
      {"2025-03-30", 1743346800}, // spring-forward day, 17:00 CEST
  };
  for (const auto &[text, expected] : dates)
    EXPECT_EQ(tools().parseOptionalDate(text), expected) << text;
  // Samoa skipped 30 December 2011: its next existing time is the 31st, 00:00.
  const Calendar apia("Pacific/Apia", "de_DE");
  EXPECT_EQ(KanbanTools(context(), kNow, apia).parseOptionalDate("2011-12-30"),
            apia.date(2011, 12, 31));
  for (const char *text :
       {"01.03.2025", "2025-03-01T08:00", "2025-03-01T08:00:00.500Z",
        "2025-03-01 08:00:00Z", " 2025-03-01", "2025-02-29", "2025-04-31",
        "2025-03-01T24:00:00Z", "2025-03-01T23:59:60Z",
        "2025-03-01T08:00:00+0100", "2025-03-01T08:00:00z", "noneX",
        "0000-01-01", "10000-01-01", "99999999999999999999-01-01"})
    EXPECT_EQ(errorOf([&] { tools().parseOptionalDate(text); }),
              std::string("Datum nicht lesbar: ") + text +
                  " (erwartet YYYY-MM-DD oder ISO-8601)");
  const std::pair<const char *, CardProgress> statuses[] = {
      {"NotStarted", CardProgress::notStarted},
      {"IN_PROGRESS", CardProgress::inProgress},
      {"inprogress", CardProgress::inProgress},
      {"DONE", CardProgress::completed}};
  for (const auto &[text, expected] : statuses)
    EXPECT_EQ(KanbanTools::parseStatus(text), expected) << text;
  EXPECT_EQ(KanbanTools::parsePriority("Important"), Priority::important);
  EXPECT_EQ(KanbanTools::parsePriority("low"), Priority::low);
  for (const char *text : {"in progress", "done "})
    EXPECT_EQ(errorOf([&] { KanbanTools::parseStatus(text); }),
              std::string("Unbekannter Status: ") + text);
  EXPECT_EQ(errorOf([&] { KanbanTools::parsePriority("high"); }),
            "Unbekannte Priorität: high");
}

} // namespace
} // namespace taskory::test
