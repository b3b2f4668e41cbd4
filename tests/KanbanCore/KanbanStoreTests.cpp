#include "KanbanCore/KanbanStore.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/PrivateFiles.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"
#include "Store/ContainerConnection.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace taskory {
namespace {

using test::RawConnection;
using test::ScopedEnv;
constexpr Date kNow = 1741773600.0;

using test::fileMode;

// Every test gets its own home, data and config directories and leaves the
// two process-wide values as it found them.
class StoreTest : public ::testing::Test {
protected:
  test::TempDir dir;
  ScopedEnv home{"HOME", (dir / "home").c_str()};
  ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
  std::filesystem::path file = dir / "Taskory.store";
  std::filesystem::path groupSettings = dir / "data/taskory/settings.json";

  ~StoreTest() override {
    KanbanStore::setUsesGroupContainerPath(false);
    KanbanStore::setContainerMode("unbekannt");
  }
};

TEST_F(StoreTest, LocationsFollowTheDataHome) {
  EXPECT_EQ(KanbanStore::storeURL(), dir / "data/taskory/Taskory.store");
  EXPECT_EQ(fileMode(dir / "data/taskory"), 0700u) << "created on demand";
  ScopedEnv relative("XDG_DATA_HOME", "relative/path");
  EXPECT_EQ(KanbanStore::dataHome(), dir / "home/.local/share");
}

TEST_F(StoreTest, SchemaMismatchIsReadOnlyFromReadableGroupSettings) {
  test::writeFile(groupSettings, R"({"storeSchemaVersion": 3})");
  EXPECT_FALSE(KanbanStore::schemaMismatch()) << "group path not in use";
  KanbanStore::setUsesGroupContainerPath(true);
  for (auto [settings, mismatch] : std::vector<std::pair<const char *, bool>>{
           {"kein JSON", false},
           {R"({"other": true, "storeSchemaVersion": 7})", true}}) {
    test::writeFile(groupSettings, settings);
    EXPECT_EQ(KanbanStore::schemaMismatch().has_value(), mismatch) << settings;
  }
}

TEST_F(StoreTest, RegularFilesAreReadUpToTheLimitAndOthersNotAtAll) {
  test::writeFile(dir / "full", "0123456789");
  test::writeFile(dir / "empty", "");
  std::filesystem::create_directory(dir / "directory");
  // A FIFO with no writer would block a plain open forever.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  struct Case {
    const char *name;
    std::optional<std::size_t> limit;
    std::optional<std::string> expected;
  };
  for (const Case &c : std::vector<Case>{
           {"full", std::nullopt, "0123456789"},
           {"full", 4, "0123"},
           {"full", 10, "0123456789"},
           {"full", 100, "0123456789"},
           {"empty", std::nullopt, ""},
           {"missing", std::nullopt, std::nullopt},
           {"directory", std::nullopt, std::nullopt},
           {"fifo", std::nullopt, std::nullopt},
       })
    EXPECT_EQ(files::readRegularFile(dir / c.name, c.limit), c.expected)
        << c.name << " limit " << c.limit.value_or(0);
}

TEST_F(StoreTest, RecordedSchemaVersionKeepsOtherSettingsInAPrivateFile) {
  KanbanStore::setUsesGroupContainerPath(true);
  test::writeFile(groupSettings,
                  R"({"other": "wert", "storeSchemaVersion": 9})");
  KanbanStore::recordSchemaVersion();
  EXPECT_EQ(test::fileBytes(groupSettings),
            R"({"other":"wert","storeSchemaVersion":1})");
  EXPECT_EQ(fileMode(groupSettings), 0600u);
}

class NewStore : public StoreTest {
protected:
  std::filesystem::path nested = dir / "a/b/Taskory.store";
  decltype(KanbanStore::makeContainer(nested)) container =
      KanbanStore::makeContainer(nested);
  void SetUp() override {
    ModelContext context(*container, "mcp");
    context.insert(Plan("Haus", 0, kNow));
    context.save(kNow);
  }
};

TEST_F(NewStore, OnlyItsOwnerCanReadIt) {
  EXPECT_EQ(fileMode(dir / "a/b"), 0700u);
  EXPECT_EQ(fileMode(nested), 0600u);
  EXPECT_EQ(fileMode(dir / "a/b/Taskory.store-wal"), 0600u);
}

TEST_F(NewStore, IsStampedAsOursInWALMode) {
  container.reset();
  RawConnection raw(nested);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.integer("PRAGMA application_id"), 1414744921);
  EXPECT_EQ(raw.integer("PRAGMA user_version"), 1);
}

TEST_F(StoreTest, RefusesFilesThatAreNotOursWithoutTouchingThem) {
  auto sql = [](const char *statements) {
    return [statements](auto &at) { RawConnection(at).exec(statements); };
  };
  using Make = std::function<void(const std::filesystem::path &)>;
  const std::vector<std::pair<Make, std::string>> cases = {
      {[](auto &at) { std::filesystem::create_directory(at); },
       " ist ein Verzeichnis, keine Store-Datei."},
      {[](auto &at) { std::ofstream(at) << std::string(2000, 'x'); },
       " ist keine SQLite-Datenbank – die Datei bleibt unverändert."},
      {sql("CREATE TABLE Notes (id TEXT); PRAGMA application_id = 42;"),
       " ist die Datenbank eines anderen Programms (application_id 42 statt "
       "1414744921) – die "
       "Datei bleibt unverändert."},
      {sql("PRAGMA application_id = 1414744921; PRAGMA user_version = 2;"),
       " hat ein neueres Store-Format (Version 2, dieses Programm kennt "
       "Version 1) – die Datei "
       "bleibt unverändert. Bitte den MCP-Server aktualisieren."},
      {sql("CREATE TABLE Plan (id TEXT PRIMARY KEY, title TEXT);"),
       " ist kein Taskory-Store (es fehlen die Tabellen Bucket, Card, "
       "ChecklistItem, "
       "CardAttachment, PlanLabel, Goal, CardGoal, CardLabel, "
       "StoreTransaction, StoreChange) – die "
       "Datei bleibt unverändert."},
      {[&](auto &at) {
         KanbanStore::makeContainer(at).reset();
         RawConnection(at).exec("ALTER TABLE Goal DROP COLUMN targetDate");
       },
       " passt nicht zum Datenmodell (es fehlen die Spalten Goal.targetDate) – "
       "die Datei bleibt "
       "unverändert."}};
  for (std::size_t n = 0; n < cases.size(); ++n) {
    const auto &[make, message] = cases[n];
    auto at = dir / ("store" + std::to_string(n));
    make(at);
    const std::string before = test::fileBytes(at);
    try {
      KanbanStore::makeContainer(at);
      ADD_FAILURE() << message << ": opened";
    } catch (const StoreError &error) {
      EXPECT_EQ(error.what(), "„" + at.string() + "“" + message);
    }
    EXPECT_EQ(test::fileBytes(at), before) << message;
    EXPECT_FALSE(std::filesystem::exists(at.string() + "-wal")) << message;
  }
}

// Another program's store without column types or constraints.
TEST_F(StoreTest, RowsOfAnotherProgramAreReadTolerantly) {
  std::string sql =
      "PRAGMA application_id = 1414744921; PRAGMA user_version = 1;";
  {
    auto model = KanbanStore::makeContainer(dir / "model.store");
    sql += RawConnection(handleOf(*model))
               .text("SELECT group_concat('CREATE TABLE ' || name || ' (' || "
                     "columns || ');', '') "
                     "FROM (SELECT m.name AS name, group_concat(c.name) AS "
                     "columns FROM "
                     "sqlite_schema m, pragma_table_info(m.name) c WHERE "
                     "m.type = 'table' AND "
                     "m.name NOT LIKE 'sqlite%' GROUP BY m.name)")
               .value_or("");
  }
  RawConnection(file).exec(sql + R"sql(
    INSERT INTO Plan (id) VALUES ('aaaaaaaa-0000-4000-8000-000000000001');
    INSERT INTO Plan (id, title) VALUES (NULL, 'ohne id');
    INSERT INTO Bucket (id, autoProgressRaw, plan) VALUES ('bbbbbbbb-0000-4000-8000-000000000001', -7, 'aaaaaaaa-0000-4000-8000-000000000001');
    INSERT INTO Card (id, title, priorityRaw, percentComplete, isArchived, dueDate, startDate, githubNumber, bucket)
      VALUES ('cccccccc-0000-4000-8000-000000000001', X'66FF6F', 100, 49.9, 'ja', 'morgen', 1741773600, 1e300, 'bbbbbbbb-0000-4000-8000-000000000001');
    INSERT INTO Card (id, percentComplete, isArchived) VALUES ('cccccccc-0000-4000-8000-000000000002', -1e300, 2.5);
  )sql");
  auto container = KanbanStore::makeContainer(file);
  ModelContext context(*container, "mcp");
  EXPECT_EQ(context.fetchAll<Plan>().size(), 1u)
      << "a row without an id is left";
  Bucket *bucket = context.bucket("BBBBBBBB-0000-4000-8000-000000000001");
  Card *card = context.card("CCCCCCCC-0000-4000-8000-000000000001");
  Card *other = context.card("cccccccc-0000-4000-8000-000000000002");
  ASSERT_TRUE(bucket && card && other);
  EXPECT_EQ(context.cards(*bucket), std::vector<Card *>{card});
  EXPECT_EQ(card->title, "f\xffo") << "bytes kept; shown sanitised later";
  EXPECT_EQ(card->percentComplete, 49);
  EXPECT_FALSE(card->isArchived || card->dueDate) << "text is no Boolean/date";
  EXPECT_EQ(card->startDate, 1741773600.0) << "an integer is a date too";
  EXPECT_EQ(card->githubNumber, INT64_MAX);
  EXPECT_TRUE(other->percentComplete == INT64_MIN && other->isArchived);

  // A change writes only the changed column; the odd values stay.
  card->title = "neu";
  context.save(kNow);
  EXPECT_EQ(RawConnection(file).text(
                "SELECT typeof(percentComplete) || ' ' || typeof(isArchived) "
                "|| ' ' || title FROM Card WHERE id LIKE 'cccccccc%1'"),
            "real text neu");
}

// Every index on Card is written with each card: a store from an earlier
// version loses the ones no longer wanted and gains the current ones.
TEST_F(StoreTest, IndexesOfEarlierVersionsAreReplacedAtStart) {
  KanbanStore::makeContainer(file).reset();
  RawConnection(file).exec(
      "DROP INDEX Card_dueOrderState; DROP INDEX Card_plannedDateSet;"
      "CREATE INDEX Card_dueOrder ON Card((dueDate IS NULL), dueDate, "
      "sortOrder); CREATE INDEX Card_dueState ON Card((dueDate IS NULL), "
      "dueDate, isArchived, percentComplete); CREATE INDEX Card_planState ON "
      "Card(plan, isArchived, percentComplete); CREATE INDEX Card_plannedDate "
      "ON Card(plannedDate); CREATE INDEX Card_bucket ON Card(bucket); "
      "CREATE INDEX Card_title ON Card(title);");
  KanbanStore::makeContainer(file).reset();
  EXPECT_EQ(
      RawConnection(file).text("SELECT group_concat(name, ' ') FROM (SELECT "
                               "name FROM sqlite_schema WHERE type = "
                               "'index' AND tbl_name = 'Card' AND name NOT "
                               "LIKE 'sqlite_%' ORDER BY name)"),
      "Card_bucketState Card_closed Card_dueOrderState Card_goalState "
      "Card_openDueOrder Card_plan Card_planBucketState Card_planDueOrder "
      "Card_planSortOrder Card_plannedDateSet Card_title")
      << "another program's own index stays";
}

class BusyStore : public StoreTest {
protected:
  decltype(KanbanStore::makeContainer(file)) container =
      KanbanStore::makeContainer(file);
  RawConnection other{file};
  void SetUp() override {
    // SQLite's own handler with a short timeout in place of ours: the wait
    // itself is shown end to end.
    RawConnection(handleOf(*container)).exec("PRAGMA busy_timeout = 50");
    other.exec("BEGIN IMMEDIATE");
  }
};

TEST_F(BusyStore, FailsWithAClearMessage) {
  try {
    ModelContext{*container, "mcp"};
    ADD_FAILURE() << "began while another writer held the store";
  } catch (const StoreError &error) {
    EXPECT_TRUE(error.isBusy());
    EXPECT_STREQ(
        error.what(),
        "Der Store ist gerade durch ein anderes Programm gesperrt – bitte "
        "gleich noch einmal versuchen.");
  }
}

TEST_F(StoreTest, AFailedWriteIsReportedInGermanWithNothingSaved) {
  using Break =
      std::function<void(ModelContainer &, const std::filesystem::path &)>;
  const std::vector<std::pair<Break, std::string>> cases = {
      {[](auto &c, auto &) {
         RawConnection(handleOf(c)).exec("PRAGMA max_page_count = 1");
       },
       "Der Datenträger ist voll – die Änderung wurde nicht gespeichert. "
       "(SQLite: database or disk "
       "is full)"},
      {[](auto &c, auto &) {
         RawConnection(handleOf(c)).exec("PRAGMA query_only = 1");
       },
       "Der Store ist schreibgeschützt – die Änderung wurde nicht gespeichert. "
       "(SQLite: attempt to "
       "write a readonly database)"},
      {[](auto &, auto &at) { std::filesystem::remove(at); },
       "Die Store-Datei wurde gelöscht oder verschoben, während der Server "
       "lief – bitte den Server "
       "neu starten."}};
  for (std::size_t n = 0; n < cases.size(); ++n) {
    auto at = dir / ("store" + std::to_string(n));
    auto container = KanbanStore::makeContainer(at);
    cases[n].first(*container, at);
    try {
      ModelContext context(*container, "mcp");
      context.insert(Plan("Haus", 0, kNow)).planDescription =
          std::string(100000, 'x');
      context.save(kNow);
      ADD_FAILURE() << cases[n].second << ": saved";
    } catch (const StoreError &error) {
      EXPECT_EQ(error.what(), cases[n].second);
    }
    EXPECT_FALSE(RawConnection(handleOf(*container)).inTransaction()) << n;
    if (std::filesystem::exists(at)) {
      EXPECT_EQ(RawConnection(at).integer("SELECT count(*) FROM Plan"), 0) << n;
    }
  }
}

} // namespace
} // namespace taskory
