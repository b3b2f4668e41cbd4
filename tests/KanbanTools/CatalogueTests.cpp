#include "ToolsFixture.h"

#include <set>

namespace taskory::test {
namespace {

const json &toolNamed(const std::string &name) {
  for (const auto &tool : KanbanTools::specs())
    if (tool["name"] == name)
      return tool;
  static const json none;
  return none;
}

TEST(ToolCatalogue, NamesOrderRequiredArgumentsAndTypes) {
  const struct {
    std::string name, required, properties; // name:type, s i n b a o
  } expected[] = {
      {"list_plans", "", ""},
      {"list_cards", "",
       "bucket:s due_within_days:i format:s include_completed:b limit:i "
       "plan:s query:s status:s"},
      {"get_card", "card_id", "card_id:s format:s"},
      {"create_card", "title",
       "bucket:s checklist:a color_hex:s due_date:s goals:a labels:a notes:s "
       "plan:s priority:s recurrence:o start_date:s status:s title:s"},
      {"update_card", "card_id",
       "add_goals:a add_items:a add_labels:a bucket:s card_id:s check_items:a "
       "color_hex:s due_date:s is_archived:b is_on_my_day:b notes:s "
       "planned_date:s priority:s recurrence:o remove_goals:a remove_labels:a "
       "start_date:s status:s title:s uncheck_items:a"},
      {"delete_card", "card_id", "card_id:s"},
      {"add_checklist_item", "card_id title", "card_id:s title:s"},
      {"set_checklist_item", "card_id",
       "card_id:s checked:b item_id:s item_title:s items:a new_title:s"},
      {"create_plan", "title", "title:s"},
      {"create_bucket", "plan name", "color_hex:s name:s plan:s"},
      {"update_bucket", "plan bucket",
       "bucket:s color_hex:s new_name:s plan:s"},
      {"plan_week", "", "daily_capacity:n include_weekend:b"},
      {"list_goals", "", ""},
      {"create_goal", "plan title", "notes:s plan:s target_date:s title:s"},
  };
  const json &specs = KanbanTools::specs();
  ASSERT_EQ(specs.size(), std::size(expected));
  const std::set<std::string> keywords = {"type", "description", "enum",
                                          "items"};
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const json &tool = specs[i], &schema = tool["inputSchema"];
    const std::string name = expected[i].name;
    EXPECT_EQ(tool["name"], name) << i;
    EXPECT_TRUE(tool.size() == 3 && tool["description"].is_string()) << name;
    EXPECT_TRUE(schema.size() == 3 && schema["type"] == "object") << name;
    std::string required, properties;
    for (const auto &r : schema.at("required"))
      required += (required.empty() ? "" : " ") + r.get<std::string>();
    for (const auto &[key, property] : schema.at("properties").items()) {
      properties += (properties.empty() ? "" : " ") + key + ":" +
                    property["type"].get<std::string>().substr(0, 1);
      for (const auto &[keyword, value] : property.items())
        EXPECT_TRUE(keywords.count(keyword)) << name << "." << key;
      if (property["type"] == "array" && key != "items") {
        EXPECT_EQ(property["items"], json({{"type", "string"}})) << key;
      }
    }
    EXPECT_EQ(required, expected[i].required) << name;
    EXPECT_EQ(properties, expected[i].properties) << name;
  }
  EXPECT_EQ(&specs, &KanbanTools::specs()) << "built once";
}

TEST(ToolCatalogue, DescriptionsAndEnumsClientsRelyOn) {
  const struct {
    std::string tool, property; // "" for the tool itself
    json expected;
  } cases[] = {
      {"list_plans", "",
       "Pläne mit Buckets (Kartenzahl), Zielen und offenen Karten."},
      {"update_bucket", "",
       "Ändert Name und/oder Farbe (\"none\" entfernt sie); Bestandskarten "
       "bleiben unverändert."},
      {"plan_week", "",
       "Verteilt offene Aufgaben auf die restlichen Wochentage (Fälligkeit "
       "hart, Ziele/Priorität zuerst, leere Claude-Buckets bekommen "
       "Ideen-Aufgaben) und liefert den Plan pro Tag."},
      {"create_card", "recurrence",
       "{frequency: daily|weekdays|weekly|monthly|yearly, interval, "
       "days_of_week 1=So…7=Sa}; braucht due_date"},
      {"update_card", "recurrence",
       "{frequency: daily|weekdays|weekly|monthly|yearly|none, interval, "
       "days_of_week 1=So…7=Sa}; braucht due_date"},
      {"list_cards", "bucket",
       "Name oder ID; mit plan dort, sonst in allen Plänen"},
      {"plan_week", "daily_capacity",
       "Punkte pro Tag (Standard 3, normale Aufgabe = 1)"},
  };
  for (const auto &c : cases) {
    const json &tool = toolNamed(c.tool);
    EXPECT_EQ(
        c.property.empty()
            ? tool["description"]
            : tool["inputSchema"]["properties"][c.property]["description"],
        c.expected)
        << c.tool << "." << c.property;
  }
  const auto property = [](const char *tool, const char *name) {
    return toolNamed(tool)["inputSchema"]["properties"][name];
  };
  EXPECT_EQ(property("get_card", "format"),
            json({{"type", "string"},
                  {"description", "Standard text"},
                  {"enum", {"text", "json"}}}));
  EXPECT_EQ(property("create_card", "priority")["enum"],
            json({"urgent", "important", "medium", "low"}));
  EXPECT_EQ(property("set_checklist_item", "items"),
            json::parse(R"({"type":"array","items":{"type":"object",
              "properties":{"item_id":{"type":"string"},
              "item_title":{"type":"string"},"checked":{"type":"boolean"},
              "new_title":{"type":"string"}}}})"));
}

class Dispatch : public ToolsTest {};

TEST_F(Dispatch, UnknownNamesAreRepeatedAsSent) {
  for (const std::string name :
       {"List_Plans", "list_plans ", "list-plans", "", "Zählen/✓"})
    EXPECT_EQ(call(name), "Fehler: Unbekanntes Tool: " + name) << name;
}

TEST_F(Dispatch, NewerRecordedSchemaRefusesEveryToolBeforeLookup) {
  KanbanStore::groupContainerDefaults()->setInteger("storeSchemaVersion", 2);
  for (const char *name : {"create_plan", "Nope"}) {
    const std::string answer = call(name, {{"title", "Neu"}});
    EXPECT_TRUE(answer.starts_with(
        "Fehler: Dieser Helfer ist älter als der Taskory auf diesem Mac "
        "(kennt Datenmodell 1, der Store nutzt 2). Bitte aktualisiere ihn "
        "mit: curl -fsSL "))
        << answer;
    EXPECT_TRUE(answer.ends_with("/install.sh | bash")) << answer;
  }
  EXPECT_EQ(value("SELECT count(*) FROM Plan"), "0");
  KanbanStore::groupContainerDefaults()->setInteger("storeSchemaVersion", 1);
  EXPECT_EQ(call("Nope"), "Fehler: Unbekanntes Tool: Nope");
}

TEST(Encode, TextAsIsJSONCompactSortedWithValidUTF8) {
  const std::string raw("a/b\n\xFF\0x", 6);
  EXPECT_EQ(KanbanTools::encode(raw), raw);
  EXPECT_EQ(KanbanTools::encode(json{{"title", "Pläne/Ziele"},
                                     {"big", 18446744073709551615u},
                                     {"list", {json::object(), "a\tb"}},
                                     {"points", 0.5},
                                     {"due", nullptr},
                                     {"é", 1},
                                     {"Z", -3}}),
            R"({"Z":-3,"big":18446744073709551615,"due":null,)"
            R"("list":[{},"a\tb"],"points":0.5,"title":"Pläne/Ziele","é":1})");
  EXPECT_EQ(KanbanTools::encode(json{{"k\xC3", "a\xFF"}}),
            "{\"k\xEF\xBF\xBD\":\"a\xEF\xBF\xBD\"}");
}

} // namespace
} // namespace taskory::test
