#include "ToolsFixture.h"

namespace taskory::test {
namespace {

std::string notice(int hidden) {
  return "\n… " + std::to_string(hidden) +
         " weitere Karten – mit bucket, query oder status eingrenzen oder "
         "limit erhöhen.";
}

// Two plans with cards C0000001…C0000008 in every state the filters tell
// apart.
class ListCards : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    Plan &home = seed().plan("Haushalt"), &work = seed().plan("Arbeit");
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
  // The card numbers of a text answer, "-" for none.
  std::string numbers(const json &args) {
    std::istringstream in(call("list_cards", args));
    std::string out;
    for (std::string line; std::getline(in, line);)
      out += (out.empty() ? "" : " ") +
             (line.starts_with("C000000") ? line.substr(7, 1) : "-");
    return out;
  }
};

TEST_F(ListCards, FiltersSortOrderAndLimit) {
  // Not a boolean, integer or string: absent. A day limit the calendar
  // cannot form falls back to now.
  for (const auto &[args, expected] : table(R"(
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
{"limit": -7} | 2 -
{"limit": 2} | 2 6 -
)"))
    EXPECT_EQ(numbers(args), expected) << args;
  EXPECT_EQ(call("list_cards", {{"limit", 1}}),
            "C0000002 · in_progress · fällig 2025-03-10 · überfällig · "
            "Haushalt · Doing · Steuer" +
                notice(5));
  // A named plan or bucket is left out of the lines.
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
  EXPECT_EQ(call("list_cards", {{"query", "zzz"}, {"format", "Json"}}), "[]");
  // Cut JSON: the encoded array, then the notice line.
  EXPECT_EQ(call("list_cards", {{"format", "json"}, {"limit", 1}}),
            R"([{"bucket":"Doing","due_date":"2025-03-10","id":"C0000002-)"
            R"(0000-4000-8000-000000000002","is_late":true,"plan":"Haushalt",)"
            R"("status":"in_progress","title":"Steuer"}])" +
                notice(5));

  Plan &plan = seed().plan("Viel");
  for (int i = 0; i < 60; ++i)
    seed().card(&plan, "Karte " + std::to_string(i));
  // Equal due dates follow sortOrder, then insertion.
  for (const char *title : {"ÄPFEL c", "ÄPFEL a", "ÄPFEL b"}) {
    Card &card = seed().card(&plan, title);
    card.dueDate = local(2025, 3, 20, 17);
    card.sortOrder = std::string(title).ends_with('a') ? 0.5 : 1;
  }
  const std::string out = call("list_cards", {{"plan", "Viel"}});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 50);
  EXPECT_TRUE(out.ends_with("· Karte 46" + notice(13))) << out;
  const std::string apples = call("list_cards", {{"query", "äpfel"}});
  EXPECT_LT(apples.find("ÄPFEL a"), apples.find("ÄPFEL c")) << apples;
  EXPECT_LT(apples.find("ÄPFEL c"), apples.find("ÄPFEL b")) << apples;
}

// Rows another program wrote with plain SQL: lower-case ids, colours without
// "#", rule data as a blob, an archived and a completed card, an attachment
// without URL.
TEST_F(ToolsTest, ForeignStoreIsReadAsItIs) {
  RawConnection(home / "Taskory.store").exec(R"SQL(
INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt) VALUES
  ('aaaaaaaa-1111-4111-8111-111111111111', 'Haushalt', 1, 0, 0),
  ('BBBBBBBB-2222-4222-8222-222222222222', 'Arbeit', 1, 0, 0);
INSERT INTO Bucket (id, name, colorHex, sortOrder, createdAt, plan) VALUES
  ('b2000000-0000-4000-8000-000000000000', 'Erledigt', '#00FF00', 2, 0, 'aaaaaaaa-1111-4111-8111-111111111111'),
  ('b1000000-0000-4000-8000-000000000000', 'Zu erledigen', 'CBEBC9', 1, 0, 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Goal (id, title, sortOrder, createdAt, plan) VALUES
  ('f1000000-0000-4000-8000-000000000000', 'Ordnung', 1, 0, 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Card (id, title, notes, dueDate, priorityRaw, percentComplete, isArchived, colorHex,
  sortOrder, createdAt, modifiedAt, recurrenceSeriesID, recurrenceOccurrence, recurrenceRuleData,
  plan, bucket) VALUES
  ('c1000000-0000-4000-8000-000000000000', 'Wocheneinkauf', 'Liste', 1741968000, 3, 0, 0, 'CBEBC9',
   1024, 0, 0, 'c1000000-0000-4000-8000-000000000000', 3,
   CAST('{"frequency":"weekly","interval":2,"daysOfWeek":[2,4]}' AS BLOB),
   'aaaaaaaa-1111-4111-8111-111111111111', 'b1000000-0000-4000-8000-000000000000'),
  ('C2000000-0000-4000-8000-000000000000', 'Erledigt', '', NULL, 5, 100, 0, NULL, 2048, 0, 0, NULL,
   0, NULL, 'aaaaaaaa-1111-4111-8111-111111111111', 'b2000000-0000-4000-8000-000000000000'),
  ('C3000000-0000-4000-8000-000000000000', 'Alt', '', NULL, 5, 0, 1, NULL, 3072, 0, 0, NULL, 0,
   NULL, 'aaaaaaaa-1111-4111-8111-111111111111', 'b1000000-0000-4000-8000-000000000000');
INSERT INTO CardGoal (card, goal) SELECT 'c1000000-0000-4000-8000-000000000000', id FROM Goal;
INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card) VALUES
  ('d2000000-0000-4000-8000-000000000000', 'Brot', 0, 2, 0, 'c1000000-0000-4000-8000-000000000000'),
  ('d1000000-0000-4000-8000-000000000000', 'Milch', 1, 1, 0, 'c1000000-0000-4000-8000-000000000000');
INSERT INTO CardAttachment (id, alias, kindRaw, fileName, fileData, sortOrder, createdAt, card)
  VALUES ('a2000000-0000-4000-8000-000000000000', 'Foto', 'image', 'foto.jpg', X'FFD8FFE0', 2, 0,
   'c1000000-0000-4000-8000-000000000000');
)SQL");
  EXPECT_EQ(call("list_plans", {{"ignored", 1}}),
            "BBBBBBBB · Arbeit · offen 0/0\n"
            "AAAAAAAA · Haushalt · offen 1/2 · Buckets: Zu erledigen (1, "
            "#CBEBC9), Erledigt (1, #00FF00) · Ziele: Ordnung");
  EXPECT_EQ(call("get_card", {{"card_id", "c10000"}, {"format", "yaml"}}),
            "C1000000 · not_started · important · Haushalt / Zu erledigen · "
            "fällig 2025-03-14\nWocheneinkauf\nZiele: Ordnung · Wdh: Alle 2 "
            "Wochen\nNotizen:\nListe\n"
            "Checkliste 1/2:\n[x] Milch (D1000000)\n[ ] Brot (D2000000)\n"
            "Anhänge:\nFoto (image) –\nFarbe CBEBC9 · Serie #3");
}

} // namespace
} // namespace taskory::test
