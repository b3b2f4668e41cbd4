#include "ToolsFixture.h"

namespace taskory::test {
namespace {

// Per tool: required arguments, then every argument with its type unless a
// string (i n b a o); lists hold strings unless they are the entry list.
TEST(ToolCatalogue, RequiredArgumentsAndTypes) {
  const json &specs = KanbanTools::specs();
  std::string signatures;
  for (const json &spec : specs) {
    const json &schema = spec["inputSchema"];
    EXPECT_TRUE(spec["description"].is_string()) << spec;
    signatures += "\n" + spec["name"].get<std::string>() + "(";
    for (const auto &name : schema.at("required")) {
      signatures += " " + name.get<std::string>();
      EXPECT_TRUE(schema["properties"].contains(name)) << name;
    }
    signatures += " )";
    for (const auto &[key, value] : schema["properties"].items()) {
      signatures += " " + key;
      if (value["type"] != "string")
        signatures += std::string(":") + value["type"].get<std::string>()[0];
      if (value["type"] == "array" && key != "items") {
        EXPECT_EQ(value["items"], json({{"type", "string"}})) << key;
      }
    }
  }
  EXPECT_EQ(signatures, R"(
list_plans( )
list_cards( ) bucket due_within_days:i format include_completed:b limit:i plan query status
get_card( card_id ) card_id format
create_card( title ) bucket checklist:a color_hex due_date goals:a labels:a notes plan priority recurrence:o start_date status title
update_card( card_id ) add_goals:a add_items:a add_labels:a bucket card_id check_items:a color_hex due_date is_archived:b is_on_my_day:b notes planned_date priority recurrence:o remove_goals:a remove_labels:a start_date status title uncheck_items:a
delete_card( card_id ) card_id
add_checklist_item( card_id title ) card_id title
set_checklist_item( card_id ) card_id checked:b item_id item_title items:a new_title
create_plan( title ) title
create_bucket( plan name ) color_hex name plan
update_bucket( plan bucket ) bucket color_hex new_name plan
plan_week( ) daily_capacity:n include_weekend:b
list_goals( )
create_goal( plan title ) notes plan target_date title)");
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
