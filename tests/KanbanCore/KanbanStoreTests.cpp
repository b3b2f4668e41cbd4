#include "KanbanCore/KanbanStore.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/StoreError.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

namespace taskory {
namespace {

using test::ScopedEnv;
using test::TempDir;

// Every test gets its own home, data and config directories and leaves the
// two process-wide values as it found them.
class KanbanStoreTest : public ::testing::Test {
protected:
  TempDir dir;
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};

  ~KanbanStoreTest() override {
    KanbanStore::setUsesGroupContainerPath(false);
    KanbanStore::setContainerMode("unbekannt");
  }

  std::filesystem::path groupSettings() {
    return dir / "data/taskory/settings.json";
  }
  std::filesystem::path suiteSettings() { return dir / "config/taskory.json"; }

  static void write(const std::filesystem::path &file,
                    const std::string &text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
};

TEST_F(KanbanStoreTest, LocationsFollowTheDataHome) {
  EXPECT_EQ(KanbanStore::dataHome(), dir / "data");
  EXPECT_EQ(KanbanStore::storeURL(), dir / "data/taskory/Taskory.store");
  struct stat info {};
  ASSERT_EQ(::stat((dir / "data/taskory").c_str(), &info), 0)
      << "asking for the container creates it";
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  {
    ScopedEnv relative("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(KanbanStore::dataHome(), dir / "home/.local/share");
  }
  {
    ScopedEnv unset("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(KanbanStore::groupContainer(), dir / "home/.local/share/taskory");
  }
}

TEST_F(KanbanStoreTest, SchemaMismatchReadsTheRecordedVersion) {
  KanbanStore::setUsesGroupContainerPath(true);
  struct Case {
    const char *settings; // nullptr: no file
    bool mismatch;
  };
  std::vector<Case> cases = {
      {nullptr, false},
      {"{}", false},
      {R"({"storeSchemaVersion": 0})", false},
      {R"({"storeSchemaVersion": 1})", false},
      {R"({"storeSchemaVersion": -5})", false},
      {R"({"storeSchemaVersion": "2"})", false},
      {R"({"storeSchemaVersion": 2.5})", false},
      {"kein JSON", false},
      {"[2]", false},
      {R"({"storeSchemaVersion": 2})", true},
      {R"({"other": true, "storeSchemaVersion": 7})", true},
  };
  for (const auto &test : cases) {
    std::filesystem::remove(groupSettings());
    if (test.settings)
      write(groupSettings(), test.settings);
    EXPECT_EQ(KanbanStore::schemaMismatch().has_value(), test.mismatch)
        << (test.settings ? test.settings : "(no file)");
  }
  write(groupSettings(), R"({"storeSchemaVersion": 2})");
  EXPECT_EQ(KanbanStore::schemaMismatch(),
            "Dieser Helfer ist älter als der Taskory auf diesem Mac (kennt "
            "Datenmodell 1, der Store nutzt 2). Bitte aktualisiere ihn mit: "
            "curl -fsSL https://taskory.invalid/install.sh | bash");
  // Back at a known version: no restart needed.
  write(groupSettings(), R"({"storeSchemaVersion": 1})");
  EXPECT_FALSE(KanbanStore::schemaMismatch());
}

TEST_F(KanbanStoreTest, SettingsComeFromTheSuiteUnlessTheGroupPathIsUsed) {
  write(groupSettings(), R"({"storeSchemaVersion": 3})");
  write(suiteSettings(), R"({"storeSchemaVersion": 1})");
  EXPECT_FALSE(KanbanStore::schemaMismatch())
      << "the group container exists, but the flag is off";
  EXPECT_EQ(KanbanStore::sharedDefaults().file(), suiteSettings());
  KanbanStore::setUsesGroupContainerPath(true);
  EXPECT_TRUE(KanbanStore::schemaMismatch());
  EXPECT_EQ(KanbanStore::sharedDefaults().file(), groupSettings());
  ASSERT_TRUE(KanbanStore::groupContainerDefaults());
  EXPECT_EQ(KanbanStore::groupContainerDefaults()->file(), groupSettings());
  {
    ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    KanbanStore::setUsesGroupContainerPath(false);
    EXPECT_EQ(KanbanStore::sharedDefaults().file(),
              dir / "home/.config/taskory.json");
  }
}

TEST_F(KanbanStoreTest, RecordSchemaVersionKeepsOtherKeysAndIsPrivate) {
  KanbanStore::setUsesGroupContainerPath(true);
  write(groupSettings(), R"({"other": "wert", "storeSchemaVersion": 9})");
  KanbanStore::recordSchemaVersion();
  EXPECT_EQ(KanbanStore::sharedDefaults().integer("storeSchemaVersion"), 1);
  EXPECT_EQ(test::fileBytes(groupSettings()),
            R"({"other":"wert","storeSchemaVersion":1})");
  struct stat info {};
  ASSERT_EQ(::stat(groupSettings().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // A new file in a missing directory.
  KanbanStore::setUsesGroupContainerPath(false);
  KanbanStore::recordSchemaVersion();
  EXPECT_EQ(test::fileBytes(suiteSettings()), R"({"storeSchemaVersion":1})");
}

TEST_F(KanbanStoreTest, MakeContainerRecordsHowItOpened) {
  EXPECT_EQ(KanbanStore::containerMode(), "unbekannt");
  auto local = KanbanStore::makeContainer(false);
  EXPECT_EQ(KanbanStore::containerMode(),
            "lokal — Sync in den Einstellungen deaktiviert");
  local.reset();
  auto cloud = KanbanStore::makeContainer(true);
  EXPECT_EQ(KanbanStore::containerMode(),
            "lokal — CloudKit-Setup fehlgeschlagen: Der CloudKit-Container "
            "„iCloud.taskory“ ist auf dieser Plattform nicht verfügbar.");
  EXPECT_TRUE(std::filesystem::exists(dir / "data/taskory/Taskory.store"));
  cloud.reset();

  // A failing local open keeps the text of the attempt.
  std::filesystem::remove_all(dir / "data/taskory");
  std::filesystem::create_directories(dir / "data/taskory/Taskory.store");
  EXPECT_THROW(KanbanStore::makeContainer(false), StoreError);
  EXPECT_EQ(KanbanStore::containerMode(),
            "lokal — Sync in den Einstellungen deaktiviert");
}

TEST(KanbanStoreAuthor, ForeignProcesses) {
  EXPECT_TRUE(KanbanStore::Author::isForeignProcess("mcp"));
  EXPECT_TRUE(KanbanStore::Author::isForeignProcess("widget"));
  EXPECT_TRUE(KanbanStore::Author::isForeignProcess(
      "NSCloudKitMirroringDelegate.import"));
  EXPECT_FALSE(KanbanStore::Author::isForeignProcess("app"));
  EXPECT_FALSE(KanbanStore::Author::isForeignProcess("MCP"));
}

} // namespace
} // namespace taskory
