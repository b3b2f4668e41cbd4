#include "ToolsFixture.h"

namespace taskory::test {
namespace {

TEST(ToolCatalogue, RequiredArgumentsAndTypes) {
  // name | required | properties as name:type (s i n b a o)
  const char *expected[][3] = {
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
  for (std::size_t i = 0; i < specs.size(); ++i) {
    const json &schema = specs[i]["inputSchema"];
    const std::string name = expected[i][0];
    EXPECT_EQ(specs[i]["name"], name) << i;
    EXPECT_TRUE(specs[i]["description"].is_string()) << name;
    std::string required, properties;
    for (const auto &r : schema.at("required"))
      required += (required.empty() ? "" : " ") + r.get<std::string>();
    for (const auto &[key, value] : schema.at("properties").items()) {
      properties += (properties.empty() ? "" : " ") + key + ":" +
                    value["type"].get<std::string>().substr(0, 1);
      if (value["type"] == "array" && key != "items") {
        EXPECT_EQ(value["items"], json({{"type", "string"}})) << key;
      }
    }
    EXPECT_EQ(required, expected[i][1]) << name;
    EXPECT_EQ(properties, expected[i][2]) << name;
  }
  EXPECT_EQ(specs[11]["description"],
            "Verteilt offene Aufgaben auf die restlichen Wochentage "
            "(Fälligkeit hart, Ziele/Priorität zuerst, leere Claude-Buckets "
            "bekommen Ideen-Aufgaben) und liefert den Plan pro Tag.");
  EXPECT_EQ(specs[2]["inputSchema"]["properties"]["format"],
            json({{"type", "string"},
                  {"description", "Standard text"},
                  {"enum", {"text", "json"}}}));
  EXPECT_EQ(specs[7]["inputSchema"]["properties"]["items"],
            json::parse(R"({"type":"array","items":{"type":"object",
              "properties":{"item_id":{"type":"string"},
              "item_title":{"type":"string"},"checked":{"type":"boolean"},
              "new_title":{"type":"string"}}}})"));
}

// A store from a newer app refuses every tool, before the name is looked at
// (unknown names are refused end to end).
TEST_F(ToolsTest, NewerSchemaRefusesEveryTool) {
  KanbanStore::groupContainerDefaults()->setInteger("storeSchemaVersion", 2);
  for (const char *name : {"create_plan", "Nope"})
    EXPECT_TRUE(call(name, {{"title", "Neu"}})
                    .starts_with("Fehler: Dieser Helfer ist älter als der "
                                 "Taskory auf diesem Mac (kennt Datenmodell "
                                 "1, der Store nutzt 2)."))
        << name;
  EXPECT_EQ(value("SELECT count(*) FROM Plan"), "0");
}

TEST(Encode, TextAsIsAndJSONWithValidUTF8) {
  const std::string raw("a/b\n\xFF\0x", 6);
  EXPECT_EQ(KanbanTools::encode(raw), raw);
  EXPECT_EQ(KanbanTools::encode(json{{"big", 18446744073709551615u}}),
            R"({"big":18446744073709551615})");
  EXPECT_EQ(KanbanTools::encode(json{{"k\xC3", "a\xFF"}}),
            "{\"k\xEF\xBF\xBD\":\"a\xEF\xBF\xBD\"}");
}

} // namespace
} // namespace taskory::test
