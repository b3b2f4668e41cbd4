#include "KanbanTools/CardRendering.h"

#include "ReadToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

#include <string>
#include <vector>

namespace taskory::test {
namespace {

constexpr const char *kCardID = "1A2B3C4D-0000-4000-8000-000000000001";

class CardRenderingTest : public ReadToolsTest {
protected:
  const Calendar &calendar() const { return store.calendar; }
  Date now() const { return TestStore::kNow; }

  std::string line(const Card &card, bool omitPlan = false,
                   bool omitBucket = false) {
    return cardLine(*context, card, now(), calendar(), omitPlan, omitBucket);
  }
  std::string detail(const Card &card) {
    return cardDetailText(*context, card, now(), calendar());
  }
  nlohmann::json object(const Card &card, bool detail, bool omitPlan = false,
                        bool omitBucket = false) {
    return cardJSON(*context, card, now(), calendar(), detail, omitPlan,
                    omitBucket);
  }

  // A card that has every part of a rendering.
  Card &fullCard() {
    Plan &plan = seed.plan("Haushalt");
    Bucket &bucket = seed.bucket(plan, "Zu erledigen", "#CBEBC9");
    Card &card = seed.card(bucket, "Einkaufen", kCardID);
    card.priorityRaw = 1;
    card.percentComplete = 50;
    card.dueDate = seed.local(2025, 3, 10, 17, 0);
    card.startDate = seed.local(2025, 3, 1, 8, 0);
    card.plannedDate = seed.local(2025, 3, 11, 9, 0);
    card.isIdeaTask = true;
    card.isOnMyDay = true;
    card.notes = "Milch\nBrot";
    card.colorHex = "#FFAA00";
    card.githubRepo = "acme/shop";
    card.githubNumber = 42;
    card.githubURLString = "https://github.com/acme/shop/issues/42";
    card.setRecurrenceRule(RecurrenceRule(RecurrenceRule::Frequency::daily, 3));
    card.recurrenceSeriesID = card.id;
    card.recurrenceOccurrence = 4;
    card.createdAt = seed.local(2025, 2, 1, 8, 5);
    card.modifiedAt = seed.local(2025, 3, 12, 10, 30);
    card.completedAt = seed.local(2025, 3, 9, 23, 30);
    PlanLabel &blue = seed.label(plan, 7, "Blau");
    PlanLabel &red = seed.label(plan, 2, "Rot");
    seed.tag(card, blue);
    seed.tag(card, red);
    Goal &second = seed.goal(plan, "Zweites Ziel");
    Goal &first = seed.goal(plan, "Erstes Ziel");
    seed.tag(card, second);
    seed.tag(card, first);
    seed.item(card, "Milch", true, "AAAA0001-0000-4000-8000-000000000001");
    seed.item(card, "Brot", false, "AAAA0002-0000-4000-8000-000000000002");
    seed.item(card, "Käse", true, "AAAA0003-0000-4000-8000-000000000003");
    seed.item(card, "Obst", false, "AAAA0004-0000-4000-8000-000000000004");
    seed.item(card, "Eier", false, "AAAA0005-0000-4000-8000-000000000005");
    seed.attachment(card, "Liste", "https://example.org/a/b");
    seed.attachment(card, "Beleg.pdf", std::nullopt, "file");
    return card;
  }
};

TEST_F(CardRenderingTest, DateStringDropsTheDefaultHourOnly) {
  struct Case {
    Date date;
    int defaultHour;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {seed.local(2025, 3, 14, 17, 0), 17, "2025-03-14"},
      {seed.local(2025, 3, 14, 17, 30), 17, "2025-03-14 17:30"},
      {seed.local(2025, 3, 14, 17, 0) + 45, 17, "2025-03-14"}, // seconds
      {seed.local(2025, 3, 14, 9, 0), 17, "2025-03-14 09:00"},
      {seed.local(2025, 3, 14, 9, 0), 9, "2025-03-14"},
      {seed.local(2025, 3, 14, 17, 0), 9, "2025-03-14 17:00"},
      {seed.local(2025, 3, 14, 0, 0), 17, "2025-03-14 00:00"},
      // Summer time: 17:00 local is 15:00 UTC.
      {seed.local(2025, 7, 1, 17, 0), 17, "2025-07-01"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(dateString(c.date, c.defaultHour, calendar()), c.expected)
        << c.expected << " hour " << c.defaultHour;
}

TEST_F(CardRenderingTest, BareCardHasThreePartsOnly) {
  Card &card = seed.card(nullptr, "Einkaufen", kCardID);
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · Einkaufen");
  EXPECT_EQ(detail(card), "1A2B3C4D · not_started · – / –\nEinkaufen");
  EXPECT_EQ(acknowledgement(*context, card, calendar(), "Angelegt"),
            "Angelegt: „Einkaufen“ (1A2B3C4D) – not_started, Bucket –");
  EXPECT_EQ(object(card, false), (nlohmann::json{{"id", kCardID},
                                                 {"title", "Einkaufen"},
                                                 {"status", "not_started"}}));
  EXPECT_EQ(object(card, true),
            (nlohmann::json{{"id", kCardID},
                            {"title", "Einkaufen"},
                            {"status", "not_started"},
                            {"notes", ""},
                            {"color_hex", nullptr},
                            {"is_archived", false},
                            {"created_at", "2025-03-12 11:00"},
                            {"modified_at", "2025-03-12 11:00"},
                            {"checklist", nlohmann::json::array()}}));
}

TEST_F(CardRenderingTest, FullCardLine) {
  Card &card = fullCard();
  EXPECT_EQ(line(card),
            "1A2B3C4D · in_progress · urgent · 2/5 · fällig 2025-03-10 · "
            "start 2025-03-01 08:00 · geplant 2025-03-11 · überfällig · "
            "Haushalt · Zu erledigen · Einkaufen · Labels: Rot, Blau · Ziele: "
            "Zweites Ziel, Erstes Ziel · Wdh: Alle 3 Tage · GitHub: "
            "https://github.com/acme/shop/issues/42 · Idee · Mein Tag");
  EXPECT_EQ(line(card, true, true),
            "1A2B3C4D · in_progress · urgent · 2/5 · fällig 2025-03-10 · "
            "start 2025-03-01 08:00 · geplant 2025-03-11 · überfällig · "
            "Einkaufen · Labels: Rot, Blau · Ziele: Zweites Ziel, Erstes Ziel "
            "· Wdh: Alle 3 Tage · GitHub: "
            "https://github.com/acme/shop/issues/42 · Idee · Mein Tag");
}

TEST_F(CardRenderingTest, FullCardDetailText) {
  Card &card = fullCard();
  EXPECT_EQ(detail(card),
            "1A2B3C4D · in_progress · urgent · Haushalt / Zu erledigen · "
            "fällig 2025-03-10 · start 2025-03-01 08:00 · geplant 2025-03-11 "
            "· überfällig · Mein Tag\n"
            "Einkaufen\n"
            "Labels: Rot, Blau · Ziele: Zweites Ziel, Erstes Ziel · Wdh: "
            "Alle 3 Tage · GitHub: https://github.com/acme/shop/issues/42\n"
            "Notizen:\nMilch\nBrot\n"
            "Checkliste 2/5:\n"
            "[x] Milch (AAAA0001)\n"
            "[ ] Brot (AAAA0002)\n"
            "[x] Käse (AAAA0003)\n"
            "[ ] Obst (AAAA0004)\n"
            "[ ] Eier (AAAA0005)\n"
            "Anhänge:\n"
            "Liste (link) https://example.org/a/b\n"
            "Beleg.pdf (file) –\n"
            "Abgeschlossen 2025-03-09 · Farbe #FFAA00 · Serie #4");
  card.isArchived = true;
  card.completedAt.reset();
  card.colorHex.reset();
  card.recurrenceSeriesID.reset();
  const std::string text = detail(card);
  EXPECT_EQ(text.substr(text.rfind('\n') + 1), "Archiviert");
}

TEST_F(CardRenderingTest, FullCardJSON) {
  Card &card = fullCard();
  const nlohmann::json summary = {
      {"id", kCardID},
      {"title", "Einkaufen"},
      {"status", "in_progress"},
      {"priority", "urgent"},
      {"plan", "Haushalt"},
      {"bucket", "Zu erledigen"},
      {"due_date", "2025-03-10"},
      {"start_date", "2025-03-01 08:00"},
      {"planned_date", "2025-03-11"},
      {"is_idea_task", true},
      {"is_late", true},
      {"checklist_progress", "2/5"},
      {"labels", {"Rot", "Blau"}},
      {"goals", {"Zweites Ziel", "Erstes Ziel"}},
      {"recurrence", "Alle 3 Tage"},
      {"github", "https://github.com/acme/shop/issues/42"},
      {"is_on_my_day", true}};
  EXPECT_EQ(object(card, false), summary);

  nlohmann::json withoutPlace = summary;
  withoutPlace.erase("plan");
  withoutPlace.erase("bucket");
  EXPECT_EQ(object(card, false, true, true), withoutPlace);

  nlohmann::json full = summary;
  full["notes"] = "Milch\nBrot";
  full["color_hex"] = "#FFAA00";
  full["is_archived"] = false;
  full["created_at"] = "2025-02-01 08:05";
  full["modified_at"] = "2025-03-12 10:30";
  full["completed_at"] = "2025-03-09 23:30";
  full["checklist"] = nlohmann::json::array();
  const std::vector<std::pair<std::string, bool>> items = {{"Milch", true},
                                                           {"Brot", false},
                                                           {"Käse", true},
                                                           {"Obst", false},
                                                           {"Eier", false}};
  for (std::size_t i = 0; i < items.size(); ++i)
    full["checklist"].push_back(
        {{"item_id", "AAAA000" + std::to_string(i + 1) +
                         "-0000-4000-8000-00000000000" + std::to_string(i + 1)},
         {"title", items[i].first},
         {"checked", items[i].second}});
  full["attachments"] = {
      {{"alias", "Liste"},
       {"kind", "link"},
       {"url", "https://example.org/a/b"}},
      {{"alias", "Beleg.pdf"}, {"kind", "file"}, {"url", nullptr}}};
  full["series_occurrence"] = 4;
  EXPECT_EQ(object(card, true), full);
}

TEST_F(CardRenderingTest, GitHubWithoutURLShowsRepositoryAndNumber) {
  Card &card = seed.card(nullptr, "Bug", kCardID);
  card.githubRepo = "acme/shop";
  card.githubNumber = 7;
  EXPECT_EQ(metaParts(*context, card),
            (std::vector<std::string>{"GitHub: acme/shop#7"}));
  card.githubRepo = "";
  EXPECT_EQ(object(card, false)["github"], "#7");
  card.githubRepo.reset();
  card.githubURLString = "https://github.com/x"; // without repo: not GitHub
  EXPECT_TRUE(metaParts(*context, card).empty());
}

TEST_F(CardRenderingTest, UnreadableRecurrenceDataCountsAsNoRule) {
  Card &card = seed.card(nullptr, "T", kCardID);
  card.recurrenceRuleData = std::string("{\"frequency\":\"hourly\"}");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · T");
  card.recurrenceRuleData =
      std::string(R"({"frequency":"weekly","interval":1,"daysOfWeek":[2]})");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · T · Wdh: Wöchentlich");
}

TEST_F(CardRenderingTest, LatenessStartsAtLocalMidnight) {
  Card &card = seed.card(nullptr, "T", kCardID);
  struct Case {
    Date due;
    int64_t percent;
    bool late;
  };
  const std::vector<Case> cases = {
      {seed.local(2025, 3, 12, 0, 0), 0, false},   // today, 00:00
      {seed.local(2025, 3, 11, 23, 59), 50, true}, // yesterday
      {seed.local(2025, 3, 11, 23, 59), 100, false},
      {seed.local(2025, 3, 13, 8, 0), 0, false},
  };
  for (const auto &c : cases) {
    card.dueDate = c.due;
    card.percentComplete = c.percent;
    const auto parts = dateParts(card, now(), calendar());
    EXPECT_EQ(parts.back() == "überfällig", c.late)
        << parts.front() << " " << c.percent;
  }
}

TEST_F(CardRenderingTest, AcknowledgementParts) {
  Plan &plan = seed.plan("Haushalt");
  Bucket &bucket = seed.bucket(plan, "Zu erledigen");
  Card &card = seed.card(bucket, "Einkaufen", kCardID);
  EXPECT_EQ(acknowledgement(*context, card, calendar(), "Angelegt"),
            "Angelegt: „Einkaufen“ (1A2B3C4D) – not_started, Bucket Zu "
            "erledigen");
  seed.item(card, "Milch", true);
  seed.item(card, "Brot");
  card.dueDate = seed.local(2025, 3, 14, 8, 30); // never with time here
  card.percentComplete = 100;
  EXPECT_EQ(acknowledgement(*context, card, calendar(), "OK",
                            "Checkliste: 1 abgehakt"),
            "OK: „Einkaufen“ (1A2B3C4D) – completed, Bucket Zu erledigen, "
            "Checkliste 1/2, fällig 2025-03-14 – Checkliste: 1 abgehakt");
}

TEST_F(CardRenderingTest, LowerCaseStoredIDsPrintInUpperCase) {
  Card &card = seed.card(nullptr, "T", "1a2b3c4d-0000-4000-8000-00000000000f");
  seed.item(card, "x", false, "abcdef01-0000-4000-8000-00000000000f");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · 0/1 · T");
  const nlohmann::json json = object(card, true);
  EXPECT_EQ(json["id"], "1A2B3C4D-0000-4000-8000-00000000000F");
  EXPECT_EQ(json["checklist"][0]["item_id"],
            "ABCDEF01-0000-4000-8000-00000000000F");
  EXPECT_NE(detail(card).find("[ ] x (ABCDEF01)"), std::string::npos);
}

} // namespace
} // namespace taskory::test
