#include "KanbanTools/KanbanTools.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;

const json &toolNamed(const std::string &name) {
  for (const auto &tool : KanbanTools::specs())
    if (tool["name"] == name)
      return tool;
  static const json none;
  return none;
}

const json &property(const std::string &tool, const std::string &name) {
  return toolNamed(tool)["inputSchema"]["properties"][name];
}

TEST(ToolCatalogue, FourteenToolsInDispatchOrderWithTheirRequiredArguments) {
  using Names = std::vector<std::string>;
  const struct {
    std::string name;
    Names required;
  } expected[] = {
      {"list_plans", {}},
      {"list_cards", {}},
      {"get_card", {"card_id"}},
      {"create_card", {"title"}},
      {"update_card", {"card_id"}},
      {"delete_card", {"card_id"}},
      {"add_checklist_item", {"card_id", "title"}},
      {"set_checklist_item", {"card_id"}},
      {"create_plan", {"title"}},
      {"create_bucket", {"plan", "name"}},
      {"update_bucket", {"plan", "bucket"}},
      {"plan_week", {}},
      {"list_goals", {}},
      {"create_goal", {"plan", "title"}},
  };
  const json &specs = KanbanTools::specs();
  ASSERT_TRUE(specs.is_array());
  ASSERT_EQ(specs.size(), std::size(expected));
  for (std::size_t i = 0; i < specs.size(); ++i) {
    EXPECT_EQ(specs[i]["name"], expected[i].name) << i;
    const json &required = specs[i]["inputSchema"]["required"];
    ASSERT_TRUE(required.is_array()) << expected[i].name;
    EXPECT_EQ(required.get<Names>(), expected[i].required) << expected[i].name;
  }
  EXPECT_EQ(&specs, &KanbanTools::specs()) << "built once";
}

TEST(ToolCatalogue, SchemasCarryNoFurtherKeywords) {
  const std::set<std::string> propertyKeys = {"type", "description", "enum",
                                              "items"};
  const std::set<std::string> types = {"string",  "integer", "number",
                                       "boolean", "array",   "object"};
  for (const auto &tool : KanbanTools::specs()) {
    const std::string name = tool["name"];
    EXPECT_EQ(tool.size(), 3u) << name;
    EXPECT_TRUE(tool["description"].is_string()) << name;
    const json &schema = tool["inputSchema"];
    EXPECT_EQ(schema.size(), 3u) << name;
    EXPECT_EQ(schema["type"], "object") << name;
    ASSERT_TRUE(schema["properties"].is_object()) << name;
    for (const auto &[key, property] : schema["properties"].items()) {
      for (const auto &[keyword, value] : property.items()) {
        EXPECT_TRUE(propertyKeys.count(keyword))
            << name << "." << key << ": " << keyword;
      }
      EXPECT_TRUE(types.count(property.value("type", "")))
          << name << "." << key;
      EXPECT_EQ(property.contains("items"), property["type"] == "array")
          << name << "." << key;
      if (property.contains("items") && key != "items") {
        EXPECT_EQ(property["items"], json({{"type", "string"}}))
            << name << "." << key;
      }
    }
    for (const auto &required : schema["required"])
      EXPECT_TRUE(schema["properties"].contains(required))
          << name << ": " << required;
  }
}

TEST(ToolCatalogue, ArgumentTypesThatClientsRelyOn) {
  EXPECT_EQ(toolNamed("list_plans")["inputSchema"]["properties"],
            json::object());
  EXPECT_EQ(toolNamed("list_goals")["inputSchema"]["properties"],
            json::object());
  EXPECT_EQ(property("plan_week", "daily_capacity")["type"], "number");
  EXPECT_EQ(property("list_cards", "limit")["type"], "integer");
  EXPECT_EQ(property("list_cards", "due_within_days")["type"], "integer");
  EXPECT_EQ(property("list_cards", "status")["enum"],
            json({"not_started", "in_progress", "completed"}));
  EXPECT_EQ(property("get_card", "format"),
            json({{"type", "string"},
                  {"description", "Standard text"},
                  {"enum", {"text", "json"}}}));
  EXPECT_EQ(property("create_card", "priority")["enum"],
            json({"urgent", "important", "medium", "low"}));
  EXPECT_EQ(property("update_card", "is_on_my_day"),
            json({{"type", "boolean"}}));
  EXPECT_EQ(property("set_checklist_item", "items"),
            json::parse(R"({"type":"array","items":{"type":"object",
              "properties":{"item_id":{"type":"string"},
              "item_title":{"type":"string"},"checked":{"type":"boolean"},
              "new_title":{"type":"string"}}}})"));
}

TEST(ToolCatalogue, DescriptionsAreTheAssistantsDocumentation) {
  const struct {
    std::string tool, description;
  } descriptions[] = {
      {"list_plans", "Pläne mit Buckets (Kartenzahl), Zielen und offenen "
                     "Karten."},
      {"update_card",
       "Ändert nur übergebene Felder; \"none\" entfernt due_date, start_date, "
       "planned_date, color_hex bzw. recurrence (frequency). "
       "check_items/uncheck_items (Titel oder ID), add_items: Checkliste. "
       "status completed erzeugt bei Wiederholungskarten die nächste "
       "Instanz."},
      {"update_bucket", "Ändert Name und/oder Farbe (\"none\" entfernt sie); "
                        "Bestandskarten bleiben unverändert."},
      {"plan_week",
       "Verteilt offene Aufgaben auf die restlichen Wochentage (Fälligkeit "
       "hart, Ziele/Priorität zuerst, leere Claude-Buckets bekommen "
       "Ideen-Aufgaben) und liefert den Plan pro Tag."},
      {"list_goals", "Ziele mit Fortschritt."},
  };
  for (const auto &d : descriptions)
    EXPECT_EQ(toolNamed(d.tool)["description"], d.description) << d.tool;

  EXPECT_EQ(property("create_card", "recurrence")["description"],
            "{frequency: daily|weekdays|weekly|monthly|yearly, interval, "
            "days_of_week 1=So…7=Sa}; braucht due_date");
  EXPECT_EQ(property("update_card", "recurrence")["description"],
            "{frequency: daily|weekdays|weekly|monthly|yearly|none, interval, "
            "days_of_week 1=So…7=Sa}; braucht due_date");
  EXPECT_EQ(property("list_cards", "bucket")["description"],
            "Name oder ID; mit plan dort, sonst in allen Plänen");
  EXPECT_EQ(property("plan_week", "daily_capacity")["description"],
            "Punkte pro Tag (Standard 3, normale Aufgabe = 1)");
  EXPECT_FALSE(property("create_card", "title").contains("description"));
}

} // namespace
} // namespace taskory
