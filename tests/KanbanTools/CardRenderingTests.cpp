#include "KanbanTools/CardRendering.h"

#include "ToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

namespace taskory::test {
namespace {

constexpr const char *kCardID = "1A2B3C4D-0000-4000-8000-000000000001";

class CardRendering : public ToolsTest {
protected:
  std::string line(const Card &card) {
    return cardLine(context(), card, kNow, calendar, false, false);
  }
  std::string detail(const Card &card) {
    return cardDetailText(context(), card, kNow, calendar);
  }
  json object(const Card &card, bool detail) {
    return cardJSON(context(), card, kNow, calendar, detail, false, false);
  }

  // A card that has every part of a rendering.
  Card &fullCard() {
    Plan &plan = seed().plan("Haushalt");
    Card &card = seed().card(seed().bucket(plan, "Zu erledigen", "#CBEBC9"),
                             "Einkaufen", kCardID);
    card.priorityRaw = 1;
    card.percentComplete = 50;
    card.dueDate = local(2025, 3, 10, 17, 0);
    card.startDate = local(2025, 3, 1, 8, 0);
    card.plannedDate = local(2025, 3, 11, 9, 0);
    card.isIdeaTask = card.isOnMyDay = true;
    card.notes = "Milch\nBrot";
    card.colorHex = "#FFAA00";
    card.githubRepo = "acme/shop";
    card.githubNumber = 42;
    card.githubURLString = "https://github.com/acme/shop/issues/42";
    card.setRecurrenceRule(RecurrenceRule(RecurrenceRule::Frequency::daily, 3));
    card.recurrenceSeriesID = card.id;
    card.recurrenceOccurrence = 4;
    card.createdAt = local(2025, 2, 1, 8, 5);
    card.modifiedAt = local(2025, 3, 12, 10, 30);
    card.completedAt = local(2025, 3, 9, 23, 30);
    seed().tag(card, seed().label(plan, 7, "Blau"));
    seed().tag(card, seed().label(plan, 2, "Rot"));
    seed().tag(card, seed().goal(plan, "Zweites Ziel"));
    seed().tag(card, seed().goal(plan, "Erstes Ziel"));
    int n = 0;
    for (const auto &[title, checked] :
         std::vector<std::pair<const char *, bool>>{
             {"Milch", true}, {"Brot", false}, {"Käse", true}})
      seed().item(card, title, checked,
                  "AAAA000" + std::to_string(++n) + "-0000-4000-8000-" +
                      std::string(12, '0'));
    seed().attachment(card, "Liste", "https://example.org/a/b");
    seed().attachment(card, "Beleg.pdf", std::nullopt, "file");
    return card;
  }
};

TEST_F(CardRendering, DateStringDropsTheDefaultHourOnly) {
  const std::tuple<Date, int, std::string> cases[] = {
      {local(2025, 3, 14, 17, 0), 17, "2025-03-14"},
      {local(2025, 3, 14, 17, 30), 17, "2025-03-14 17:30"},
      {local(2025, 3, 14, 17, 0) + 45, 17, "2025-03-14"}, // seconds
      {local(2025, 3, 14, 9, 0), 9, "2025-03-14"},
      {local(2025, 3, 14, 17, 0), 9, "2025-03-14 17:00"},
      {local(2025, 3, 14, 0, 0), 17, "2025-03-14 00:00"},
      {local(2025, 7, 1, 17, 0), 17, "2025-07-01"}, // summer time
  };
  for (const auto &[date, hour, expected] : cases)
    EXPECT_EQ(dateString(date, hour, calendar), expected) << hour;
}

TEST_F(CardRendering, BareCard) {
  Card &card = seed().card(nullptr, "Einkaufen", kCardID);
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · Einkaufen");
  EXPECT_EQ(detail(card), "1A2B3C4D · not_started · – / –\nEinkaufen");
  EXPECT_EQ(acknowledgement(context(), card, calendar, "Angelegt"),
            "Angelegt: „Einkaufen“ (1A2B3C4D) – not_started, Bucket –");
  EXPECT_EQ(object(card, true), (json{{"id", kCardID},
                                      {"title", "Einkaufen"},
                                      {"status", "not_started"},
                                      {"notes", ""},
                                      {"color_hex", nullptr},
                                      {"is_archived", false},
                                      {"created_at", "2025-03-12 11:00"},
                                      {"modified_at", "2025-03-12 11:00"},
                                      {"checklist", json::array()}}));
}

TEST_F(CardRendering, FullCardAsLineDetailAndJSON) {
  Card &card = fullCard();
  const std::string dates = "fällig 2025-03-10 · start 2025-03-01 08:00 · "
                            "geplant 2025-03-11 · überfällig";
  const std::string meta = "Labels: Rot, Blau · Ziele: Zweites Ziel, Erstes "
                           "Ziel · Wdh: Alle 3 Tage · GitHub: "
                           "https://github.com/acme/shop/issues/42";
  EXPECT_EQ(line(card), "1A2B3C4D · in_progress · urgent · 2/3 · " + dates +
                            " · Haushalt · Zu erledigen · Einkaufen · " + meta +
                            " · Idee · Mein Tag");
  EXPECT_EQ(detail(card),
            "1A2B3C4D · in_progress · urgent · Haushalt / Zu erledigen · " +
                dates + " · Mein Tag\nEinkaufen\n" + meta +
                "\nNotizen:\nMilch\nBrot\n"
                "Checkliste 2/3:\n[x] Milch (AAAA0001)\n[ ] Brot (AAAA0002)\n"
                "[x] Käse (AAAA0003)\n"
                "Anhänge:\nListe (link) https://example.org/a/b\n"
                "Beleg.pdf (file) –\n"
                "Abgeschlossen 2025-03-09 · Farbe #FFAA00 · Serie #4");
  json expected = {{"id", kCardID},
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
                   {"checklist_progress", "2/3"},
                   {"labels", {"Rot", "Blau"}},
                   {"goals", {"Zweites Ziel", "Erstes Ziel"}},
                   {"recurrence", "Alle 3 Tage"},
                   {"github", "https://github.com/acme/shop/issues/42"},
                   {"is_on_my_day", true}};
  EXPECT_EQ(object(card, false), expected);
  expected.update(json::parse(R"({"notes":"Milch\nBrot","color_hex":"#FFAA00",
    "is_archived":false,"created_at":"2025-02-01 08:05",
    "modified_at":"2025-03-12 10:30","completed_at":"2025-03-09 23:30",
    "series_occurrence":4,
    "checklist":[
      {"item_id":"AAAA0001-0000-4000-8000-000000000000","title":"Milch","checked":true},
      {"item_id":"AAAA0002-0000-4000-8000-000000000000","title":"Brot","checked":false},
      {"item_id":"AAAA0003-0000-4000-8000-000000000000","title":"Käse","checked":true}],
    "attachments":[{"alias":"Liste","kind":"link","url":"https://example.org/a/b"},
      {"alias":"Beleg.pdf","kind":"file","url":null}]})"));
  EXPECT_EQ(object(card, true), expected);
  card.isArchived = true;
  card.completedAt.reset();
  card.colorHex.reset();
  card.recurrenceSeriesID.reset();
  EXPECT_TRUE(detail(card).ends_with("\nArchiviert"));
}

TEST_F(CardRendering, GitHubRecurrenceLatenessAndLowerCaseIDs) {
  Card &card =
      seed().card(nullptr, "T", "1a2b3c4d-0000-4000-8000-00000000000f");
  card.githubRepo = "acme/shop";
  card.githubNumber = 7;
  EXPECT_EQ(metaParts(context(), card), Strings{"GitHub: acme/shop#7"});
  card.githubRepo = "";
  EXPECT_EQ(object(card, false)["github"], "#7");
  card.githubRepo.reset();
  card.githubURLString = "https://github.com/x"; // without repo: not GitHub
  EXPECT_TRUE(metaParts(context(), card).empty());
  // Unreadable rule data counts as no rule.
  card.recurrenceRuleData = std::string("{\"frequency\":\"hourly\"}");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · T");
  card.recurrenceRuleData =
      std::string(R"({"frequency":"weekly","interval":1,"daysOfWeek":[2]})");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · T · Wdh: Wöchentlich");
  // Late from the local midnight on, unless completed.
  const std::tuple<Date, int64_t, bool> lateness[] = {
      {local(2025, 3, 12, 0, 0), 0, false},
      {local(2025, 3, 11, 23, 59), 50, true},
      {local(2025, 3, 11, 23, 59), 100, false},
  };
  for (const auto &[due, percent, late] : lateness) {
    card.dueDate = due;
    card.percentComplete = percent;
    EXPECT_EQ(dateParts(card, kNow, calendar).back() == "überfällig", late)
        << due << " " << percent;
  }
  seed().item(card, "x", false, "abcdef01-0000-4000-8000-00000000000f");
  const json full = object(card, true);
  EXPECT_EQ(full["id"], "1A2B3C4D-0000-4000-8000-00000000000F");
  EXPECT_EQ(full["checklist"][0]["item_id"],
            "ABCDEF01-0000-4000-8000-00000000000F");
  EXPECT_NE(detail(card).find("[ ] x (ABCDEF01)"), std::string::npos);
}

TEST_F(CardRendering, AcknowledgementParts) {
  Plan &plan = seed().plan("Haushalt");
  Card &card =
      seed().card(seed().bucket(plan, "Zu erledigen"), "Einkaufen", kCardID);
  seed().item(card, "Milch", true);
  seed().item(card, "Brot");
  card.dueDate = local(2025, 3, 14, 8, 30); // never with time here
  card.percentComplete = 100;
  EXPECT_EQ(acknowledgement(context(), card, calendar, "OK",
                            "Checkliste: 1 abgehakt"),
            "OK: „Einkaufen“ (1A2B3C4D) – completed, Bucket Zu erledigen, "
            "Checkliste 1/2, fällig 2025-03-14 – Checkliste: 1 abgehakt");
}

} // namespace
} // namespace taskory::test
