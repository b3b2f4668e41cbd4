#include "ToolsFixture.h"

namespace taskory::test {
namespace {

class ChecklistTools : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    cardID = seed()
                 .card(seed().bucket(seed().plan("Arbeit"), "Zu erledigen"),
                       "Einkaufen", "C0000000-0000-4000-8000-000000000000")
                 .id;
  }
  ChecklistItem &item(const char *title, const char *id = "") {
    return seed().item(*context().card(cardID), title, false, id);
  }
  std::string run(const char *tool, json args) {
    args["card_id"] = cardID;
    return call(tool, args);
  }
  static std::string ack(const std::string &rest) {
    return "OK: „Einkaufen“ (C0000000) – not_started, Bucket Zu erledigen, "
           "Checkliste " +
           rest;
  }
  Strings items() {
    return rows("SELECT title || '/' || isChecked FROM ChecklistItem");
  }
  UUID cardID;
};

TEST_F(ChecklistTools, AddAppendsAfterTheHighestSortOrderUpToTwenty) {
  run("add_checklist_item", {{"title", "erstes"}});
  item("b").sortOrder = 3072;
  const std::string out = run("add_checklist_item", {{"title", "Brot"}});
  const std::string row = value("SELECT id, sortOrder, isChecked, createdAt "
                                "FROM ChecklistItem WHERE title = 'Brot'");
  EXPECT_EQ(out, ack("0/3 – Eintrag „Brot“ (item_id " + shortID(row) +
                     ") hinzugefügt"));
  EXPECT_EQ(row.substr(36), "|4096.0|0|1741773600.0");
  EXPECT_EQ(value("SELECT group_concat(sortOrder) FROM ChecklistItem"),
            "1024.0,3072.0,4096.0");
  EXPECT_EQ(value("SELECT modifiedAt FROM Card"), "1741773600.0");
  for (int i = 3; i < 20; ++i)
    item("p");
  expectFailures("add_checklist_item",
                 {{{{"card_id", cardID}, {"title", "21"}},
                   "Maximal 20 Checklisten-Einträge pro Karte"},
                  {{{"card_id", cardID}, {"title", ""}}, "title fehlt"},
                  {{{"title", "x"}},
                   "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
                   "Hex-Zeichen)"}});
}

TEST_F(ChecklistTools, SetByTitleIDPrefixOrSeveralAtOnce) {
  const UUID einkaufen = item("Einkaufen").id, putzen = item("Putzen").id;
  EXPECT_EQ(run("set_checklist_item",
                {{"item_title", "einkaufen"}, {"checked", true}}),
            ack("1/2"));
  // An item_id that is not ID-like gives way to the title; an empty new
  // title changes nothing.
  run("set_checklist_item", {{"item_id", "abc"},
                             {"item_title", "Putzen"},
                             {"checked", true},
                             {"new_title", ""}});
  EXPECT_EQ(items(), (Strings{"Einkaufen/1", "Putzen/1"}));
  // By ID the title is not looked at.
  run("set_checklist_item", {{"item_id", putzen.substr(0, 6)},
                             {"item_title", "Einkaufen"},
                             {"new_title", "Fenster"}});
  run("set_checklist_item", {{"item_id", einkaufen}, {"checked", false}});
  EXPECT_EQ(items(), (Strings{"Einkaufen/0", "Fenster/1"}));
  EXPECT_EQ(run("set_checklist_item",
                {{"checked", false},
                 {"items",
                  {{{"item_title", "Einkaufen"}, {"checked", true}},
                   {{"item_title", "Fenster"}, {"checked", false}},
                   {{"item_title", "Einkaufen"}, {"new_title", "A"}}}}}),
            ack("1/2 – 3 Einträge geändert"));
  EXPECT_EQ(items(), (Strings{"A/1", "Fenster/0"}));
  // A list that is not made only of objects leaves the top level in charge.
  run("set_checklist_item", {{"item_title", "Fenster"},
                             {"checked", true},
                             {"items", {{{"item_title", "x"}}, 3}}});
  EXPECT_EQ(items(), (Strings{"A/1", "Fenster/1"}));
}

TEST_F(ChecklistTools, SetFailuresChangeNothing) {
  item("a");
  item("x", "ABCDEF01-0000-4000-8000-000000000001");
  item("x", "ABCDEF02-0000-4000-8000-000000000002");
  const std::string zero = "00000000-0000-4000-8000-000000000000";
  const auto with = [&](json args) {
    args["card_id"] = cardID;
    return args;
  };
  expectFailures(
      "set_checklist_item",
      {{with({{"items", json::array()}, {"item_title", "a"}}),
        "items ist leer"},
       {with({{"checked", true}}), "item_id oder item_title angeben"},
       {with({{"item_id", 12345678}}), "item_id oder item_title angeben"},
       {with({{"item_title", "Z"}}), "Checklisten-Eintrag „Z“ nicht gefunden"},
       {with({{"item_id", zero}}),
        "Checklisten-Eintrag mit ID " + zero + " nicht gefunden"},
       {with({{"item_id", "fedcba"}, {"item_title", "a"}}),
        "Checklisten-Eintrag mit ID fedcba nicht gefunden"},
       {with({{"item_id", "abcdef"}}),
        "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
       {with({{"items",
               {{{"item_title", "a"}, {"checked", true}},
                {{"item_title", "fehlt"}, {"checked", true}}}}}),
        "Checklisten-Eintrag „fehlt“ nicht gefunden"}});
}

} // namespace
} // namespace taskory::test
