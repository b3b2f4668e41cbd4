#include "ToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

#include <cstdio>

namespace taskory::test {
namespace {

// The plan "Arbeit" as create_plan makes it (bucket "Zu erledigen", labels
// Rot, Blau, Gelb, ...), a coloured bucket "Erledigt" and a goal.
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
  // The card labels by slot, then the number of goal links.
  std::string tags() {
    return value("SELECT group_concat(name), (SELECT count(*) FROM CardGoal) "
                 "FROM (SELECT l.name "
                 "FROM CardLabel JOIN PlanLabel l ON l.id = label ORDER BY "
                 "l.slotIndex)");
  }
  // A date as the store keeps it, in SQLite's text of a real.
  static std::string stored(Date date) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", date);
    return text;
  }
  UUID todo, done;
};

TEST_F(CardTools, CreateStoresEveryFieldItConfirms) {
  json args = R"({"title": "Steuer", "plan": "arbeit", "bucket": "erledigt",
    "notes": "none", "due_date": "2025-03-14", "priority": "Urgent",
    "start_date": "2025-03-01T08:00:00Z", "planned_date": "2025-03-13",
    "labels": ["rot", "Blau"], "goals": ["umzug"], "checklist": [""]})"_json;
  for (int i = 2; i <= 25; ++i)
    args["checklist"].push_back("P" + std::to_string(i));
  const std::string out = call("create_card", args);
  EXPECT_EQ(out, "Angelegt: „Steuer“ (" + shortID(card("Steuer", "id")) +
                     ") – not_started, Bucket Erledigt, Checkliste 0/20, "
                     "fällig 2025-03-14");
  EXPECT_EQ(card("Steuer", "bucket, sortOrder, notes, dueDate, startDate, "
                           "plannedDate, priorityRaw, colorHex"),
            done + "|1024.0|none|" + stored(local(2025, 3, 14, 17)) + "|" +
                stored(local(2025, 3, 1, 9)) + "|" +
                stored(local(2025, 3, 13, 17)) + "|1|#107C10");
  EXPECT_EQ(tags(), "Rot,Blau|1");
  EXPECT_EQ(
      value(
          "SELECT count(*), (SELECT group_concat(title || '@' || sortOrder) "
          "FROM "
          "ChecklistItem WHERE sortOrder IN (1024, 20480)) FROM ChecklistItem"),
      "20|@1024.0,P20@20480.0");
}

TEST_F(CardTools, ANewCardTakesItsBucketsColourUnlessGivenOne) {
  for (const char *color : {"None", "#FF0000"})
    call("create_card",
         {{"title", "Farbe"}, {"bucket", "Erledigt"}, {"color_hex", color}});
  EXPECT_EQ(card("Farbe", "group_concat(ifnull(colorHex, '-'))"),
            "#107C10,#FF0000");
}

TEST_F(CardTools, ANewCardGoesAfterTheHighestOfItsPlanArchivedToo) {
  Card &old = addCard("alt");
  old.sortOrder = 9000;
  old.isArchived = true;
  call("create_card", {{"title", "   "}});
  EXPECT_EQ(card("   ", "bucket, colorHex, sortOrder"), todo + "|NULL|10024.0");
}

TEST_F(CardTools, CreatingACompletedRecurringCardSpawnsTheNext) {
  // Completed with a rule: the next one spawns before colour and checklist.
  call("create_card", R"({"title": "Wäsche", "bucket": "Erledigt",
    "due_date": "2025-03-14", "status": "completed", "checklist": ["waschen"],
    "recurrence": {"frequency": "weekly"}})"_json);
  EXPECT_EQ(
      rows("SELECT colorHex, dueDate, recurrenceOccurrence, sortOrder, (SELECT "
           "count(*) FROM "
           "ChecklistItem i WHERE i.card = Card.id) FROM Card"),
      (Strings{"#107C10|" + stored(local(2025, 3, 14, 17)) + "|1|1024.0|1",
               "NULL|" + stored(local(2025, 3, 21, 17)) + "|2|1025.0|0"}));
}

TEST_F(CardTools, CreateReadsOddArgumentsOfARecurringCardLeniently) {
  // A count beyond the 64-bit range is no integer, so the interval is 1; one
  // day that is not a whole number drops the list.
  call("create_card", R"({"title": "Groß", "due_date": "2025-03-14",
    "status": 1, "recurrence": {"frequency": "yearly", "days_of_week": [2, "x"],
    "interval": 18446744073709551615}})"_json);
  EXPECT_EQ(card("Groß", "id = recurrenceSeriesID AND recurrenceOccurrence = 1 "
                         "AND percentComplete = 0"),
            "1");
  EXPECT_EQ(json::parse(card("Groß", "CAST(recurrenceRuleData AS TEXT)")),
            R"({"frequency":"yearly","interval":1,
                "daysOfWeek":[]})"_json);
  call("create_card", R"({"title": "ohne", "due_date": "2025-03-14",
    "status": "DONE", "recurrence": {"frequency": "NONE"}})"_json);
  EXPECT_EQ(card("ohne", "recurrenceRuleData, recurrenceSeriesID, "
                         "percentComplete, completedAt"),
            "NULL|NULL|100|" + stored(kNow));
}

TEST_F(CardTools, CreateFailuresLeaveTheStoreAsItWas) {
  expectFailures("create_card", table(R"(
{} | title fehlt
{"title": "x", "priority": "High"} | Unbekannte Priorität: High
{"title": "x", "status": "Halb"} | Unbekannter Status: Halb
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
  Card &card() {
    return *context().card("C0000000-0000-4000-8000-000000000000");
  }
  std::string update(json args) {
    args["card_id"] = "C0000000";
    return call("update_card", args);
  }
  // The ticked entries in stored order, each as title and ID prefix.
  Strings ticked() {
    return rows("SELECT title || ' ' || substr(id, 1, 8) FROM ChecklistItem "
                "WHERE isChecked <> 0 "
                "ORDER BY rowid");
  }
};

TEST_F(UpdateCard, ChecklistEntriesByTitleBeforeID) {
  update({{"check_items", {"milch"}}});
  EXPECT_EQ(ticked(), Strings{"Milch A0000001"}); // the first in stored order
  update({{"check_items", {"A0000003-0000-4000-8000-000000000000", "b00000"}}});
  EXPECT_EQ(ticked(),
            (Strings{"Milch A0000001", "Brot B0000002", "Milch A0000003"}));
  // An entry named in both lists ends unticked.
  update({{"check_items", {"a0000003"}}, {"uncheck_items", {"A0000003-0"}}});
  EXPECT_EQ(ticked(), (Strings{"Milch A0000001", "Brot B0000002"}));
  // A title that looks like an ID wins over the entry with that ID.
  seed().item(card(), "Anderes", false, "DEADBEEF-0000-4000-8000-000000000001");
  seed()
      .item(card(), "deadbeef", false, "EEEEEEEE-0000-4000-8000-000000000002")
      .sortOrder = 2;
  update({{"check_items", {"DEADBEEF"}}});
  EXPECT_EQ(ticked(),
            (Strings{"Milch A0000001", "Brot B0000002", "deadbeef EEEEEEEE"}));
}

TEST_F(UpdateCard, AddedEntriesFollowTheLastOne) {
  update({{"add_items", {"", "Eier", "Mehl"}}});
  EXPECT_EQ(value("SELECT group_concat(title || sortOrder) FROM ChecklistItem "
                  "WHERE rowid > 3"),
            "Eier4096.0,Mehl5120.0");
}

TEST_F(UpdateCard, AddingBeyondTwentyFailsButAFullCardStaysEditable) {
  update({{"add_items", json(Strings(17, "x"))}});
  EXPECT_EQ(update({{"add_items", {"21"}}}),
            "Fehler: Maximal 20 Checklisten-Einträge pro Karte");
  seed().item(card(), "Alt");
  // A card already over the limit can still be changed.
  EXPECT_EQ(update({{"check_items", {"Brot"}}, {"status", "in_progress"}}),
            "OK: „Einkaufen“ (C0000000) – in_progress, Bucket Zu erledigen, "
            "Checkliste 1/21");
}

TEST_F(UpdateCard, FieldsChangeButAMoveTakesNeitherColourNorProgress) {
  context().bucket(done)->autoProgressRaw = 100;
  EXPECT_EQ(update(R"({"title": "Großeinkauf", "bucket": "erledigt",
    "due_date": "2025-03-14T16:30:00Z", "is_on_my_day": true,
    "is_archived": true})"_json),
            "OK: „Großeinkauf“ (C0000000) – not_started, Bucket Erledigt, "
            "Checkliste 0/3, fällig "
            "2025-03-14");
  // An empty title is no title; a string is no flag.
  update({{"title", ""}, {"is_on_my_day", "false"}});
  const auto column = [&](const std::string &name) {
    return CardTools::card("Großeinkauf", name);
  };
  EXPECT_EQ(column("bucket"), done);
  EXPECT_EQ(column("dueDate"), stored(local(2025, 3, 14, 17, 30)));
  EXPECT_EQ(column("modifiedAt"), stored(kNow));
  EXPECT_EQ(column("isOnMyDay || isArchived"), "11");
  EXPECT_EQ(column("colorHex IS NULL AND percentComplete = 0"), "1");
}

// Labels go by name only.
TEST_F(UpdateCard, TagsAreAddedRemovedOrReplacedByName) {
  update({{"add_labels", {"Rot", "Gelb", "Blau"}}, {"add_goals", {"umzug"}}});
  EXPECT_EQ(tags(), "Rot,Gelb,Blau|1");
  const UUID rot = value("SELECT id FROM PlanLabel WHERE name = 'Rot'");
  update({{"remove_labels", {"gelb", rot}},
          {"remove_goals", {"UMZUG", "gibt es nicht"}}});
  EXPECT_EQ(tags(), "Rot,Blau|0");
  update({{"labels", {"gelb", "Blau"}}});
  EXPECT_EQ(tags(), "Gelb,Blau|0");
}

TEST_F(UpdateCard, CompletingARecurringCardIsOneChange) {
  card().dueDate = local(2025, 3, 14, 17);
  card().setRecurrenceRule(
      RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  update({{"status", "completed"}});
  // The old card, the new one and its 3 entries in one history transaction.
  EXPECT_EQ(rows("SELECT kind, count(*) FROM StoreChange WHERE txn = (SELECT "
                 "max(id) FROM "
                 "StoreTransaction) GROUP BY kind"),
            (Strings{"insert|4", "update|1"}));
  // Clearing the due date removes the rule.
  const std::string next =
      value("SELECT id FROM Card WHERE recurrenceOccurrence = 2");
  call("update_card", {{"card_id", next}, {"due_date", "none"}});
  EXPECT_EQ(value("SELECT dueDate, recurrenceRuleData FROM Card WHERE id = '" +
                  next + "'"),
            "NULL|NULL");
}

TEST_F(UpdateCard, FailuresLeaveTheStoreAsItWas) {
  for (int i = 0; i < 15; ++i)
    seed().item(card(), "Punkt");
  seed().item(card(), "x", false, "ABCDEF01-0000-4000-8000-000000000001");
  seed().item(card(), "x", false, "ABCDEF02-0000-4000-8000-000000000002");
  // 20 entries plus one fail, whatever else is valid.
  expectFailures("update_card", table(R"(
{"card_id": "C0000000", "check_items": ["Brot", "Butter"]} | Checklisten-Eintrag „Butter“ nicht gefunden
{"card_id": "C0000000", "check_items": ["AbCdEf"]} | ID-Kürzel „AbCdEf“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben
{"card_id": "C0000000", "check_items": ["Brot"], "title": "neu", "add_items": ["a"]} | Maximal 20 Checklisten-Einträge pro Karte
{"card_id": "C0000000", "title": "neu", "due_date": "gestern"} | Datum nicht lesbar: gestern (erwartet YYYY-MM-DD oder ISO-8601)
{"card_id": "C0000000", "title": "neu", "bucket": "Nope"} | Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt
{"card_id": "C0000000", "is_archived": true, "add_labels": ["Nope"]} | Label „Nope“ existiert nicht im Plan
{"card_id": "C0000000", "recurrence": {"frequency": "weekly"}} | Wiederholung benötigt ein due_date
)"));
}

} // namespace
} // namespace taskory::test
