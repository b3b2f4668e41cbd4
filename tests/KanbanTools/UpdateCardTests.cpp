#include "WriteToolsFixture.h"

#include "KanbanCore/RecurrenceRule.h"

#include <cctype>
#include <string>
#include <vector>

namespace taskory::test {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

class UpdateCard : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    plan = addPlan("Arbeit");
    todo = value("SELECT id FROM Bucket WHERE name = 'Zu erledigen'");
    done = addBucket(plan, "Erledigt", 4096, "#107C10");
    card = addCard(plan, todo, "Einkaufen", 1024);
    milch1 = addItem(card, "Milch", 3072);
    brot = addItem(card, "Brot", 1024);
    milch2 = addItem(card, "Milch", 2048);
  }

  Outcome update(json args) {
    args["card_id"] = card;
    return run("update_card", args);
  }

  std::string checks() {
    std::string out;
    for (const auto &row : rows("SELECT isChecked FROM ChecklistItem WHERE "
                                "card = '" +
                                card + "' ORDER BY rowid"))
      out += row;
    return out;
  }

  std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (" + shortOf(card) + ") – " + rest;
  }

  UUID plan, todo, done, card, milch1, brot, milch2;
};

TEST_F(UpdateCard, ChecklistReferencesByTitleThenByID) {
  auto out = update({{"check_items", {"milch"}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(checks(), "100"); // the first Milch in stored order
  EXPECT_EQ(out.text, ack("not_started, Bucket Zu erledigen, Checkliste 1/3"));

  ASSERT_TRUE(update({{"check_items", {milch2, brot.substr(0, 8)}}}).ok);
  EXPECT_EQ(checks(), "111");
  // Lower-case prefixes select the same entry; a name in both lists ends
  // unticked.
  std::string lower = milch2.substr(0, 6);
  for (char &c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(
      update({{"check_items", {lower}}, {"uncheck_items", {lower}}}).ok);
  EXPECT_EQ(checks(), "110");
}

TEST_F(UpdateCard, ATitleThatLooksLikeAnIDWinsOverTheID) {
  UUID hexTitled, idOwner;
  seed([&](ModelContext &c) {
    ChecklistItem owner("Anderes", 5000, kNow);
    owner.id = "DEADBEEF-0000-4000-8000-000000000001";
    owner.card = card;
    idOwner = c.insert(std::move(owner)).id;
    ChecklistItem titled("deadbeef", 6000, kNow);
    titled.card = card;
    hexTitled = c.insert(std::move(titled)).id;
  });
  ASSERT_TRUE(update({{"check_items", {"DEADBEEF"}}}).ok);
  EXPECT_EQ(value("SELECT isChecked FROM ChecklistItem WHERE id = '" +
                  hexTitled + "'"),
            "1");
  EXPECT_EQ(
      value("SELECT isChecked FROM ChecklistItem WHERE id = '" + idOwner + "'"),
      "0");
}

TEST_F(UpdateCard, AddedItemsGoAfterTheHighestSortOrderAndAreReported) {
  auto out = update({{"add_items", {"", "Eier", 3, "Mehl"}}});
  ASSERT_TRUE(out.ok) << out.text;
  auto added = rows("SELECT id, title, sortOrder FROM ChecklistItem WHERE "
                    "title IN ('Eier', 'Mehl') ORDER BY rowid");
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].substr(36), "|Eier|4096.0");
  EXPECT_EQ(added[1].substr(36), "|Mehl|5120.0");
  EXPECT_EQ(out.text,
            ack("not_started, Bucket Zu erledigen, Checkliste 0/5 – "
                "neu: " +
                added[0].substr(0, 8) + ", " + added[1].substr(0, 8)));
  EXPECT_EQ(value("SELECT modifiedAt FROM Card WHERE id = '" + card + "'"),
            "1741773600.0");
}

TEST_F(UpdateCard, FieldsFlagsTitleAndBucket) {
  const UUID goal = addGoal(plan, "Umzug");
  auto out = update({{"title", "Großeinkauf"},
                     {"bucket", "erledigt"},
                     {"notes", "Liste mitnehmen"},
                     {"due_date", "2025-03-14T16:30:00Z"},
                     {"priority", "low"},
                     {"is_on_my_day", true},
                     {"is_archived", true},
                     {"add_labels", {"Rot", "Gelb"}},
                     {"add_goals", {"umzug"}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, "OK: „Großeinkauf“ (" + shortOf(card) +
                          ") – not_started, Bucket Erledigt, Checkliste 0/3, "
                          "fällig 2025-03-14");
  // Moving keeps the sort order and takes neither colour nor progress.
  EXPECT_EQ(value("SELECT title, bucket, notes, dueDate, priorityRaw, "
                  "isOnMyDay, isArchived, sortOrder, colorHex FROM Card WHERE "
                  "id = '" +
                  card + "'"),
            "Großeinkauf|" + done +
                "|Liste mitnehmen|1741969800.0|9|1|1|1024.0|NULL");
  EXPECT_EQ(rows("SELECT goal FROM CardGoal WHERE card = '" + card + "'"),
            Strings{goal});

  ASSERT_TRUE(update({{"title", ""},
                      {"remove_labels",
                       {"gelb", value("SELECT id FROM "
                                      "PlanLabel WHERE name "
                                      "= 'Rot'")}},
                      {"remove_goals", {"UMZUG", "gibt es nicht"}},
                      {"is_on_my_day", "false"}})
                  .ok);
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel cl JOIN PlanLabel l ON l.id = "
                 "cl.label WHERE cl.card = '" +
                 card + "'"),
            Strings{"Rot"});
  EXPECT_EQ(value("SELECT count(*) FROM CardGoal"), "0");
  EXPECT_EQ(
      value("SELECT title, isOnMyDay FROM Card WHERE id = '" + card + "'"),
      "Großeinkauf|1");
}

TEST_F(UpdateCard, LabelsAndGoalsReplaceTheWholeSet) {
  ASSERT_TRUE(update({{"add_labels", {"Rot", "Gelb"}}}).ok);
  ASSERT_TRUE(update({{"labels", {"gelb", "Blau"}}}).ok);
  EXPECT_EQ(rows("SELECT l.name FROM CardLabel cl JOIN PlanLabel l ON l.id = "
                 "cl.label WHERE cl.card = '" +
                 card + "' ORDER BY l.slotIndex"),
            (Strings{"Gelb", "Blau"}));
  ASSERT_TRUE(update({{"labels", json::array()}}).ok);
  EXPECT_EQ(value("SELECT count(*) FROM CardLabel"), "0");
}

TEST_F(UpdateCard, BucketIsIgnoredOnACardWithoutPlan) {
  const UUID loose =
      addCard(plan, std::nullopt, "lose", 1, [](Card &c) { c.plan.reset(); });
  auto out = run("update_card", {{"card_id", loose},
                                 {"bucket", "Nirgends"},
                                 {"add_labels", {"Nirgends"}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(value("SELECT bucket FROM Card WHERE id = '" + loose + "'"),
            "NULL");
}

TEST_F(UpdateCard, ClearingTheDueDateRemovesTheRule) {
  seed([&](ModelContext &c) {
    Card *stored = c.card(card);
    stored->dueDate = 1741968000;
    stored->setRecurrenceRule(
        RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  });
  ASSERT_TRUE(update({{"due_date", "none"}}).ok);
  EXPECT_EQ(value("SELECT dueDate, recurrenceRuleData FROM Card WHERE id = '" +
                  card + "'"),
            "NULL|NULL");
}

TEST_F(UpdateCard, CompletingAWeeklyCardCreatesTheNextInTheSameBucket) {
  addItem(card, "Zettel", 4096, true);
  seed([&](ModelContext &c) {
    Card *stored = c.card(card);
    stored->bucket = done;
    stored->dueDate = 1741968000; // Friday 2025-03-14 17:00
    stored->setRecurrenceRule(
        RecurrenceRule(RecurrenceRule::Frequency::weekly, 1));
  });
  auto out = update({{"status", "completed"}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, ack("completed, Bucket Erledigt, Checkliste 1/4, fällig "
                          "2025-03-14"));
  auto next = rows("SELECT id, bucket, dueDate, recurrenceSeriesID, "
                   "recurrenceOccurrence, percentComplete FROM Card WHERE id "
                   "<> '" +
                   card + "'");
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].substr(36), "|" + done + "|1742572800.0|" + card + "|2|0");
  EXPECT_EQ(rows("SELECT title || '@' || sortOrder || '/' || isChecked FROM "
                 "ChecklistItem WHERE card = '" +
                 next[0].substr(0, 36) + "' ORDER BY rowid"),
            (Strings{"Brot@1024.0/0", "Milch@2048.0/0", "Milch@3072.0/0",
                     "Zettel@4096.0/0"}));
  EXPECT_EQ(value("SELECT percentComplete, completedAt, recurrenceRuleData, "
                  "recurrenceSeriesID FROM Card WHERE id = '" +
                  card + "'"),
            "100|1741773600.0|NULL|" + card);
  // One history transaction by "mcp" for the whole call.
  EXPECT_EQ(value("SELECT count(*), author FROM StoreTransaction WHERE author "
                  "= 'mcp'"),
            "1|mcp");
  EXPECT_EQ(value("SELECT count(*) FROM StoreChange WHERE kind = 'insert' AND "
                  "txn = (SELECT id FROM StoreTransaction WHERE author = "
                  "'mcp')"),
            "5");
}

TEST_F(UpdateCard, RecurringCompletionForEveryFrequency) {
  using F = RecurrenceRule::Frequency;
  struct Case {
    const char *name;
    RecurrenceRule rule;
    Date due;
    Date next;
  };
  const Case cases[] = {
      // 17:00 CET the day before the spring change, 17:00 CEST after it.
      {"daily over DST", RecurrenceRule(F::daily, 1), 1743264000, 1743346800},
      {"daily, every 3", RecurrenceRule(F::daily, 3), 1740844800,
       1740844800 + 3 * 86400},
      {"weekdays Fri->Mon over DST", RecurrenceRule(F::weekdays, 5), 1743148800,
       1743404400},
      {"weekly Mon->Wed", RecurrenceRule(F::weekly, 2, {4, 2}), 1741593600,
       1741766400},
      {"weekly Wed->Mon 12 days on", RecurrenceRule(F::weekly, 2, {2, 4}),
       1741766400, 1742803200},
      {"weekly over the autumn change", RecurrenceRule(F::weekly, 1),
       1761372000, 1761980400},
      {"monthly 31 Jan -> 28 Feb", RecurrenceRule(F::monthly, 1), 1738339200,
       1740758400},
      {"monthly over DST", RecurrenceRule(F::monthly, 1), 1742029200,
       1744704000},
      {"yearly 29 Feb", RecurrenceRule(F::yearly, 1), 1709222400, 1740758400},
  };
  for (const Case &c : cases) {
    seed([&](ModelContext &context) {
      Card *stored = context.card(card);
      stored->percentComplete = 0;
      stored->dueDate = c.due;
      stored->setRecurrenceRule(c.rule);
    });
    auto out = update({{"status", "done"}});
    ASSERT_TRUE(out.ok) << c.name << ": " << out.text;
    auto next = rows("SELECT id, dueDate, CAST(recurrenceRuleData AS TEXT) "
                     "FROM Card ORDER BY rowid DESC LIMIT 1");
    ASSERT_EQ(next.size(), 1u);
    ASSERT_NE(next[0].substr(0, 36), card) << c.name;
    EXPECT_EQ(next[0].substr(37, next[0].find('|', 37) - 37),
              std::to_string(static_cast<long long>(c.next)) + ".0")
        << c.name;
    EXPECT_EQ(RecurrenceRule::decode(next[0].substr(next[0].rfind('|') + 1)),
              std::optional<RecurrenceRule>(c.rule))
        << c.name;
    seed([&](ModelContext &context) {
      context.remove(*context.card(next[0].substr(0, 36)));
    });
  }
}

TEST_F(UpdateCard, EveryFailureLeavesTheStoreAsItWas) {
  for (int i = 0; i < 15; ++i)
    addItem(card, "Punkt " + std::to_string(i), 10000 + i);
  seed([](ModelContext &c) {
    for (const char *id : {"ABCDEF01-0000-4000-8000-000000000001",
                           "ABCDEF02-0000-4000-8000-000000000002"}) {
      Card twin("Zwilling", 1, kNow);
      twin.id = id;
      c.insert(std::move(twin));
    }
  });
  const std::string bad = "Datum nicht lesbar: gestern (erwartet YYYY-MM-DD "
                          "oder ISO-8601)";
  struct Case {
    json args;
    std::string message;
  };
  const Case cases[] = {
      {{{"title", "x"}},
       "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
       "Hex-Zeichen)"},
      {{{"card_id", "Einkaufen"}},
       "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
       "Hex-Zeichen)"},
      {{{"card_id", "00000000-0000-4000-8000-000000000000"}},
       "Karte mit ID 00000000-0000-4000-8000-000000000000 nicht gefunden"},
      {{{"card_id", "abcdef"}},
       "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
      {{{"card_id", card}, {"check_items", {"Brot", "Butter"}}},
       "Checklisten-Eintrag „Butter“ nicht gefunden"},
      {{{"card_id", card},
        {"check_items", {"00000000-0000-4000-8000-000000000000"}}},
       "Checklisten-Eintrag „00000000-0000-4000-8000-000000000000“ nicht "
       "gefunden"},
      {{{"card_id", card}, {"uncheck_items", {"ffffff"}}},
       "Checklisten-Eintrag „ffffff“ nicht gefunden"},
      // Eighteen entries plus three is over the limit, whatever else is valid.
      {{{"card_id", card},
        {"check_items", {"Brot"}},
        {"title", "neu"},
        {"add_items", {"a", "b", "c"}}},
       "Maximal 20 Checklisten-Einträge pro Karte"},
      {{{"card_id", card}, {"title", "neu"}, {"due_date", "gestern"}}, bad},
      {{{"card_id", card}, {"title", "neu"}, {"bucket", "Nope"}},
       "Bucket „Nope“ nicht gefunden. Vorhanden: Zu erledigen, Erledigt"},
      {{{"card_id", card},
        {"is_archived", true},
        {"add_labels", {"Rot", "Nope"}}},
       "Label „Nope“ existiert nicht im Plan"},
      {{{"card_id", card}, {"check_items", {"Brot"}}, {"add_goals", {"Nope"}}},
       "Ziel „Nope“ existiert nicht im Plan"},
      {{{"card_id", card}, {"add_items", {"a"}}, {"status", "fertig"}},
       "Unbekannter Status: fertig"},
      {{{"card_id", card},
        {"notes", "x"},
        {"recurrence", {{"frequency", "weekly"}}}},
       "Wiederholung benötigt ein due_date"},
  };
  const std::string before = snapshot();
  for (const Case &c : cases) {
    auto out = run("update_card", c.args);
    EXPECT_FALSE(out.ok) << c.args;
    EXPECT_EQ(out.text, c.message) << c.args;
    EXPECT_EQ(snapshot(), before) << c.args;
  }
}

TEST_F(UpdateCard, AmbiguousChecklistPrefixNamesTheCount) {
  seed([&](ModelContext &c) {
    for (const char *id : {"ABCDEF01-0000-4000-8000-000000000001",
                           "ABCDEF02-0000-4000-8000-000000000002"}) {
      ChecklistItem item("x", 1, kNow);
      item.id = id;
      item.card = card;
      c.insert(std::move(item));
    }
  });
  auto out = update({{"check_items", {"AbCdEf"}}});
  EXPECT_EQ(
      out.text,
      "ID-Kürzel „AbCdEf“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben");
  ASSERT_TRUE(update({{"check_items", {"abcdef02"}}}).ok);
  EXPECT_EQ(value("SELECT isChecked FROM ChecklistItem WHERE id LIKE "
                  "'ABCDEF02%'"),
            "1");
}

TEST_F(UpdateCard, AddingUpToTwentyEntriesIsAllowed) {
  json titles = json::array();
  for (int i = 0; i < 17; ++i)
    titles.push_back("neu " + std::to_string(i));
  auto out = update({{"add_items", titles}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(value("SELECT count(*) FROM ChecklistItem"), "20");
  EXPECT_EQ(update({{"add_items", {"", "einer zu viel"}}}).text,
            "Maximal 20 Checklisten-Einträge pro Karte");
}

TEST_F(UpdateCard, ACardAlreadyOverTheLimitCanStillBeChanged) {
  for (int i = 0; i < 22; ++i)
    addItem(card, "Altlast " + std::to_string(i), 10000 + i);
  auto out = update({{"check_items", {"Brot"}}, {"status", "in_progress"}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, ack("in_progress, Bucket Zu erledigen, Checkliste 1/25"));
  EXPECT_EQ(update({{"add_items", {"noch eins"}}}).text,
            "Maximal 20 Checklisten-Einträge pro Karte");
}

TEST_F(UpdateCard, TenThousandChecklistReferences) {
  json references = json::array();
  for (int i = 0; i < 10000; ++i) {
    switch (i % 4) {
    case 0:
      references.push_back("MILCH");
      break;
    case 1:
      references.push_back(brot.substr(0, 6 + i % 30));
      break;
    case 2:
      references.push_back("bRoT");
      break;
    default:
      references.push_back(milch2);
      break;
    }
  }
  auto out = update({{"check_items", references}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(checks(), "111");

  references.push_back("gibt es nicht");
  const std::string before = snapshot();
  EXPECT_EQ(update({{"uncheck_items", references}}).text,
            "Checklisten-Eintrag „gibt es nicht“ nicht gefunden");
  EXPECT_EQ(snapshot(), before);
}

} // namespace
} // namespace taskory::test
