#include "ReadToolsFixture.h"

#include <string>
#include <vector>

namespace taskory::test {
namespace {

constexpr const char *kCardID = "1A2B3C4D-0000-4000-8000-000000000001";

class GetCardTest : public ReadToolsTest {};

TEST_F(GetCardTest, ShortIDInEitherCaseAndFormats) {
  Plan &plan = seed.plan("Haushalt");
  Bucket &bucket = seed.bucket(plan, "Zu erledigen");
  Card &card = seed.card(bucket, "Einkaufen", kCardID);
  seed.item(card, "Milch", false, "ABCDEF01-0000-4000-8000-000000000001");

  const std::string detail =
      "1A2B3C4D · not_started · Haushalt / Zu erledigen\n"
      "Einkaufen\n"
      "Checkliste 0/1:\n"
      "[ ] Milch (ABCDEF01)";
  for (const std::string id : {"1A2B3C4D", "1a2b3c4d", "1a2b3c", kCardID})
    EXPECT_EQ(text(tools.getCard({{"card_id", id}})), detail) << id;
  for (const nlohmann::json &format :
       {nlohmann::json("text"), nlohmann::json("yaml"), nlohmann::json(1)})
    EXPECT_EQ(
        text(tools.getCard({{"card_id", "1a2b3c4d"}, {"format", format}})),
        detail)
        << format;

  const nlohmann::json expected = {
      {"id", kCardID},
      {"title", "Einkaufen"},
      {"status", "not_started"},
      {"plan", "Haushalt"},
      {"bucket", "Zu erledigen"},
      {"checklist_progress", "0/1"},
      {"notes", ""},
      {"color_hex", nullptr},
      {"is_archived", false},
      {"created_at", "2025-03-12 11:00"},
      {"modified_at", "2025-03-12 11:00"},
      {"checklist",
       {{{"item_id", "ABCDEF01-0000-4000-8000-000000000001"},
         {"title", "Milch"},
         {"checked", false}}}}};
  for (const std::string format : {"json", "Json", "JSON"})
    EXPECT_EQ(
        json(tools.getCard({{"card_id", "1a2b3c4d"}, {"format", format}})),
        expected)
        << format;
}

TEST_F(GetCardTest, CardWithoutPlanOrBucket) {
  seed.card(nullptr, "Lose", kCardID);
  EXPECT_EQ(text(tools.getCard({{"card_id", "1A2B3C"}})),
            "1A2B3C4D · not_started · – / –\nLose");
  const nlohmann::json object =
      json(tools.getCard({{"card_id", "1A2B3C"}, {"format", "json"}}));
  EXPECT_FALSE(object.contains("plan"));
  EXPECT_FALSE(object.contains("bucket"));
}

// A store written by another program: lower-case ids, colours without "#",
// archived cards, a GitHub card, attachments with and without URL, labels,
// goals and a recurring card, all put in with plain SQL.
class SqlSeededReadTest : public ::testing::Test {
protected:
  void SetUp() override {
    sql.exec(R"SQL(
INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt) VALUES
  ('aaaaaaaa-1111-4111-8111-111111111111', 'Haushalt', 1, 1740038400, 1740038400),
  ('BBBBBBBB-2222-4222-8222-222222222222', 'Arbeit', 1, 1740038400, 1740038400);
INSERT INTO Bucket (id, name, colorHex, sortOrder, createdAt, plan) VALUES
  ('b2000000-0000-4000-8000-000000000000', 'Erledigt', '#00FF00', 2, 0,
   'aaaaaaaa-1111-4111-8111-111111111111'),
  ('b1000000-0000-4000-8000-000000000000', 'Zu erledigen', 'CBEBC9', 1, 0,
   'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO PlanLabel (id, slotIndex, name, plan) VALUES
  ('e3000000-0000-4000-8000-000000000000', 3, 'Dringend', 'aaaaaaaa-1111-4111-8111-111111111111'),
  ('e1000000-0000-4000-8000-000000000000', 1, 'Einkauf', 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Goal (id, title, sortOrder, createdAt, plan) VALUES
  ('f1000000-0000-4000-8000-000000000000', 'Ordnung', 1, 0, 'aaaaaaaa-1111-4111-8111-111111111111');
INSERT INTO Card (id, title, notes, dueDate, priorityRaw, percentComplete, colorHex,
                  sortOrder, createdAt, modifiedAt, recurrenceSeriesID,
                  recurrenceOccurrence, recurrenceRuleData, plan, bucket) VALUES
  ('c1000000-0000-4000-8000-000000000000', 'Wocheneinkauf', 'Liste im Kühlschrank',
   1741968000, 3, 0, 'CBEBC9', 1024, 1740813300, 1741715100,
   'c1000000-0000-4000-8000-000000000000', 3,
   CAST('{"frequency":"weekly","interval":2,"daysOfWeek":[2,4]}' AS BLOB),
   'aaaaaaaa-1111-4111-8111-111111111111', 'b1000000-0000-4000-8000-000000000000');
INSERT INTO Card (id, title, percentComplete, sortOrder, createdAt, modifiedAt,
                  completedAt, githubRepo, githubNumber, githubKind, plan, bucket) VALUES
  ('C2000000-0000-4000-8000-000000000000', 'Bug im Shop', 100, 2048, 1740813300,
   1741715100, 1741715100, 'acme/shop', 17, 'issue',
   'aaaaaaaa-1111-4111-8111-111111111111', 'b2000000-0000-4000-8000-000000000000');
INSERT INTO Card (id, title, dueDate, isArchived, sortOrder, createdAt, modifiedAt,
                  plan, bucket) VALUES
  ('C3000000-0000-4000-8000-000000000000', 'Alte Rechnung', 1741622400, 1, 3072,
   1740813300, 1741715100, 'aaaaaaaa-1111-4111-8111-111111111111',
   'b1000000-0000-4000-8000-000000000000');
INSERT INTO CardLabel (card, label) VALUES
  ('c1000000-0000-4000-8000-000000000000', 'e3000000-0000-4000-8000-000000000000'),
  ('c1000000-0000-4000-8000-000000000000', 'e1000000-0000-4000-8000-000000000000');
INSERT INTO CardGoal (card, goal) VALUES
  ('c1000000-0000-4000-8000-000000000000', 'f1000000-0000-4000-8000-000000000000');
INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card) VALUES
  ('d2000000-0000-4000-8000-000000000000', 'Brot', 0, 2, 0, 'c1000000-0000-4000-8000-000000000000'),
  ('d1000000-0000-4000-8000-000000000000', 'Milch', 1, 1, 0, 'c1000000-0000-4000-8000-000000000000');
INSERT INTO CardAttachment (id, alias, urlString, kindRaw, fileName, fileData,
                            sortOrder, createdAt, card) VALUES
  ('a1000000-0000-4000-8000-000000000000', 'Rezept', 'https://example.org/rezept',
   'link', NULL, NULL, 1, 0, 'c1000000-0000-4000-8000-000000000000'),
  ('a2000000-0000-4000-8000-000000000000', 'Foto', NULL, 'image', 'foto.jpg',
   X'FFD8FFE0', 2, 0, 'c1000000-0000-4000-8000-000000000000');
)SQL");
    container = sql.open();
    context = std::make_unique<ModelContext>(*container, "mcp");
    tools = std::make_unique<KanbanTools>(*context, TestStore::kNow, calendar);
  }

  std::string call(ToolResult result) {
    if (auto *s = std::get_if<std::string>(&result))
      return *s;
    return std::get<nlohmann::json>(result).dump();
  }

  SqlStore sql;
  Calendar calendar{"Europe/Berlin", "de_DE"};
  std::unique_ptr<ModelContainer> container;
  std::unique_ptr<ModelContext> context;
  std::unique_ptr<KanbanTools> tools;
};

TEST_F(SqlSeededReadTest, ListPlans) {
  EXPECT_EQ(call(tools->listPlans()),
            "BBBBBBBB · Arbeit · offen 0/0\n"
            "AAAAAAAA · Haushalt · offen 1/2 · Buckets: Zu erledigen (1, "
            "#CBEBC9), Erledigt (1, #00FF00) · Ziele: Ordnung");
}

TEST_F(SqlSeededReadTest, ListCards) {
  const std::string recurring =
      "C1000000 · not_started · important · 1/2 · fällig 2025-03-14 · "
      "Haushalt · Zu erledigen · Wocheneinkauf · Labels: Einkauf, Dringend · "
      "Ziele: Ordnung · Wdh: Alle 2 Wochen";
  EXPECT_EQ(call(tools->listCards(nlohmann::json::object())), recurring);
  EXPECT_EQ(call(tools->listCards({{"include_completed", true}})),
            recurring +
                "\nC2000000 · completed · Haushalt · Erledigt · Bug im Shop · "
                "GitHub: acme/shop#17");
  EXPECT_EQ(call(tools->listCards({{"plan", "aaaaaaaa"}, {"status", "done"}})),
            "C2000000 · completed · Erledigt · Bug im Shop · GitHub: "
            "acme/shop#17");
  EXPECT_EQ(call(tools->listCards({{"bucket", "B1000000"}})),
            "C1000000 · not_started · important · 1/2 · fällig 2025-03-14 · "
            "Haushalt · Wocheneinkauf · Labels: Einkauf, Dringend · Ziele: "
            "Ordnung · Wdh: Alle 2 Wochen");
  EXPECT_EQ(call(tools->listCards({{"query", "rechnung"}})),
            "Keine Karten gefunden.")
      << "archived cards never appear";
}

TEST_F(SqlSeededReadTest, GetCardDetailAndJSON) {
  EXPECT_EQ(call(tools->getCard({{"card_id", "C1000000"}})),
            "C1000000 · not_started · important · Haushalt / Zu erledigen · "
            "fällig 2025-03-14\n"
            "Wocheneinkauf\n"
            "Labels: Einkauf, Dringend · Ziele: Ordnung · Wdh: Alle 2 Wochen\n"
            "Notizen:\nListe im Kühlschrank\n"
            "Checkliste 1/2:\n"
            "[x] Milch (D1000000)\n"
            "[ ] Brot (D2000000)\n"
            "Anhänge:\n"
            "Rezept (link) https://example.org/rezept\n"
            "Foto (image) –\n"
            "Farbe CBEBC9 · Serie #3");
  EXPECT_EQ(call(tools->getCard({{"card_id", "c3000000"}})),
            "C3000000 · not_started · Haushalt / Zu erledigen · fällig "
            "2025-03-10 · überfällig\n"
            "Alte Rechnung\n"
            "Archiviert");
  EXPECT_EQ(tools->getCard({{"card_id", "c1000000-0000-4000-8000-000000000000"},
                            {"format", "json"}}),
            ToolResult(nlohmann::json{
                {"id", "C1000000-0000-4000-8000-000000000000"},
                {"title", "Wocheneinkauf"},
                {"status", "not_started"},
                {"priority", "important"},
                {"plan", "Haushalt"},
                {"bucket", "Zu erledigen"},
                {"due_date", "2025-03-14"},
                {"checklist_progress", "1/2"},
                {"labels", {"Einkauf", "Dringend"}},
                {"goals", {"Ordnung"}},
                {"recurrence", "Alle 2 Wochen"},
                {"notes", "Liste im Kühlschrank"},
                {"color_hex", "CBEBC9"},
                {"is_archived", false},
                {"created_at", "2025-03-01 08:15"},
                {"modified_at", "2025-03-11 18:45"},
                {"checklist",
                 {{{"item_id", "D1000000-0000-4000-8000-000000000000"},
                   {"title", "Milch"},
                   {"checked", true}},
                  {{"item_id", "D2000000-0000-4000-8000-000000000000"},
                   {"title", "Brot"},
                   {"checked", false}}}},
                {"attachments",
                 {{{"alias", "Rezept"},
                   {"kind", "link"},
                   {"url", "https://example.org/rezept"}},
                  {{"alias", "Foto"}, {"kind", "image"}, {"url", nullptr}}}},
                {"series_occurrence", 3}}));
  EXPECT_EQ(
      tools->getCard({{"card_id", "C2000000"}, {"format", "JSON"}}),
      ToolResult(nlohmann::json{{"id", "C2000000-0000-4000-8000-000000000000"},
                                {"title", "Bug im Shop"},
                                {"status", "completed"},
                                {"plan", "Haushalt"},
                                {"bucket", "Erledigt"},
                                {"github", "acme/shop#17"},
                                {"notes", ""},
                                {"color_hex", nullptr},
                                {"is_archived", false},
                                {"created_at", "2025-03-01 08:15"},
                                {"modified_at", "2025-03-11 18:45"},
                                {"completed_at", "2025-03-11 18:45"},
                                {"checklist", nlohmann::json::array()}}));
}

} // namespace
} // namespace taskory::test
