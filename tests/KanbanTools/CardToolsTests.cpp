#include "ToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

namespace taskory::test {
namespace {

// The plan "Arbeit" as create_plan makes it (bucket "Zu erledigen", 25
// labels Rot, Blau, Gelb, ...), a bucket "Erledigt" with a colour and a
// goal; for update_card a card C0000000 with three checklist entries.
class CardTools : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    call("create_plan", {{"title", "Arbeit"}});
    todo = value("SELECT id FROM Bucket");
    done = seed().bucket(plan(), "Erledigt", "#107C10").id;
    seed().goal(plan(), "Umzug");
  }
  Plan &plan() { return *context().plan(value("SELECT id FROM Plan")); }
  Card &addCard(const std::string &title, const UUID &id = {}) {
    return seed().card(*context().bucket(todo), title, id);
  }
  std::string card(const std::string &title, const std::string &columns) {
    return value("SELECT " + columns + " FROM Card WHERE title = '" + title +
                 "'");
  }
  UUID todo, done;
};

TEST_F(CardTools, CreateStoresEveryFieldAndConfirms) {
  json args = R"({"title": "Steuer", "plan": "arbeit", "bucket": "erledigt",
    "notes": "none", "due_date": "2025-03-14", "priority": "Urgent",
    "start_date": "2025-03-01T08:00:00Z", "planned_date": "2025-03-13",
    "labels": ["rot", 7, "Blau"], "goals": ["umzug"], "checklist": ["", 42]})"_json;
  for (int i = 2; i <= 25; ++i)
    args["checklist"].push_back("P" + std::to_string(i));
  const std::string out = call("create_card", args);
  EXPECT_EQ(out,
            "Angelegt: „Steuer“ (" + shortID(card("Steuer", "id")) +
                ") – not_started, Bucket Erledigt, Checkliste 0/20, fällig "
                "2025-03-14");
  EXPECT_EQ(card("Steuer", "bucket, sortOrder, notes, dueDate, startDate, "
                           "plannedDate, priorityRaw, colorHex"),
            done + "|1024.0|none|1741968000.0|1740816000.0|1741881600.0|1|"
                   "#107C10");
  EXPECT_EQ(value("SELECT group_concat(name), (SELECT count(*) FROM CardGoal) "
                  "FROM (SELECT l.name FROM CardLabel JOIN PlanLabel l ON "
                  "l.id = label ORDER BY l.slotIndex)"),
            "Rot,Blau|1");
  EXPECT_EQ(value("SELECT count(*), group_concat(title || '@' || sortOrder) "
                  "FROM ChecklistItem WHERE sortOrder IN (1024, 2048, 20480)"),
            "3|@1024.0,P2@2048.0,P20@20480.0");
  EXPECT_EQ(value("SELECT count(*) FROM ChecklistItem"), "20");
  EXPECT_EQ(value("SELECT author, timestamp FROM StoreTransaction ORDER BY "
                  "id DESC"),
            "mcp|1741773600.0");
  // The bucket's colour unless one is given; the first bucket by default;
  // after the highest card of the plan, archived ones too.
  for (const json &color : {json(), json("None"), json("#FF0000"), json(5)})
    call("create_card",
         {{"title", "Farbe"}, {"bucket", "Erledigt"}, {"color_hex", color}});
  EXPECT_EQ(card("Farbe", "group_concat(ifnull(colorHex, '-'))"),
            "#107C10,#107C10,#FF0000,#107C10");
  Card &old = addCard("alt");
  old.sortOrder = 9000;
  old.isArchived = true;
  call("create_card", {{"title", "   "}});
  EXPECT_EQ(card("   ", "bucket, colorHex, sortOrder"), todo + "|NULL|10024.0");
  const std::string huge(1 << 20, 'x');
  EXPECT_TRUE(call("create_card", {{"title", huge}})
                  .starts_with("Angelegt: „" + huge + "“ ("));
}

TEST_F(CardTools, CreateStoresStatusAndRecurrence) {
  // Counts beyond the 64-bit range stay huge instead of wrapping.
  for (const auto &[input, stored] : table(R"(
{"frequency": "weekly", "interval": 2, "days_of_week": [2, 4]} | {"frequency":"weekly","interval":2,"daysOfWeek":[2,4]}
{"frequency": "daily", "interval": 0, "days_of_week": [9]} | {"frequency":"daily","interval":1,"daysOfWeek":[9]}
{"frequency": "monthly", "interval": -3, "days_of_week": [2, "x"]} | {"frequency":"monthly","interval":1,"daysOfWeek":[]}
{"frequency": "weekly", "interval": 2.0, "days_of_week": [2.0]} | {"frequency":"weekly","interval":2,"daysOfWeek":[2]}
{"frequency": "daily", "interval": 2.5} | {"frequency":"daily","interval":1,"daysOfWeek":[]}
{"frequency": "yearly", "interval": 18446744073709551615} | {"frequency":"yearly","interval":9223372036854775807,"daysOfWeek":[]}
{"frequency": "yearly", "interval": 1e30} | {"frequency":"yearly","interval":9223372036854775807,"daysOfWeek":[]}
)")) {
    const std::string title = input.dump();
    call("create_card", {{"title", title},
                         {"due_date", "2025-03-14"},
                         {"status", 1},
                         {"recurrence", input}});
    const std::string row =
        card(title, "id = recurrenceSeriesID, recurrenceOccurrence, "
                    "percentComplete, CAST(recurrenceRuleData AS TEXT)");
    EXPECT_EQ(row.substr(0, 6), "1|1|0|") << title;
    EXPECT_EQ(json::parse(row.substr(6)), json::parse(stored)) << title;
  }
  call("create_card", R"({"title": "ohne", "due_date": "2025-03-14",
    "status": "DONE", "recurrence": {"frequency": "NONE"}})"_json);
  EXPECT_EQ(card("ohne", "recurrenceRuleData, recurrenceSeriesID, "
                         "percentComplete, completedAt"),
            "NULL|NULL|100|1741773600.0");
}

TEST_F(CardTools, CreateCompletedRecurringSpawnsBeforeColourAndChecklist) {
  const std::string out = call("create_card", R"({"title": "Wäsche",
    "bucket": "Erledigt", "due_date": "2025-03-14", "status": "completed",
    "checklist": ["waschen"], "recurrence": {"frequency": "weekly"}})"_json);
  const Strings cards =
      rows("SELECT id, colorHex, dueDate, recurrenceSeriesID, "
           "recurrenceOccurrence, recurrenceRuleData IS NOT NULL, sortOrder, "
           "(SELECT count(*) FROM ChecklistItem i WHERE i.card = Card.id) "
           "FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string first = cards[0].substr(0, 36);
  EXPECT_EQ(out, "Angelegt: „Wäsche“ (" + shortID(first) +
                     ") – completed, Bucket Erledigt, Checkliste 0/1, fällig "
                     "2025-03-14");
  EXPECT_EQ(cards[0].substr(36),
            "|#107C10|1741968000.0|" + first + "|1|0|1024.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|NULL|1742572800.0|" + first + "|2|1|1025.0|0");
}

TEST_F(CardTools, CreateFailuresLeaveTheStoreAsItWas) {
  expectFailures("create_card", table(R"(
{} | title fehlt
{"title": 5} | title fehlt
{"title": "x", "plan": "Nope"} | Plan „Nope“ nicht gefunden. Vorhanden: Arbeit
{"title": "x", "bucket": "Nope"} | Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt
{"title": "x", "due_date": "01.03.2025"} | Datum nicht lesbar: 01.03.2025 (erwartet YYYY-MM-DD oder ISO-8601)
{"title": "x", "planned_date": "bald"} | Datum nicht lesbar: bald (erwartet YYYY-MM-DD oder ISO-8601)
{"title": "x", "priority": "High"} | Unbekannte Priorität: High
{"title": "x", "status": "Halb"} | Unbekannter Status: Halb
{"title": "x", "labels": ["Rot", "Nope"]} | Label „Nope“ existiert nicht im Plan
{"title": "x", "goals": ["Urlaub"]} | Ziel „Urlaub“ existiert nicht im Plan
{"title": "x", "recurrence": {"frequency": 1}} | recurrence.frequency fehlt
{"title": "x", "due_date": "2025-03-14", "recurrence": {"frequency": "Weekly"}} | Unbekannte frequency: Weekly
{"title": "x", "due_date": "None", "recurrence": {"frequency": "weekly"}} | Wiederholung benötigt ein due_date
)"));
  context().remove(plan());
  expectFailures("create_card", table(R"(
{"title": "x"} | Es existiert noch kein Plan — lege zuerst einen mit create_plan an.
)"));
}

class UpdateCard : public CardTools {
protected:
  void SetUp() override {
    CardTools::SetUp();
    Card &card = addCard("Einkaufen", "C0000000-0000-4000-8000-000000000000");
    const std::tuple<const char *, double, const char *> items[] = {
        {"Milch", 3072, "A0000001-0000-4000-8000-000000000000"},
        {"Brot", 1024, "B0000002-0000-4000-8000-000000000000"},
        {"Milch", 2048, "A0000003-0000-4000-8000-000000000000"}};
    for (const auto &[title, sortOrder, id] : items)
      seed().item(card, title, false, id).sortOrder = sortOrder;
  }
  std::string update(json args) {
    args["card_id"] = "C0000000";
    return call("update_card", args);
  }
  std::string checks() {
    return value("SELECT group_concat(isChecked, '') FROM ChecklistItem");
  }
  static std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (C0000000) – " + rest;
  }
};

TEST_F(UpdateCard, ChecklistByTitleThenIDAndTheTwentyLimit) {
  EXPECT_EQ(update({{"check_items", {"milch"}}}),
            ack("not_started, Bucket Zu erledigen, Checkliste 1/3"));
  EXPECT_EQ(checks(), "100"); // the first Milch in stored order
  update({{"check_items", {"A0000003-0000-4000-8000-000000000000", "b00000"}}});
  EXPECT_EQ(checks(), "111");
  // An entry named in both lists ends unticked.
  update({{"check_items", {"a0000003"}}, {"uncheck_items", {"A0000003-0"}}});
  EXPECT_EQ(checks(), "110");
  // A title that looks like an ID wins over the entry with that ID.
  Card &card = *context().card("C0000000-0000-4000-8000-000000000000");
  seed().item(card, "Anderes", false, "DEADBEEF-0000-4000-8000-000000000001");
  seed().item(card, "deadbeef").sortOrder = 2;
  update({{"check_items", {"DEADBEEF"}}});
  EXPECT_EQ(checks(), "11001");

  const std::string out = update({{"add_items", {"", "Eier", 3, "Mehl"}}});
  const Strings added =
      rows("SELECT id, sortOrder FROM ChecklistItem WHERE rowid > 5");
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(out,
            ack("not_started, Bucket Zu erledigen, Checkliste 3/7 – neu: " +
                shortID(added[0]) + ", " + shortID(added[1])));
  EXPECT_EQ(added[0].substr(36) + added[1].substr(36), "|4096.0|5120.0");
  json thirteen = json::array();
  for (int i = 0; i < 13; ++i)
    thirteen.push_back(std::to_string(i));
  EXPECT_TRUE(update({{"add_items", thirteen}}).starts_with("OK"));
  EXPECT_EQ(update({{"add_items", {"21"}}}),
            "Fehler: Maximal 20 Checklisten-Einträge pro Karte");
  seed().item(*context().card("C0000000-0000-4000-8000-000000000000"), "Alt");
  // A card already over the limit can still be changed.
  EXPECT_EQ(update({{"check_items", {"Brot"}}, {"status", "in_progress"}}),
            ack("in_progress, Bucket Zu erledigen, Checkliste 3/21"));
}

TEST_F(UpdateCard, FieldsFlagsBucketLabelsAndGoals) {
  context().bucket(done)->autoProgressRaw = 100;
  EXPECT_EQ(update(R"({"title": "Großeinkauf", "bucket": "erledigt",
    "due_date": "2025-03-14T16:30:00Z", "is_on_my_day": true,
    "is_archived": true, "add_labels": ["Rot", "Gelb", "Blau"],
    "add_goals": ["umzug"]})"_json),
            "OK: „Großeinkauf“ (C0000000) – not_started, Bucket Erledigt, "
            "Checkliste 0/3, fällig 2025-03-14");
  // A move keeps the sort order and takes neither colour nor progress.
  const std::string columns =
      "SELECT title, bucket, dueDate, isOnMyDay, isArchived, colorHex, "
      "percentComplete, modifiedAt, (SELECT count(*) FROM CardGoal), (SELECT "
      "group_concat(name) FROM (SELECT l.name FROM CardLabel JOIN PlanLabel l "
      "ON l.id = label ORDER BY l.slotIndex)) FROM Card";
  EXPECT_EQ(value(columns), "Großeinkauf|" + done +
                                "|1741969800.0|1|1|NULL|0|1741773600.0|1|"
                                "Rot,Gelb,Blau");
  const std::string rot = value("SELECT id FROM PlanLabel WHERE name = 'Rot'");
  update({{"title", ""},
          {"remove_labels", {"gelb", rot}},
          {"remove_goals", {"UMZUG", "gibt es nicht"}},
          {"is_on_my_day", "false"}});
  EXPECT_EQ(value(columns), "Großeinkauf|" + done +
                                "|1741969800.0|1|1|NULL|0|1741773600.0|0|"
                                "Rot,Blau");
  update({{"labels", {"gelb", "Blau"}}});
  EXPECT_TRUE(value(columns).ends_with("|Gelb,Blau"));
  // Without a plan, bucket and labels are ignored.
  seed().card(nullptr, "lose", "10000000-0000-4000-8000-000000000000");
  EXPECT_TRUE(call("update_card", R"({"card_id": "10000000",
    "bucket": "Nirgends", "add_labels": ["Nirgends"]})"_json)
                  .starts_with("OK"));
}

TEST_F(UpdateCard, CompletingARecurringCardCreatesTheNext) {
  Card &card = *context().card("C0000000-0000-4000-8000-000000000000");
  card.dueDate = 1741968000;
  card.setRecurrenceRule(RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  context().checklistItems(card)[0]->isChecked = true;
  const UUID series = card.id;
  EXPECT_EQ(update({{"status", "completed"}}),
            ack("completed, Bucket Zu erledigen, Checkliste 1/3, fällig "
                "2025-03-14"));
  const Strings cards = rows(
      "SELECT id, bucket, dueDate, recurrenceSeriesID, recurrenceOccurrence, "
      "percentComplete, completedAt, recurrenceRuleData IS NULL FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string next = cards[1].substr(0, 36);
  EXPECT_EQ(cards[0].substr(36),
            "|" + todo + "|1741968000.0|" + series + "|1|100|1741773600.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|" + todo + "|1742572800.0|" + series + "|2|0|NULL|0");
  EXPECT_EQ(value("SELECT group_concat(title || sortOrder || isChecked) FROM "
                  "ChecklistItem WHERE card = '" +
                  next + "'"),
            "Brot1024.00,Milch2048.00,Milch3072.00");
  // One history transaction: the old card, the new one, 3 entries.
  EXPECT_EQ(rows("SELECT kind, count(*) FROM StoreChange WHERE txn = (SELECT "
                 "max(id) FROM StoreTransaction) GROUP BY kind"),
            (Strings{"insert|4", "update|1"}));
  // Clearing the due date removes the rule.
  call("update_card", {{"card_id", next}, {"due_date", "none"}});
  EXPECT_EQ(value("SELECT dueDate, recurrenceRuleData FROM Card WHERE id = '" +
                  next + "'"),
            "NULL|NULL");
}

TEST_F(UpdateCard, FailuresLeaveTheStoreAsItWas) {
  Card &card = *context().card("C0000000-0000-4000-8000-000000000000");
  for (int i = 0; i < 15; ++i)
    seed().item(card, "Punkt");
  seed().item(card, "x", false, "ABCDEF01-0000-4000-8000-000000000001");
  seed().item(card, "x", false, "ABCDEF02-0000-4000-8000-000000000002");
  addCard("Zwilling", "ABCDEF01-0000-4000-8000-000000000001");
  addCard("Zwilling", "ABCDEF02-0000-4000-8000-000000000002");
  // 20 entries plus one fail, whatever else is valid.
  expectFailures("update_card", table(R"(
{"title": "x"} | card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)
{"card_id": "Einkaufen"} | card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)
{"card_id": "00000000-0000-4000-8000-000000000000"} | Karte mit ID 00000000-0000-4000-8000-000000000000 nicht gefunden
{"card_id": "abcdef"} | ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben
{"card_id": "C0000000", "check_items": ["Brot", "Butter"]} | Checklisten-Eintrag „Butter“ nicht gefunden
{"card_id": "C0000000", "uncheck_items": ["fedcba"]} | Checklisten-Eintrag „fedcba“ nicht gefunden
{"card_id": "C0000000", "check_items": ["AbCdEf"]} | ID-Kürzel „AbCdEf“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben
{"card_id": "C0000000", "check_items": ["Brot"], "title": "neu", "add_items": ["a"]} | Maximal 20 Checklisten-Einträge pro Karte
{"card_id": "C0000000", "title": "neu", "due_date": "gestern"} | Datum nicht lesbar: gestern (erwartet YYYY-MM-DD oder ISO-8601)
{"card_id": "C0000000", "title": "neu", "bucket": "Nope"} | Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt
{"card_id": "C0000000", "is_archived": true, "add_labels": ["Nope"]} | Label „Nope“ existiert nicht im Plan
{"card_id": "C0000000", "check_items": ["Brot"], "add_goals": ["Nope"]} | Ziel „Nope“ existiert nicht im Plan
{"card_id": "C0000000", "status": "fertig"} | Unbekannter Status: fertig
{"card_id": "C0000000", "recurrence": {"frequency": "weekly"}} | Wiederholung benötigt ein due_date
)"));
  // Ten thousand references resolve, and one bad one still changes nothing.
  json references = json::array();
  for (int i = 0; i < 10000; ++i)
    references.push_back(i % 3 == 0 ? "milCH"
                         : i % 3 == 1
                             ? std::string("B0000002").substr(0, 6 + i % 3)
                             : "abcdef02");
  references.push_back("gibt es nicht");
  expectFailures("update_card",
                 {{{{"card_id", "C0000000"}, {"check_items", references}},
                   "Checklisten-Eintrag „gibt es nicht“ nicht gefunden"}});
  references.erase(references.size() - 1);
  EXPECT_TRUE(update({{"check_items", references}}).starts_with("OK"));
  EXPECT_EQ(checks(), "110" + std::string(15, '0') + "01");
}

TEST_F(CardTools, DeleteTakesItsPartsAndLinksButOnlyThatCard) {
  Card &keep = addCard("Wäsche"), &gone = addCard("Wäsche");
  seed().item(gone, "Klebeband");
  seed().item(keep, "Schere");
  seed().attachment(gone, "Liste", std::nullopt);
  seed().tag(gone, *context().goals(plan()).front());
  seed().tag(gone, *context().labels(plan()).front());
  const UUID goneID = gone.id, keepID = keep.id;
  EXPECT_EQ(call("delete_card", {{"card_id", shortID(goneID)}}),
            "Karte „Wäsche“ gelöscht.");
  EXPECT_EQ(value("SELECT group_concat(id), (SELECT group_concat(title) FROM "
                  "ChecklistItem), (SELECT count(*) FROM CardAttachment), "
                  "(SELECT count(*) FROM CardGoal), (SELECT count(*) FROM "
                  "CardLabel), (SELECT count(*) FROM Goal), (SELECT count(*) "
                  "FROM PlanLabel) FROM Card"),
            keepID + "|Schere|0|0|0|1|25");
  EXPECT_EQ(value("SELECT t.author FROM StoreChange c JOIN StoreTransaction t "
                  "ON t.id = c.txn WHERE c.entityID = '" +
                  goneID + "' AND c.kind = 'delete'"),
            "mcp");
  expectFailures("delete_card", table(R"(
{} | card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)
{"card_id": "Wäsche"} | card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)
{"card_id": "00000000-0000-4000-8000-000000000000"} | Karte mit ID 00000000-0000-4000-8000-000000000000 nicht gefunden
)"));
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
