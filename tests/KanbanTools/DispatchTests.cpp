#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanTools/ToolError.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace taskory {
namespace {

using nlohmann::json;

// A data home of its own, so that the recorded schema version can be set
// without touching the user's settings.
class KanbanToolsDispatch : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/taskory-dispatch-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    home_ = pattern;
    if (const char *old = std::getenv("XDG_DATA_HOME"))
      oldDataHome_ = old;
    ::setenv("XDG_DATA_HOME", home_.c_str(), 1);
    KanbanStore::setUsesGroupContainerPath(true);
  }
  void TearDown() override {
    KanbanStore::setUsesGroupContainerPath(false);
    if (oldDataHome_)
      ::setenv("XDG_DATA_HOME", oldDataHome_->c_str(), 1);
    else
      ::unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(home_);
  }

  void recordSchemaVersion(int64_t version) {
    auto settings = KanbanStore::groupContainerDefaults();
    ASSERT_TRUE(settings);
    settings->setInteger("storeSchemaVersion", version);
  }

  // The ToolError message of calling `name`, or nothing when it succeeded.
  std::optional<std::string> failure(std::string_view name,
                                     const json &arguments = json::object()) {
    auto context = store_.context();
    KanbanTools tools(*context, test::TestStore::kNow, store_.calendar);
    try {
      tools.call(name, arguments);
    } catch (const ToolError &error) {
      return error.message;
    }
    return std::nullopt;
  }

  test::TestStore store_;
  std::filesystem::path home_;
  std::optional<std::string> oldDataHome_;
};

TEST_F(KanbanToolsDispatch, UnknownToolNamesAreRepeatedAsSent) {
  const struct {
    std::string name, message;
  } cases[] = {
      {"List_Plans", "Unbekanntes Tool: List_Plans"},
      {"LIST_GOALS", "Unbekanntes Tool: LIST_GOALS"},
      {"list_plans ", "Unbekanntes Tool: list_plans "},
      {"list-plans", "Unbekanntes Tool: list-plans"},
      {"", "Unbekanntes Tool: "},
      {"Zählen/✓", "Unbekanntes Tool: Zählen/✓"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(failure(c.name), c.message) << c.name;
}

TEST_F(KanbanToolsDispatch, NewerRecordedSchemaRefusesEveryToolBeforeLookup) {
  recordSchemaVersion(2);
  const std::string prefix =
      "Dieser Helfer ist älter als der Taskory auf diesem Mac (kennt "
      "Datenmodell 1, der Store nutzt 2). Bitte aktualisiere ihn mit: curl "
      "-fsSL ";
  for (const char *name : {"list_plans", "create_plan", "List_Plans", ""}) {
    const auto message = failure(name, {{"title", "Neu"}});
    ASSERT_TRUE(message) << name;
    EXPECT_EQ(message->rfind(prefix, 0), 0u) << name << ": " << *message;
    EXPECT_TRUE(message->ends_with("/install.sh | bash")) << *message;
  }
  // Nothing ran: no plan was created behind the refusal.
  EXPECT_TRUE(store_.context()->fetchPlans().empty());

  // Checked on every call: back at a known version, tools run again.
  recordSchemaVersion(1);
  EXPECT_EQ(failure("Nope"), "Unbekanntes Tool: Nope");
}

TEST(KanbanToolsEncode, TextIsReturnedByteForByte) {
  const std::string texts[] = {"", "Karte „Einkauf“ angelegt · ID 1A2B3C4D",
                               "a/b\nc\"d", std::string("\xFF\0x", 3)};
  for (const auto &text : texts)
    EXPECT_EQ(KanbanTools::encode(text), text) << testing::PrintToString(text);
}

TEST(KanbanToolsEncode, JSONIsCompactWithSortedKeysAndUnescapedSlashes) {
  const json card = {
      {"title", "Pläne/Ziele"},
      {"id", "1A2B3C4D"},
      {"bucket", "Zu erledigen"},
      {"checklist", json::array({json{{"title", "x"}, {"done", true}}})},
      {"percent", 50},
      {"points", 0.5},
      {"due", nullptr},
      {"big", 18446744073709551615u},
      {"negative", -3}};
  EXPECT_EQ(KanbanTools::encode(card),
            R"({"big":18446744073709551615,"bucket":"Zu erledigen",)"
            R"("checklist":[{"done":true,"title":"x"}],"due":null,)"
            R"("id":"1A2B3C4D","negative":-3,"percent":50,"points":0.5,)"
            R"("title":"Pläne/Ziele"})");
  EXPECT_EQ(KanbanTools::encode(json::array()), "[]");
  EXPECT_EQ(KanbanTools::encode(json::array({json::object(), "a\tb"})),
            R"([{},"a\tb"])");
  // Keys in code point order, not by locale.
  EXPECT_EQ(KanbanTools::encode(json{{"é", 1}, {"z", 2}, {"Z", 3}}),
            R"({"Z":3,"z":2,"é":1})");
}

TEST(KanbanToolsEncode, InvalidUTF8InJSONBecomesReplacementCharacters) {
  EXPECT_EQ(KanbanTools::encode(json{{"title", "a\xFF"
                                               "b"}}),
            "{\"title\":\"a\xEF\xBF\xBD"
            "b\"}");
  EXPECT_EQ(KanbanTools::encode(json{{"k\xC3", "v"}}),
            "{\"k\xEF\xBF\xBD\":\"v\"}");
}

} // namespace
} // namespace taskory
