#include "WriteToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

namespace taskory::test {
namespace {

class UpdateCard : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    card = addCard("Einkaufen");
    addItem(card, "Milch", 3072);
    brot = addItem(card, "Brot", 1024);
    milch2 = addItem(card, "Milch", 2048);
  }
  Outcome update(json args) {
    args["card_id"] = card;
    return run("update_card", args);
  }
  std::string checks() {
    std::string out;
    for (const auto &row : rows("SELECT isChecked FROM ChecklistItem"))
      out += row;
    return out;
  }
  std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (" + shortOf(card) + ") – " + rest;
  }
  void setRule(Date due, const RecurrenceRule &rule) {
    seed([&](ModelContext &c) {
      c.card(card)->percentComplete = 0;
      c.card(card)->dueDate = due;
      c.card(card)->setRecurrenceRule(rule);
      return 0;
    });
  }
  UUID card, brot, milch2;
};

TEST_F(UpdateCard, ChecklistReferencesByTitleThenByID) {
  auto out = update({{"check_items", {"milch"}}});
  EXPECT_EQ(out.text, ack("not_started, Bucket Zu erledigen, Checkliste 1/3"));
  EXPECT_EQ(checks(), "100"); // the first Milch in stored order
  ASSERT_TRUE(update({{"check_items", {milch2, brot.substr(0, 8)}}}).ok);
  EXPECT_EQ(checks(), "111");
  // A lower-case prefix; an entry named in both lists ends unticked.
  std::string lower = milch2.substr(0, 6);
  for (char &c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(
      update({{"check_items", {lower}}, {"uncheck_items", {lower}}}).ok);
  EXPECT_EQ(checks(), "110");
  // A title that looks like an ID wins over the entry with that ID.
  addItem(card, "Anderes", 5000, "DEADBEEF-0000-4000-8000-000000000001");
  addItem(card, "deadbeef", 6000);
  ASSERT_TRUE(update({{"check_items", {"DEADBEEF"}}}).ok);
  EXPECT_EQ(checks(), "11001");
}

TEST_F(UpdateCard, AddedItemsFollowTheHighestSortOrderUpToTwenty) {
  auto out = update({{"add_items", {"", "Eier", 3, "Mehl"}}});
  auto added = rows("SELECT id, sortOrder FROM ChecklistItem WHERE rowid > 3");
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].substr(36) + added[1].substr(36), "|4096.0|5120.0");
  EXPECT_EQ(out.text, ack("not_started, Bucket Zu erledigen, Checkliste 0/5 – "
                          "neu: " +
                          shortOf(added[0]) + ", " + shortOf(added[1])));
  json fifteen = json::array();
  for (int i = 0; i < 15; ++i)
    fifteen.push_back(std::to_string(i));
  ASSERT_TRUE(update({{"add_items", fifteen}}).ok);
  EXPECT_EQ(update({{"add_items", {"21"}}}).text,
            "Maximal 20 Checklisten-Einträge pro Karte");
}

TEST_F(UpdateCard, ACardAlreadyOverTheLimitCanStillBeChanged) {
  for (int i = 0; i < 22; ++i)
    addItem(card, "Alt", 9000);
  EXPECT_EQ(update({{"check_items", {"Brot"}}, {"status", "in_progress"}}).text,
            ack("in_progress, Bucket Zu erledigen, Checkliste 1/25"));
}

TEST_F(UpdateCard, FieldsFlagsTitleBucketLabelsAndGoals) {
  const UUID done = seed([&](ModelContext &c) {
    Goal goal("Umzug", 1024, kNow);
    goal.plan = plan;
    c.insert(std::move(goal));
    Bucket bucket("Erledigt", 4096, kNow);
    bucket.plan = plan;
    bucket.colorHex = "#107C10";
    bucket.autoProgressRaw = 100;
    return c.insert(std::move(bucket)).id;
  });
  auto out = update({{"title", "Großeinkauf"},
                     {"bucket", "erledigt"},
                     {"due_date", "2025-03-14T16:30:00Z"},
                     {"is_on_my_day", true},
                     {"is_archived", true},
                     {"add_labels", {"Rot", "Gelb", "Blau"}},
                     {"add_goals", {"umzug"}}});
  EXPECT_EQ(out.text, "OK: „Großeinkauf“ (" + shortOf(card) +
                          ") – not_started, Bucket Erledigt, Checkliste 0/3, "
                          "fällig 2025-03-14");
  // A move keeps the sort order and takes neither colour nor progress.
  const std::string columns = "SELECT title, bucket, dueDate, isOnMyDay, "
                              "isArchived, sortOrder, colorHex, modifiedAt, "
                              "(SELECT count(*) FROM CardGoal) FROM Card";
  EXPECT_EQ(value(columns), "Großeinkauf|" + done +
                                "|1741969800.0|1|1|1024.0|NULL|1741773600.0|1");
  const std::string rot = value("SELECT id FROM PlanLabel WHERE name = 'Rot'");
  ASSERT_TRUE(update({{"title", ""},
                      {"remove_labels", {"gelb", rot}},
                      {"remove_goals", {"UMZUG", "gibt es nicht"}},
                      {"is_on_my_day", "false"}})
                  .ok);
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel JOIN PlanLabel l ON l.id = "
                 "label ORDER BY l.slotIndex"),
            (Strings{"Rot", "Blau"}));
  EXPECT_EQ(value("SELECT title, isOnMyDay, (SELECT count(*) FROM CardGoal) "
                  "FROM Card"),
            "Großeinkauf|1|0");
  ASSERT_TRUE(update({{"labels", {"gelb", "Blau"}}}).ok);
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel JOIN PlanLabel l ON l.id = "
                 "label ORDER BY l.slotIndex"),
            (Strings{"Gelb", "Blau"}));
}

TEST_F(UpdateCard, BucketAndLabelsAreIgnoredOnACardWithoutPlan) {
  const UUID loose = addCard("lose", 1, [](Card &c) { c.plan.reset(); });
  EXPECT_TRUE(run("update_card", {{"card_id", loose},
                                  {"bucket", "Nirgends"},
                                  {"add_labels", {"Nirgends"}}})
                  .ok);
}

TEST_F(UpdateCard, ClearingTheDueDateRemovesTheRule) {
  setRule(1741968000, RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  ASSERT_TRUE(update({{"due_date", "none"}}).ok);
  EXPECT_EQ(value("SELECT dueDate, recurrenceRuleData FROM Card"), "NULL|NULL");
}

TEST_F(UpdateCard, CompletingARecurringCardCreatesTheNext) {
  seed([&](ModelContext &c) {
    return c.checklistItems(*c.card(card))[1]->isChecked = true;
  });
  setRule(1741968000, RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  EXPECT_EQ(update({{"status", "completed"}}).text,
            ack("completed, Bucket Zu erledigen, Checkliste 1/3, fällig "
                "2025-03-14"));
  auto cards = rows("SELECT id, bucket, dueDate, recurrenceSeriesID, "
                    "recurrenceOccurrence, percentComplete, completedAt, "
                    "recurrenceRuleData IS NULL FROM Card");
  ASSERT_EQ(cards.size(), 2u);
  const std::string next = cards[1].substr(0, 36);
  EXPECT_EQ(cards[0].substr(36),
            "|" + todo + "|1741968000.0|" + card + "|1|100|1741773600.0|1");
  EXPECT_EQ(cards[1].substr(36),
            "|" + todo + "|1742572800.0|" + card + "|2|0|NULL|0");
  EXPECT_EQ(rows("SELECT title || '@' || sortOrder || '/' || isChecked FROM "
                 "ChecklistItem WHERE card = '" +
                 next + "'"),
            (Strings{"Brot@1024.0/0", "Milch@2048.0/0", "Milch@3072.0/0"}));
  // One history transaction by "mcp": the old card, the new one, 3 entries.
  EXPECT_EQ(rows("SELECT kind, count(*) FROM StoreChange JOIN StoreTransaction "
                 "t ON t.id = txn WHERE t.author = 'mcp' GROUP BY kind"),
            (Strings{"insert|4", "update|1"}));
}

TEST_F(UpdateCard, RecurringCompletionForEveryFrequency) {
  using F = RecurrenceRule::Frequency;
  struct Case {
    const char *name;
    RecurrenceRule rule;
    long long due, next; // local times in Berlin
  };
  const Case cases[] = {
      // Sat 29 Mar 17:00 CET -> Sun 30 Mar 17:00 CEST, 23 hours later.
      {"daily over DST", RecurrenceRule(F::daily, 1), 1743264000, 1743346800},
      {"daily every 3", RecurrenceRule(F::daily, 3), 1740844800, 1741104000},
      // Fri 28 Mar 09:00 CET -> Mon 31 Mar 09:00 CEST.
      {"weekdays", RecurrenceRule(F::weekdays, 5), 1743148800, 1743404400},
      {"weekly Mon->Wed", RecurrenceRule(F::weekly, 2, {4, 2}), 1741593600,
       1741766400},
      {"weekly Wed->Mon 12 days on", RecurrenceRule(F::weekly, 2, {2, 4}),
       1741766400, 1742803200},
      // Sat 25 Oct 08:00 CEST -> Sat 1 Nov 08:00 CET.
      {"weekly over DST", RecurrenceRule(F::weekly, 1), 1761372000, 1761980400},
      {"monthly 31 Jan", RecurrenceRule(F::monthly, 1), 1738339200, 1740758400},
      {"monthly over DST", RecurrenceRule(F::monthly, 1), 1742029200,
       1744704000},
      {"yearly 29 Feb", RecurrenceRule(F::yearly, 1), 1709222400, 1740758400},
  };
  for (const Case &c : cases) {
    setRule(static_cast<Date>(c.due), c.rule);
    ASSERT_TRUE(update({{"status", "done"}}).ok) << c.name;
    auto next = rows("SELECT id, CAST(dueDate AS INTEGER), CAST("
                     "recurrenceRuleData AS TEXT) FROM Card WHERE id <> '" +
                     card + "'");
    ASSERT_EQ(next.size(), 1u) << c.name;
    EXPECT_EQ(next[0].substr(37, 10), std::to_string(c.next)) << c.name;
    EXPECT_EQ(RecurrenceRule::decode(next[0].substr(48)),
              std::optional<RecurrenceRule>(c.rule))
        << c.name;
    seed([&](ModelContext &m) {
      m.remove(*m.card(next[0].substr(0, 36)));
      return 0;
    });
  }
}

TEST_F(UpdateCard, EveryFailureLeavesTheStoreAsItWas) {
  for (int i = 0; i < 15; ++i)
    addItem(card, "Punkt", 9000);
  addCard("Zwilling", 1,
          [](Card &c) { c.id = "ABCDEF01-0000-4000-8000-000000000001"; });
  addCard("Zwilling", 1,
          [](Card &c) { c.id = "ABCDEF02-0000-4000-8000-000000000002"; });
  const std::string badID =
      "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";
  const std::string zero = "00000000-0000-4000-8000-000000000000";
  expectFailures(
      "update_card",
      {{{{"title", "x"}}, badID},
       {{{"card_id", "Einkaufen"}}, badID},
       {{{"card_id", zero}}, "Karte mit ID " + zero + " nicht gefunden"},
       {{{"card_id", "abcdef"}},
        "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
       {{{"card_id", card}, {"check_items", {"Brot", "Butter"}}},
        "Checklisten-Eintrag „Butter“ nicht gefunden"},
       {{{"card_id", card}, {"check_items", {zero}}},
        "Checklisten-Eintrag „" + zero + "“ nicht gefunden"},
       {{{"card_id", card}, {"uncheck_items", {"ffffff"}}},
        "Checklisten-Eintrag „ffffff“ nicht gefunden"},
       // 18 entries plus 3: over the limit, whatever else is valid.
       {{{"card_id", card},
         {"check_items", {"Brot"}},
         {"title", "neu"},
         {"add_items", {"a", "b", "c"}}},
        "Maximal 20 Checklisten-Einträge pro Karte"},
       {{{"card_id", card}, {"title", "neu"}, {"due_date", "gestern"}},
        "Datum nicht lesbar: gestern (erwartet YYYY-MM-DD oder ISO-8601)"},
       {{{"card_id", card}, {"title", "neu"}, {"bucket", "Nope"}},
        "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen"},
       {{{"card_id", card},
         {"is_archived", true},
         {"add_labels", {"Rot", "Nope"}}},
        "Label „Nope“ existiert nicht im Plan"},
       {{{"card_id", card}, {"check_items", {"Brot"}}, {"add_goals", {"Nope"}}},
        "Ziel „Nope“ existiert nicht im Plan"},
       {{{"card_id", card}, {"add_items", {"a"}}, {"status", "fertig"}},
        "Unbekannter Status: fertig"},
       {{{"card_id", card}, {"recurrence", {{"frequency", "weekly"}}}},
        "Wiederholung benötigt ein due_date"}});
}

TEST_F(UpdateCard, AmbiguousChecklistPrefixesAndTenThousandReferences) {
  addItem(card, "x", 1, "ABCDEF01-0000-4000-8000-000000000001");
  addItem(card, "x", 1, "ABCDEF02-0000-4000-8000-000000000002");
  expectFailures("update_card",
                 {{{{"card_id", card}, {"check_items", {"AbCdEf"}}},
                   "ID-Kürzel „AbCdEf“ ist mehrdeutig (2 Treffer) – mehr "
                   "Zeichen angeben"}});
  json references = json::array();
  for (int i = 0; i < 10000; ++i)
    references.push_back(i % 3 == 0   ? json("milCH")
                         : i % 3 == 1 ? json(brot.substr(0, 6 + i % 30))
                                      : json("abcdef02"));
  ASSERT_TRUE(update({{"check_items", references}}).ok);
  EXPECT_EQ(checks(), "11001");
  references.push_back("gibt es nicht");
  expectFailures("update_card",
                 {{{{"card_id", card}, {"uncheck_items", references}},
                   "Checklisten-Eintrag „gibt es nicht“ nicht gefunden"}});
}

} // namespace
} // namespace taskory::test
