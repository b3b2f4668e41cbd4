#include "ToolsFixture.h"

namespace taskory::test {
namespace {

// A client builds its calls from these schemas.
TEST(ToolCatalogue, EveryRequiredArgumentIsDeclared) {
  for (const json &tool : KanbanTools::specs()) {
    const json &schema = tool["inputSchema"];
    EXPECT_TRUE(tool["description"].is_string()) << tool["name"];
    for (const auto &name : schema.at("required"))
      EXPECT_TRUE(schema["properties"].contains(name))
          << tool["name"] << " " << name;
  }
}

// Clients send lists of names; only the entry list holds objects.
TEST(ToolCatalogue, EveryListButTheEntryListHoldsStrings) {
  for (const json &tool : KanbanTools::specs()) {
    const json &schema = tool["inputSchema"];
    for (const auto &[key, value] : schema["properties"].items()) {
      if (value["type"] == "array" && key != "items") {
        EXPECT_EQ(value["items"], json({{"type", "string"}}))
            << tool["name"] << " " << key;
      }
    }
  }
}

// A store from a newer app refuses every tool, before the name is looked at
// (unknown names are refused end to end).
TEST_F(ToolsTest, NewerSchemaRefusesEveryTool) {
  KanbanStore::groupContainerDefaults()->setInteger("storeSchemaVersion", 2);
  for (const char *name : {"create_plan", "Nope"})
    EXPECT_TRUE(call(name, {{"title", "Neu"}})
                    .starts_with("Fehler: Dieser Helfer ist älter als der "
                                 "Taskory auf diesem Mac "
                                 "(kennt Datenmodell 1, der Store nutzt 2)."))
        << name;
  EXPECT_EQ(value("SELECT count(*) FROM Plan"), "0");
}

TEST(Encode, JSONReplacesBrokenUTF8) {
  EXPECT_EQ(KanbanTools::encode(json{{"k\xC3", "a\xFF"}}),
            "{\"k\xEF\xBF\xBD\":\"a\xEF\xBF\xBD\"}");
}

} // namespace
} // namespace taskory::test
