#include "WriteToolsFixture.h"

#include <string>
#include <vector>

namespace taskory::test {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

class ChecklistTools : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    plan = addPlan("Arbeit");
    todo = value("SELECT id FROM Bucket WHERE name = 'Zu erledigen'");
    card = addCard(plan, todo, "Einkaufen", 1024);
  }

  Outcome call(const char *tool, json args) {
    args["card_id"] = card;
    return run(tool, args);
  }

  Strings items() {
    return rows("SELECT title || '/' || isChecked FROM ChecklistItem WHERE "
                "card = '" +
                card + "' ORDER BY rowid");
  }

  UUID plan, todo, card;
};

TEST_F(ChecklistTools, AddAppendsAfterTheHighestSortOrder) {
  addItem(card, "b", 3072);
  addItem(card, "a", 1024);
  auto out = call("add_checklist_item", {{"title", "Einkaufen gehen"}});
  ASSERT_TRUE(out.ok) << out.text;
  const std::string id =
      value("SELECT id FROM ChecklistItem WHERE title = 'Einkaufen gehen'");
  EXPECT_EQ(out.text, "OK: „Einkaufen“ (" + shortOf(card) +
                          ") – not_started, Bucket Zu erledigen, Checkliste "
                          "0/3 – Eintrag „Einkaufen gehen“ (item_id " +
                          shortOf(id) + ") hinzugefügt");
  EXPECT_EQ(value("SELECT sortOrder, isChecked, createdAt FROM ChecklistItem "
                  "WHERE id = '" +
                  id + "'"),
            "4096.0|0|1741773600.0");
  EXPECT_EQ(value("SELECT modifiedAt FROM Card WHERE id = '" + card + "'"),
            "1741773600.0");
}

TEST_F(ChecklistTools, AddOnAnEmptyChecklistStartsAt1024) {
  ASSERT_TRUE(call("add_checklist_item", {{"title", "erstes"}}).ok);
  EXPECT_EQ(value("SELECT sortOrder FROM ChecklistItem"), "1024.0");
}

TEST_F(ChecklistTools, AddStopsAtTwentyEntries) {
  for (int i = 0; i < 19; ++i)
    addItem(card, "p" + std::to_string(i), 1024.0 * (i + 1));
  ASSERT_TRUE(call("add_checklist_item", {{"title", "zwanzig"}}).ok);
  const std::string before = snapshot();
  auto out = call("add_checklist_item", {{"title", "einundzwanzig"}});
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.text, "Maximal 20 Checklisten-Einträge pro Karte");
  EXPECT_EQ(snapshot(), before);
}

TEST_F(ChecklistTools, AddRefusesAMissingTitleWithoutChange) {
  const std::string before = snapshot();
  for (const json &args :
       {json::object(), json{{"title", ""}}, json{{"title", 3}}}) {
    EXPECT_EQ(call("add_checklist_item", args).text, "title fehlt") << args;
    EXPECT_EQ(snapshot(), before) << args;
  }
  EXPECT_EQ(run("add_checklist_item", {{"title", "x"}}).text,
            "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
            "Hex-Zeichen)");
}

TEST_F(ChecklistTools, SetByTitleIDOrPrefix) {
  const UUID einkaufen = addItem(card, "Einkaufen", 1024);
  const UUID putzen = addItem(card, "Putzen", 2048);
  auto out = call("set_checklist_item",
                  {{"item_title", "einkaufen"}, {"checked", true}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text,
            "OK: „Einkaufen“ (" + shortOf(card) +
                ") – not_started, Bucket Zu erledigen, Checkliste 1/2");
  // An item_id that is not ID-like gives way to the title.
  ASSERT_TRUE(call("set_checklist_item", {{"item_id", "abc"},
                                          {"item_title", "Putzen"},
                                          {"checked", true},
                                          {"new_title", ""}})
                  .ok);
  EXPECT_EQ(items(), (Strings{"Einkaufen/1", "Putzen/1"}));
  // By ID the title is not looked at.
  ASSERT_TRUE(call("set_checklist_item", {{"item_id", putzen.substr(0, 6)},
                                          {"item_title", "Einkaufen"},
                                          {"new_title", "Fenster putzen"}})
                  .ok);
  ASSERT_TRUE(
      call("set_checklist_item", {{"item_id", einkaufen}, {"checked", false}})
          .ok);
  EXPECT_EQ(items(), (Strings{"Einkaufen/0", "Fenster putzen/1"}));
}

TEST_F(ChecklistTools, SetSeveralAtOnce) {
  addItem(card, "a", 1024);
  addItem(card, "b", 2048);
  addItem(card, "c", 3072);
  auto out =
      call("set_checklist_item",
           {{"checked", false},
            {"items",
             {{{"item_title", "a"}, {"checked", true}},
              {{"item_title", "b"}, {"checked", true}},
              {{"item_title", "a"}, {"checked", false}, {"new_title", "A"}}}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, "OK: „Einkaufen“ (" + shortOf(card) +
                          ") – not_started, Bucket Zu erledigen, Checkliste "
                          "1/3 – 3 Einträge geändert");
  EXPECT_EQ(items(), (Strings{"A/0", "b/1", "c/0"}));

  out = call("set_checklist_item",
             {{"items", {{{"item_title", "c"}, {"checked", true}}}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text,
            "OK: „Einkaufen“ (" + shortOf(card) +
                ") – not_started, Bucket Zu erledigen, Checkliste 2/3");
}

TEST_F(ChecklistTools, ItemsThatAreNotAllObjectsFallBackToTheTopLevel) {
  addItem(card, "a", 1024);
  auto out =
      call("set_checklist_item", {{"item_title", "a"},
                                  {"checked", true},
                                  {"items", {{{"item_title", "x"}}, 3}}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(items(), Strings{"a/1"});
}

TEST_F(ChecklistTools, SetFailuresChangeNothing) {
  addItem(card, "a", 1024);
  addItem(card, "b", 2048);
  seed([&](ModelContext &c) {
    for (const char *id : {"ABCDEF01-0000-4000-8000-000000000001",
                           "ABCDEF02-0000-4000-8000-000000000002"}) {
      ChecklistItem item("x", 3000, kNow);
      item.id = id;
      item.card = card;
      c.insert(std::move(item));
    }
  });
  struct Case {
    json args;
    std::string message;
  };
  const Case cases[] = {
      {{{"items", json::array()}, {"item_title", "a"}}, "items ist leer"},
      {{{"checked", true}}, "item_id oder item_title angeben"},
      {{{"item_id", 12345678}, {"checked", true}},
       "item_id oder item_title angeben"},
      {{{"item_id", "abc"}, {"checked", true}},
       "item_id oder item_title angeben"},
      {{{"item_title", "Z"}, {"checked", true}},
       "Checklisten-Eintrag „Z“ nicht gefunden"},
      {{{"item_id", "00000000-0000-4000-8000-000000000000"}},
       "Checklisten-Eintrag mit ID 00000000-0000-4000-8000-000000000000 nicht "
       "gefunden"},
      {{{"item_id", "fedcba"}, {"item_title", "a"}},
       "Checklisten-Eintrag mit ID fedcba nicht gefunden"},
      {{{"item_id", "abcdef"}},
       "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
      {{{"items",
         {{{"item_title", "a"}, {"checked", true}},
          {{"item_title", "b"}, {"checked", true}},
          {{"item_title", "fehlt"}, {"checked", true}}}}},
       "Checklisten-Eintrag „fehlt“ nicht gefunden"},
  };
  const std::string before = snapshot();
  for (const Case &c : cases) {
    auto out = call("set_checklist_item", c.args);
    EXPECT_FALSE(out.ok) << c.args;
    EXPECT_EQ(out.text, c.message) << c.args;
    EXPECT_EQ(snapshot(), before) << c.args;
  }
}

} // namespace
} // namespace taskory::test
