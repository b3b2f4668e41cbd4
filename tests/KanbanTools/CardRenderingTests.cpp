#include "KanbanTools/CardRendering.h"

#include "ToolsFixture.h"

#include "KanbanCore/CardHours.h"
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
};

TEST_F(CardRendering, BareCard) {
  Card &card = seed().card(nullptr, "Einkaufen", kCardID);
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · Einkaufen");
  EXPECT_EQ(detail(card), "1A2B3C4D · not_started · – / –\nEinkaufen");
  EXPECT_EQ(acknowledgement(context(), card, calendar, "Angelegt"),
            "Angelegt: „Einkaufen“ (1A2B3C4D) – not_started, Bucket –");
  EXPECT_EQ(object(card, true).dump(),
            R"({"checklist":[],"color_hex":null,"created_at":"2025-03-12 )"
            R"(11:00","id":")" +
                std::string(kCardID) +
                R"(","is_archived":false,"modified_at":"2025-03-12 11:00",)"
                R"("notes":"","status":"not_started","title":"Einkaufen"})");
}

TEST_F(CardRendering, CardWithEveryPart) {
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
  card.completedAt = local(2025, 3, 9, 23, 30);
  seed().tag(card, seed().label(plan, 7, "Blau"));
  seed().tag(card, seed().label(plan, 2, "Rot"));
  seed().tag(card, seed().goal(plan, "Zweites Ziel"));
  seed().tag(card, seed().goal(plan, "Erstes Ziel"));
  seed().item(card, "Milch", true, "AAAA0001-0000-4000-8000-000000000000");
  seed().item(card, "Brot", false, "AAAA0002-0000-4000-8000-000000000000");
  seed().item(card, "Käse", true, "AAAA0003-0000-4000-8000-000000000000");
  seed().attachment(card, "Liste", "https://example.org/a/b");
  seed().attachment(card, "Beleg.pdf", std::nullopt, "file");
  const std::string dates = "fällig 2025-03-10 · start 2025-03-01 08:00 · "
                            "geplant 2025-03-11 · überfällig";
  const std::string meta =
      "Labels: Rot, Blau · Ziele: Zweites Ziel, Erstes Ziel · Wdh: Alle 3 "
      "Tage · GitHub: https://github.com/acme/shop/issues/42";
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
  // What the JSON adds beyond the list and the bare card.
  const json full = object(card, true);
  EXPECT_EQ(
      json({full["start_date"], full["planned_date"], full["recurrence"],
            full["github"], full["is_idea_task"], full["is_late"],
            full["completed_at"], full["series_occurrence"],
            full["attachments"]})
          .dump(),
      R"(["2025-03-01 08:00","2025-03-11","Alle 3 Tage","https://)"
      R"(github.com/acme/shop/issues/42",true,true,"2025-03-09 23:30",4,)"
      R"([{"alias":"Liste","kind":"link","url":"https://example.org/a/b"},)"
      R"({"alias":"Beleg.pdf","kind":"file","url":null}]])");
  card.isArchived = true;
  card.completedAt.reset();
  card.colorHex.reset();
  card.recurrenceSeriesID.reset();
  EXPECT_TRUE(detail(card).ends_with("\nArchiviert"));
}

TEST_F(CardRendering, GitHubPartNeedsARepository) {
  Card &card = seed().card(nullptr, "T");
  card.githubRepo = "acme/shop";
  card.githubNumber = 7;
  EXPECT_EQ(metaParts(context(), card), Strings{"GitHub: acme/shop#7"});
  card.githubRepo = "";
  EXPECT_EQ(object(card, false)["github"], "#7");
  card.githubRepo.reset();
  card.githubURLString = "https://github.com/x"; // without repo: not GitHub
  EXPECT_TRUE(metaParts(context(), card).empty());
}

TEST_F(CardRendering, UnreadableRuleDataCountsAsNoRule) {
  Card &card =
      seed().card(nullptr, "T", "1a2b3c4d-0000-4000-8000-00000000000f");
  card.recurrenceRuleData = std::string("{\"frequency\":\"hourly\"}");
  EXPECT_EQ(line(card), "1A2B3C4D · not_started · T");
}

TEST_F(CardRendering, DefaultHourIsDroppedWhateverTheOffsetOrSeconds) {
  EXPECT_EQ(dateString(local(2025, 7, 1, 17) + 45, kDueHour, calendar),
            "2025-07-01");
}

TEST_F(CardRendering, LateFromLocalMidnightOnUnlessCompleted) {
  Card &card = seed().card(nullptr, "T");
  const std::tuple<Date, int64_t, bool> lateness[] = {
      {local(2025, 3, 12, 0, 0), 0, false},
      {local(2025, 3, 11, 23, 59), 50, true},
      {local(2025, 3, 11, 23, 59), 100, false}};
  for (const auto &[due, percent, late] : lateness) {
    card.dueDate = due;
    card.percentComplete = percent;
    EXPECT_EQ(dateParts(card, kNow, calendar).back() == "überfällig", late)
        << due << " " << percent;
  }
}

TEST_F(CardRendering, IDsStoredInLowerCaseArePrintedInUpperCase) {
  Card &card =
      seed().card(nullptr, "T", "1a2b3c4d-0000-4000-8000-00000000000f");
  seed().item(card, "x", false, "abcdef01-0000-4000-8000-00000000000f");
  EXPECT_EQ(object(card, true)["checklist"][0]["item_id"],
            "ABCDEF01-0000-4000-8000-00000000000F");
  EXPECT_EQ(object(card, false)["id"], "1A2B3C4D-0000-4000-8000-00000000000F");
}

} // namespace
} // namespace taskory::test
