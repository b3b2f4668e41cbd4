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
  std::string run(json args) {
    args["card_id"] = cardID;
    return call("set_checklist_item", args);
  }
  Strings items() {
    return rows("SELECT title || '/' || isChecked FROM ChecklistItem");
  }
  UUID cardID;
};

TEST_F(ChecklistTools, AddAppendsAfterTheHighestSortOrderUpToTwenty) {
  call("add_checklist_item", {{"card_id", cardID}, {"title", "erstes"}});
  item("b").sortOrder = 3072;
  call("add_checklist_item", {{"card_id", cardID}, {"title", "Brot"}});
  EXPECT_EQ(value("SELECT group_concat(sortOrder) FROM ChecklistItem"),
            "1024.0,3072.0,4096.0");
  EXPECT_EQ(value("SELECT modifiedAt = " + std::to_string(kNow) + " FROM Card"),
            "1");
  for (int i = 3; i < 20; ++i)
    item("p");
  expectFailures("add_checklist_item", table(R"(
{"card_id": "C0000000", "title": "21"} | Maximal 20 Checklisten-Einträge pro Karte
{"card_id": "C0000000", "title": ""} | title fehlt
)"));
}

TEST_F(ChecklistTools, SetFindsByIDElseByTitle) {
  const UUID einkaufen = item("Einkaufen").id, putzen = item("Putzen").id;
  // An item_id that is not ID-like gives way to the title; an empty new title
  // changes nothing.
  run({{"item_id", "abc"},
       {"item_title", "Putzen"},
       {"checked", true},
       {"new_title", ""}});
  EXPECT_EQ(items(), (Strings{"Einkaufen/0", "Putzen/1"}));
  // By ID the title is not looked at.
  run({{"item_id", putzen.substr(0, 6)},
       {"item_title", "Einkaufen"},
       {"new_title", "Fenster"}});
  run({{"item_id", einkaufen}, {"checked", true}});
  EXPECT_EQ(items(), (Strings{"Einkaufen/1", "Fenster/1"}));
}

TEST_F(ChecklistTools, ItemsCountOnlyWhenEveryElementIsAnObject) {
  item("Einkaufen");
  item("Putzen");
  // A list that is not made only of objects leaves the top level in charge.
  run({{"item_title", "Putzen"},
       {"checked", true},
       {"items", {{{"item_title", "Einkaufen"}, {"checked", true}}, 3}}});
  EXPECT_EQ(items(), (Strings{"Einkaufen/0", "Putzen/1"}));
}

TEST_F(ChecklistTools, SetFailuresChangeNothing) {
  item("a");
  item("x", "ABCDEF01-0000-4000-8000-000000000001");
  item("x", "ABCDEF02-0000-4000-8000-000000000002");
  expectFailures("set_checklist_item", table(R"(
{"card_id": "C0000000", "items": [], "item_title": "a"} | items ist leer
{"card_id": "C0000000", "checked": true} | item_id oder item_title angeben
{"card_id": "C0000000", "item_id": "fedcba", "item_title": "a"} | Checklisten-Eintrag mit ID fedcba nicht gefunden
{"card_id": "C0000000", "item_id": "abcdef"} | ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben
{"card_id": "C0000000", "items": [{"item_title": "a", "checked": true}, {"item_title": "fehlt"}]} | Checklisten-Eintrag „fehlt“ nicht gefunden
)"));
}

} // namespace
} // namespace taskory::test
