#include "ToolsFixture.h"

namespace taskory::test {
namespace {

std::string lines(const Strings &parts) {
  std::string out;
  for (const auto &part : parts)
    out += (out.empty() ? "" : "\n") + part;
  return out.empty() ? "Keine Karten gefunden." : out;
}
std::string notice(int hidden) {
  return "\n… " + std::to_string(hidden) +
         " weitere Karten – mit bucket, query oder status eingrenzen oder "
         "limit erhöhen.";
}

// The line of each card of the fixture, by number.
const std::string kLine[] = {
    "",
    "C0000001 · not_started · fällig 2025-03-14 · Haushalt · Zu erledigen · "
    "Milch kaufen",
    "C0000002 · in_progress · fällig 2025-03-10 · überfällig · Haushalt · "
    "Doing · Steuer",
    "C0000003 · not_started · Haushalt · Zu erledigen · Fenster putzen",
    "C0000004 · completed · fällig 2025-03-11 · Haushalt · Zu erledigen · "
    "Erledigtes",
    "",
    "C0000006 · not_started · fällig 2025-03-12 09:00 · Arbeit · doing · "
    "Bericht",
    "C0000007 · not_started · fällig 2025-03-12 · Arbeit · doing · Meeting",
    "C0000008 · not_started · Arbeit · Planung"};

// Two plans with cards in every state the filters tell apart.
class ListCards : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    Plan &home = seed().plan("Haushalt");
    Plan &work = seed().plan("Arbeit");
    Bucket &todo = seed().bucket(home, "Zu erledigen");
    Bucket &doing = seed().bucket(home, "Doing");
    Bucket &workDoing = seed().bucket(work, "doing");
    const auto add = [&](Bucket *bucket, int n, const char *title, Date due,
                         int64_t percent = 0) -> Card & {
      const std::string id = "C000000" + std::to_string(n) +
                             "-0000-4000-8000-00000000000" + std::to_string(n);
      Card &card = bucket ? seed().card(*bucket, title, id)
                          : seed().card(&work, title, id);
      if (due)
        card.dueDate = due;
      card.percentComplete = percent;
      return card;
    };
    add(&todo, 1, "Milch kaufen", local(2025, 3, 14, 17));
    add(&doing, 2, "Steuer", local(2025, 3, 10, 17), 50);
    add(&todo, 3, "Fenster putzen", 0).notes = "Leiter aus dem KELLER holen";
    add(&todo, 4, "Erledigtes", local(2025, 3, 11, 17), 100);
    add(&todo, 5, "Archiv", local(2025, 3, 1, 17)).isArchived = true;
    add(&workDoing, 6, "Bericht", local(2025, 3, 12, 9));
    add(&workDoing, 7, "Meeting", local(2025, 3, 12, 17));
    add(nullptr, 8, "Planung", 0);
  }
};

TEST_F(ListCards, FiltersSortOrderAndLimit) {
  // Not a boolean, integer or string: absent. A day limit the calendar
  // cannot form falls back to now.
  for (const auto &[args, numbers] : table(R"(
{"limit": 6, "query": "", "bucket": "", "plan": 7} | 2 6 7 1 3 8
{"include_completed": true} | 2 4 6 7 1 3 8
{"include_completed": "true", "limit": "2"} | 2 6 7 1 3 8
{"status": "DONE", "include_completed": false} | 4
{"status": "in_progress"} | 2
{"query": "keller"} | 3
{"query": "Milch kaufen "} | -
{"due_within_days": 0} | 2 6
{"due_within_days": 2} | 2 6 7
{"due_within_days": -1} | 2
{"due_within_days": 1.5, "limit": 9223372036854775807} | 2 6 7 1 3 8
{"due_within_days": 9223372036854775807} | 2 6
{"due_within_days": -9223372036854775808} | 2 6
)")) {
    Strings expected;
    std::istringstream in(numbers);
    for (int n; in >> n;)
      expected.push_back(kLine[n]);
    EXPECT_EQ(call("list_cards", args), lines(expected)) << args;
  }
  EXPECT_EQ(call("list_cards", {{"limit", -7}}), kLine[2] + notice(5));
  EXPECT_EQ(call("list_cards", {{"limit", 2}}),
            lines({kLine[2], kLine[6]}) + notice(4));
  // A named plan or bucket is left out of the lines.
  EXPECT_EQ(call("list_cards", {{"plan", "haushalt"}, {"bucket", "DOING"}}),
            "C0000002 · in_progress · fällig 2025-03-10 · überfällig · Steuer");
  EXPECT_EQ(call("list_cards", {{"plan", "Arbeit"}}),
            "C0000006 · not_started · fällig 2025-03-12 09:00 · doing · "
            "Bericht\nC0000007 · not_started · fällig 2025-03-12 · doing · "
            "Meeting\nC0000008 · not_started · Planung");
  EXPECT_EQ(call("list_cards", {{"bucket", "doing"}}), // in every plan
            "C0000002 · in_progress · fällig 2025-03-10 · überfällig · "
            "Haushalt · Steuer\nC0000006 · not_started · fällig 2025-03-12 "
            "09:00 · Arbeit · Bericht\nC0000007 · not_started · fällig "
            "2025-03-12 · Arbeit · Meeting");
}

TEST_F(ListCards, FailuresJSONAndDefaultLimit) {
  for (const auto &[args, message] : table(R"(
{"plan": ""} | Plan „“ nicht gefunden. Vorhanden: Haushalt, Arbeit
{"plan": "Haushalt", "bucket": "Nix"} | Bucket „Nix“ nicht gefunden. Vorhanden: Zu erledigen, Doing
{"bucket": "Nix"} | Bucket „Nix“ in keinem Plan gefunden
{"status": "fertig"} | Unbekannter Status: fertig
)"))
    EXPECT_EQ(call("list_cards", args), "Fehler: " + message) << args;

  json steuer = R"({"id": "C0000002-0000-4000-8000-000000000002",
    "title": "Steuer", "status": "in_progress", "due_date": "2025-03-10",
    "is_late": true})"_json;
  EXPECT_EQ(json::parse(call("list_cards", {{"plan", "Haushalt"},
                                            {"bucket", "Doing"},
                                            {"format", "JSON"}})),
            json::array({steuer}));
  EXPECT_EQ(call("list_cards", {{"query", "zzz"}, {"format", "Json"}}), "[]");
  // Cut JSON: the encoded array, then the notice line.
  steuer.update({{"plan", "Haushalt"}, {"bucket", "Doing"}});
  EXPECT_EQ(call("list_cards", {{"format", "json"}, {"limit", 1}}),
            KanbanTools::encode(json::array({steuer})) + notice(5));

  Plan &plan = seed().plan("Viel");
  const Date due = local(2025, 3, 20, 17);
  for (int i = 0; i < 60; ++i)
    seed().card(&plan, "Karte " + std::to_string(i));
  // Equal due dates follow sortOrder, then insertion.
  for (const char *title : {"ÄPFEL c", "ÄPFEL a", "ÄPFEL b"}) {
    Card &card = seed().card(&plan, title);
    card.dueDate = due;
    card.sortOrder = std::string(title).ends_with('a') ? 0.5 : 1;
  }
  const std::string out = call("list_cards", {{"plan", "Viel"}});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 50);
  EXPECT_TRUE(out.ends_with("· Karte 46" + notice(13))) << out;
  const std::string apples = call("list_cards", {{"query", "äpfel"}});
  EXPECT_LT(apples.find("ÄPFEL a"), apples.find("ÄPFEL c")) << apples;
  EXPECT_LT(apples.find("ÄPFEL c"), apples.find("ÄPFEL b")) << apples;
}

// A store written by another program with plain SQL: lower-case ids,
// colours without "#", archived and completed cards, a GitHub card,
// attachments with and without URL, labels, goals and a recurring card.
class ForeignStore : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    RawConnection(home / "Taskory.store").exec(R"SQL(
INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt) VALUES
  ('aaaaaaaa-1111-4111-8111-111111111111', 'Haushalt', 1, 0, 0),
  ('BBBBBBBB-2222-4222-8222-222222222222', 'Arbeit', 1, 0, 0);
INSERT INTO Bucket (id, name, colorHex, sortOrder, createdAt, plan) VALUES
  ('b2000000-0000-4000-8000-000000000000', 'Erledigt', '#00FF00', 2, 0, 'aaaaaaaa-1111-4111-8111-111111111111'),
  ('b1000000-0000-4000-8000-000000000000', 'Zu erledigen', 'CBEBC9', 1, 0, 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO PlanLabel (id, slotIndex, name, plan) VALUES
  ('e3000000-0000-4000-8000-000000000000', 3, 'Dringend', 'aaaaaaaa-1111-4111-8111-111111111111'),
  ('e1000000-0000-4000-8000-000000000000', 1, 'Einkauf', 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Goal (id, title, sortOrder, createdAt, plan) VALUES
  ('f1000000-0000-4000-8000-000000000000', 'Ordnung', 1, 0, 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Card (id, title, notes, dueDate, priorityRaw, percentComplete, isArchived, colorHex,
  sortOrder, createdAt, modifiedAt, completedAt, recurrenceSeriesID, recurrenceOccurrence,
  recurrenceRuleData, githubRepo, githubNumber, plan, bucket) VALUES
  ('c1000000-0000-4000-8000-000000000000', 'Wocheneinkauf', 'Liste', 1741968000, 3, 0, 0,
   'CBEBC9', 1024, 0, 0, NULL, 'c1000000-0000-4000-8000-000000000000', 3,
   CAST('{"frequency":"weekly","interval":2,"daysOfWeek":[2,4]}' AS BLOB), NULL, 0,
   'aaaaaaaa-1111-4111-8111-111111111111', 'b1000000-0000-4000-8000-000000000000'),
  ('C2000000-0000-4000-8000-000000000000', 'Bug im Shop', '', NULL, 5, 100, 0, NULL, 2048, 0, 0,
   1741715100, NULL, 0, NULL, 'acme/shop', 17, 'aaaaaaaa-1111-4111-8111-111111111111',
   'b2000000-0000-4000-8000-000000000000'),
  ('C3000000-0000-4000-8000-000000000000', 'Alte Rechnung', '', NULL, 5, 0, 1, NULL, 3072, 0, 0,
   NULL, NULL, 0, NULL, NULL, 0, 'aaaaaaaa-1111-4111-8111-111111111111',
   'b1000000-0000-4000-8000-000000000000');
INSERT INTO CardLabel (card, label) SELECT 'c1000000-0000-4000-8000-000000000000', id
  FROM PlanLabel ORDER BY slotIndex DESC;
INSERT INTO CardGoal (card, goal) SELECT 'c1000000-0000-4000-8000-000000000000', id FROM Goal;
INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card) VALUES
  ('d2000000-0000-4000-8000-000000000000', 'Brot', 0, 2, 0, 'c1000000-0000-4000-8000-000000000000'),
  ('d1000000-0000-4000-8000-000000000000', 'Milch', 1, 1, 0, 'c1000000-0000-4000-8000-000000000000');
INSERT INTO CardAttachment (id, alias, urlString, kindRaw, fileName, fileData, sortOrder,
  createdAt, card) VALUES
  ('a1000000-0000-4000-8000-000000000000', 'Rezept', 'https://example.org/r', 'link', NULL,
   NULL, 1, 0, 'c1000000-0000-4000-8000-000000000000'),
  ('a2000000-0000-4000-8000-000000000000', 'Foto', NULL, 'image', 'foto.jpg', X'FFD8FFE0', 2,
   0, 'c1000000-0000-4000-8000-000000000000');
)SQL");
  }
};

TEST_F(ForeignStore, ListPlansListCardsAndGetCard) {
  EXPECT_EQ(call("list_plans", {{"ignored", 1}}),
            "BBBBBBBB · Arbeit · offen 0/0\n"
            "AAAAAAAA · Haushalt · offen 1/2 · Buckets: Zu erledigen (1, "
            "#CBEBC9), Erledigt (1, #00FF00) · Ziele: Ordnung");
  const std::string recurring = " · Labels: Einkauf, Dringend · Ziele: "
                                "Ordnung · Wdh: Alle 2 Wochen";
  EXPECT_EQ(call("list_cards", {{"include_completed", true}}),
            "C1000000 · not_started · important · 1/2 · fällig 2025-03-14 · "
            "Haushalt · Zu erledigen · Wocheneinkauf" +
                recurring +
                "\nC2000000 · completed · Haushalt · Erledigt · Bug im Shop · "
                "GitHub: acme/shop#17");
  EXPECT_EQ(call("list_cards", {{"query", "rechnung"}}),
            "Keine Karten gefunden.");
  const std::string detail =
      "C1000000 · not_started · important · Haushalt / Zu erledigen · fällig "
      "2025-03-14\nWocheneinkauf\n" +
      recurring.substr(4) +
      "\nNotizen:\nListe\nCheckliste 1/2:\n[x] Milch (D1000000)\n"
      "[ ] Brot (D2000000)\nAnhänge:\nRezept (link) https://example.org/r\n"
      "Foto (image) –\nFarbe CBEBC9 · Serie #3";
  for (const json &format : {json("text"), json("yaml"), json(1)})
    for (const std::string id :
         {"c1000000", "C10000", "c1000000-0000-4000-8000-000000000000"})
      EXPECT_EQ(call("get_card", {{"card_id", id}, {"format", format}}), detail)
          << id << format;
  EXPECT_EQ(call("get_card", {{"card_id", "c3000000"}}),
            "C3000000 · not_started · Haushalt / Zu erledigen\n"
            "Alte Rechnung\nArchiviert");
  EXPECT_EQ(json::parse(call("get_card",
                             {{"card_id", "C2000000"}, {"format", "JSON"}})),
            json::parse(R"({"id":"C2000000-0000-4000-8000-000000000000",
              "title":"Bug im Shop","status":"completed","plan":"Haushalt",
              "bucket":"Erledigt","github":"acme/shop#17","notes":"",
              "color_hex":null,"is_archived":false,
              "created_at":"1970-01-01 01:00","modified_at":"1970-01-01 01:00",
              "completed_at":"2025-03-11 18:45","checklist":[]})"));
  const json full = json::parse(
      call("get_card", {{"card_id", "C1000000"}, {"format", "json"}}));
  EXPECT_EQ(full["color_hex"], "CBEBC9");
  EXPECT_EQ(full["series_occurrence"], 3);
  EXPECT_EQ(full["attachments"][1], json::parse(R"({"alias":"Foto",
              "kind":"image","url":null})"));
}

TEST_F(ToolsTest, ListPlansOfAnEmptyStore) {
  EXPECT_EQ(call("list_plans"), "Keine Pläne.");
}

} // namespace
} // namespace taskory::test
