#include "WriteToolsFixture.h"

namespace taskory::test {
namespace {

class ChecklistTools : public WriteToolsTest {
protected:
  void SetUp() override {
    WriteToolsTest::SetUp();
    card = addCard("Einkaufen");
  }
  Outcome call(const char *tool, json args) {
    args["card_id"] = card;
    return run(tool, args);
  }
  std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (" + shortOf(card) +
           ") – not_started, Bucket Zu erledigen, Checkliste " + rest;
  }
  Strings items() {
    return rows("SELECT title || '/' || isChecked FROM ChecklistItem");
  }
  UUID card;
};

TEST_F(ChecklistTools, AddAppendsAfterTheHighestSortOrderUpToTwenty) {
  ASSERT_TRUE(call("add_checklist_item", {{"title", "erstes"}}).ok);
  addItem(card, "b", 3072);
  auto out = call("add_checklist_item", {{"title", "Brot"}});
  const std::string row = value("SELECT id, sortOrder, isChecked, createdAt "
                                "FROM ChecklistItem WHERE title = 'Brot'");
  EXPECT_EQ(out.text, ack("0/3 – Eintrag „Brot“ (item_id " + shortOf(row) +
                          ") hinzugefügt"));
  EXPECT_EQ(row.substr(36), "|4096.0|0|1741773600.0");
  EXPECT_EQ(value("SELECT sortOrder FROM ChecklistItem"), "1024.0");
  EXPECT_EQ(value("SELECT modifiedAt FROM Card"), "1741773600.0");

  for (int i = 3; i < 20; ++i)
    addItem(card, "p", 1);
  expectFailures("add_checklist_item",
                 {{{{"card_id", card}, {"title", "21"}},
                   "Maximal 20 Checklisten-Einträge pro Karte"},
                  {{{"card_id", card}}, "title fehlt"},
                  {{{"card_id", card}, {"title", ""}}, "title fehlt"},
                  {{{"title", "x"}},
                   "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
                   "Hex-Zeichen)"}});
}

TEST_F(ChecklistTools, SetByTitleIDOrPrefix) {
  const UUID einkaufen = addItem(card, "Einkaufen", 1024);
  const UUID putzen = addItem(card, "Putzen", 2048);
  EXPECT_EQ(call("set_checklist_item",
                 {{"item_title", "einkaufen"}, {"checked", true}})
                .text,
            ack("1/2"));
  // An item_id that is not ID-like gives way to the title; an empty new
  // title changes nothing.
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
  auto out = call("set_checklist_item",
                  {{"checked", false},
                   {"items",
                    {{{"item_title", "a"}, {"checked", true}},
                     {{"item_title", "b"}, {"checked", true}},
                     {{"item_title", "a"}, {"new_title", "A"}}}}});
  EXPECT_EQ(out.text, ack("2/2 – 3 Einträge geändert"));
  EXPECT_EQ(items(), (Strings{"A/1", "b/1"}));
  EXPECT_EQ(call("set_checklist_item",
                 {{"items", {{{"item_title", "b"}, {"checked", false}}}}})
                .text,
            ack("1/2"));
  // A list that is not made only of objects leaves the top level in charge.
  ASSERT_TRUE(
      call("set_checklist_item", {{"item_title", "b"},
                                  {"checked", true},
                                  {"items", {{{"item_title", "x"}}, 3}}})
          .ok);
  EXPECT_EQ(items(), (Strings{"A/1", "b/1"}));
}

TEST_F(ChecklistTools, SetFailuresChangeNothing) {
  addItem(card, "a", 1024);
  addItem(card, "x", 1, "ABCDEF01-0000-4000-8000-000000000001");
  addItem(card, "x", 1, "ABCDEF02-0000-4000-8000-000000000002");
  const std::string zero = "00000000-0000-4000-8000-000000000000";
  auto with = [&](json args) {
    args["card_id"] = card;
    return args;
  };
  expectFailures(
      "set_checklist_item",
      {{with({{"items", json::array()}, {"item_title", "a"}}),
        "items ist leer"},
       {with({{"checked", true}}), "item_id oder item_title angeben"},
       {with({{"item_id", 12345678}}), "item_id oder item_title angeben"},
       {with({{"item_id", "abc"}}), "item_id oder item_title angeben"},
       {with({{"item_title", "Z"}}), "Checklisten-Eintrag „Z“ nicht gefunden"},
       {with({{"item_id", zero}}),
        "Checklisten-Eintrag mit ID " + zero + " nicht gefunden"},
       {with({{"item_id", "fedcba"}, {"item_title", "a"}}),
        "Checklisten-Eintrag mit ID fedcba nicht gefunden"},
       {with({{"item_id", "abcdef"}}),
        "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
       {with({{"items",
               {{{"item_title", "a"}, {"checked", true}},
                {{"item_title", "x"}, {"checked", true}},
                {{"item_title", "fehlt"}, {"checked", true}}}}}),
        "Checklisten-Eintrag „fehlt“ nicht gefunden"}});
}

} // namespace
} // namespace taskory::test
