#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Sqlite.h"
#include "KanbanCore/StoreError.h"
#include "KanbanCore/Uuid.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace taskory {
namespace {

using test::RawConnection;
using test::TempDir;

constexpr Date kNow = 1741773600.0;

unsigned mode(const std::filesystem::path &path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

TEST(StoreFile, NewStoreIsPrivateInWALModeAndStamped) {
  TempDir dir;
  auto file = dir / "a/b/Taskory.store";
  {
    auto container = KanbanStore::makeContainer(file);
    ModelContext context(*container, "mcp");
    context.insert(Plan("Haus", 0, kNow));
    context.save(kNow);
    EXPECT_EQ(mode(dir / "a"), 0700u);
    EXPECT_EQ(mode(dir / "a/b"), 0700u);
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(mode(dir / "a/b/Taskory.store-wal"), 0600u);
  }
  RawConnection raw(file);
  EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
  EXPECT_EQ(raw.integer("PRAGMA application_id"), 1414744921);
  EXPECT_EQ(raw.integer("PRAGMA user_version"), 1);
  for (const char *index :
       {"Bucket_plan", "Card_plan", "Card_bucket", "ChecklistItem_card",
        "CardAttachment_card", "PlanLabel_plan", "Goal_plan", "CardGoal_goal",
        "CardLabel_label", "StoreChange_txn"})
    EXPECT_EQ(raw.integer(std::string("SELECT count(*) FROM sqlite_schema "
                                      "WHERE type = 'index' AND name = '") +
                          index + "'"),
              1)
        << index;
  EXPECT_EQ(raw.text("SELECT author FROM StoreTransaction"), "mcp");
}

TEST(StoreFile, RefusesFilesThatAreNotOursWithoutTouchingThem) {
  TempDir dir;
  struct Case {
    const char *what;
    std::function<void(const std::filesystem::path &)> make;
    StoreError::Kind kind;
    std::string message; // after the quoted path
  };
  auto sqlite = [](const char *sql) {
    return [sql](const std::filesystem::path &file) {
      RawConnection raw(file);
      raw.exec(sql);
    };
  };
  std::vector<Case> cases = {
      {"directory",
       [](const std::filesystem::path &file) {
         std::filesystem::create_directory(file);
       },
       StoreError::Kind::other, " ist ein Verzeichnis, keine Store-Datei."},
      {"text file",
       [](const std::filesystem::path &file) {
         std::ofstream(file) << std::string(2000, 'x');
       },
       StoreError::Kind::notADatabase,
       " ist keine SQLite-Datenbank – die Datei bleibt unverändert."},
      {"another application",
       sqlite("CREATE TABLE Notes (id TEXT); PRAGMA application_id = 42;"),
       StoreError::Kind::foreign,
       " ist die Datenbank eines anderen Programms (application_id 42 statt "
       "1414744921) – die Datei bleibt unverändert."},
      {"newer layout",
       sqlite("CREATE TABLE Plan (id TEXT); PRAGMA application_id = "
              "1414744921; PRAGMA user_version = 2;"),
       StoreError::Kind::tooNew,
       " hat ein neueres Store-Format (Version 2, dieses Programm kennt "
       "Version 1) – die Datei bleibt unverändert. Bitte den MCP-Server "
       "aktualisieren."},
      {"unrelated tables",
       sqlite("CREATE TABLE Plan (id TEXT PRIMARY KEY, title TEXT);"),
       StoreError::Kind::foreign,
       " ist kein Taskory-Store (es fehlen die Tabellen Bucket, Card, "
       "ChecklistItem, CardAttachment, PlanLabel, Goal, CardGoal, CardLabel, "
       "StoreTransaction, StoreChange) – die Datei bleibt unverändert."},
  };
  int n = 0;
  for (const auto &test : cases) {
    auto file = dir / ("store" + std::to_string(n++));
    test.make(file);
    std::string before = std::filesystem::is_regular_file(file)
                             ? test::fileBytes(file)
                             : std::string();
    try {
      KanbanStore::makeContainer(file);
      ADD_FAILURE() << test.what << ": opened";
    } catch (const StoreError &error) {
      EXPECT_EQ(error.what(), "„" + file.string() + "“" + test.message)
          << test.what;
      EXPECT_EQ(error.kind(), test.kind) << test.what;
    }
    if (std::filesystem::is_regular_file(file)) {
      EXPECT_EQ(test::fileBytes(file), before) << test.what;
    }
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal")) << test.what;
  }
}

TEST(StoreFile, RefusesAStoreThatLacksAColumn) {
  TempDir dir;
  auto file = dir / "Taskory.store";
  { auto container = KanbanStore::makeContainer(file); }
  {
    RawConnection raw(file);
    raw.exec("ALTER TABLE Goal DROP COLUMN targetDate");
  }
  try {
    KanbanStore::makeContainer(file);
    ADD_FAILURE() << "opened";
  } catch (const StoreError &error) {
    EXPECT_EQ(error.what(), "„" + file.string() +
                                "“ passt nicht zum Datenmodell (es fehlen die "
                                "Spalten Goal.targetDate) – die Datei bleibt "
                                "unverändert.");
  }
}

// Every entity with every field away from its initial value, bytes that are
// not UTF-8 included, through a file and back.
TEST(StoreFile, EveryEntityRoundTripsThroughTheFile) {
  TempDir dir;
  auto file = dir / "Taskory.store";
  Plan plan("Plan \xff", 3.5, kNow);
  plan.planDescription = "Beschreibung";
  plan.iconSystemName = "star";
  plan.colorHex = "#112233";
  plan.isFavorite = true;
  plan.modifiedAt = kNow + 0.25;
  plan.isClaudeProject = true;
  Bucket bucket("Spalte", -1.5, kNow);
  bucket.colorHex = "#445566";
  bucket.autoProgressRaw = 50;
  bucket.plan = plan.id;
  Card card("Karte", 1e300, kNow);
  card.notes = std::string("Notiz\0mit Null", 14);
  card.startDate = kNow - 86400;
  card.dueDate = kNow + 86400.5;
  card.priorityRaw = 1;
  card.percentComplete = 50;
  card.colorHex = "#778899";
  card.isOnMyDay = true;
  card.isArchived = true;
  card.plannedDate = kNow;
  card.isIdeaTask = true;
  card.previewTypeRaw = "checklist";
  card.modifiedAt = kNow + 1;
  card.completedAt = kNow + 2;
  card.recurrenceSeriesID = makeUUID();
  card.recurrenceOccurrence = 4;
  card.recurrenceRuleData = std::string("{\"frequency\":\"daily\"}\0\xff", 24);
  card.githubRepo = "owner/repo";
  card.githubNumber = 42;
  card.githubKind = "issue";
  card.githubURLString = "https://example.invalid/1";
  card.plan = plan.id;
  card.bucket = bucket.id;
  ChecklistItem item("Punkt", 7, kNow);
  item.isChecked = true;
  item.card = card.id;
  CardAttachment attachment("Datei", 8, kNow);
  attachment.urlString = "https://example.invalid/a";
  attachment.kindRaw = "image";
  attachment.fileName = "bild.png";
  attachment.fileData = std::string("\x89PNG\0\x01\x02", 7);
  attachment.showOnCard = true;
  attachment.card = card.id;
  PlanLabel label(24, "Blau");
  label.plan = plan.id;
  Goal goal("Ziel", 9, kNow);
  goal.notes = "n";
  goal.colorHex = "#000000";
  goal.targetDate = kNow + 99;
  goal.isCompleted = true;
  goal.plan = plan.id;
  {
    auto container = KanbanStore::makeContainer(file);
    ModelContext context(*container, "mcp");
    context.insert(plan);
    context.insert(bucket);
    Card &stored = context.insert(card);
    context.insert(item);
    context.insert(attachment);
    PlanLabel &storedLabel = context.insert(label);
    Goal &storedGoal = context.insert(goal);
    context.addLabel(stored, storedLabel);
    context.addGoal(stored, storedGoal);
    context.save(kNow);
  }
  auto container = KanbanStore::makeContainer(file);
  ModelContext context(*container, "mcp");
  ASSERT_NE(context.plan(plan.id), nullptr);
  EXPECT_EQ(*context.plan(plan.id), plan);
  EXPECT_EQ(*context.bucket(bucket.id), bucket);
  Card *loaded = context.card(card.id);
  EXPECT_EQ(*loaded, card);
  EXPECT_EQ(*context.checklistItem(item.id), item);
  ASSERT_EQ(context.attachments(*loaded).size(), 1u);
  EXPECT_EQ(*context.attachments(*loaded)[0], attachment);
  EXPECT_EQ(*context.label(label.id), label);
  EXPECT_EQ(*context.goal(goal.id), goal);
  EXPECT_EQ(context.labels(*loaded).size(), 1u);
  EXPECT_EQ(context.goals(*loaded).size(), 1u);
}

// A store written by another program with a looser hand: no column types or
// constraints, NULLs everywhere, numbers of the other kind, text where
// numbers belong, raw values out of range, lower-case ids, bytes that are not
// UTF-8.
TEST(StoreFile, RowsOfAnotherProgramAreReadTolerantly) {
  TempDir dir;
  auto file = dir / "Taskory.store";
  {
    RawConnection raw(file);
    raw.exec(R"sql(
      CREATE TABLE Plan (id PRIMARY KEY, title, planDescription, iconSystemName,
        colorHex, isFavorite, sortOrder, createdAt, modifiedAt, isClaudeProject);
      CREATE TABLE Bucket (id PRIMARY KEY, name, colorHex, sortOrder, createdAt,
        autoProgressRaw, plan);
      CREATE TABLE Card (id PRIMARY KEY, title, notes, startDate, dueDate,
        priorityRaw, percentComplete, colorHex, sortOrder, isOnMyDay, isArchived,
        plannedDate, isIdeaTask, previewTypeRaw, createdAt, modifiedAt,
        completedAt, recurrenceSeriesID, recurrenceOccurrence,
        recurrenceRuleData, githubRepo, githubNumber, githubKind,
        githubURLString, plan, bucket);
      CREATE TABLE ChecklistItem (id PRIMARY KEY, title, isChecked, sortOrder,
        createdAt, card);
      CREATE TABLE CardAttachment (id PRIMARY KEY, alias, urlString, kindRaw,
        fileName, fileData, sortOrder, showOnCard, createdAt, card);
      CREATE TABLE PlanLabel (id PRIMARY KEY, slotIndex, name, plan);
      CREATE TABLE Goal (id PRIMARY KEY, title, notes, colorHex, targetDate,
        isCompleted, sortOrder, createdAt, plan);
      CREATE TABLE CardGoal (card, goal, PRIMARY KEY (card, goal));
      CREATE TABLE CardLabel (card, label, PRIMARY KEY (card, label));
      CREATE TABLE StoreTransaction (id INTEGER PRIMARY KEY AUTOINCREMENT,
        author, timestamp);
      CREATE TABLE StoreChange (txn, entity, entityID, kind);
      PRAGMA application_id = 1414744921;
      PRAGMA user_version = 1;
      INSERT INTO Plan (id) VALUES ('aaaaaaaa-0000-4000-8000-000000000001');
      INSERT INTO Plan (id, title) VALUES (NULL, 'ohne id');
      INSERT INTO Bucket (id, autoProgressRaw, plan) VALUES
        ('bbbbbbbb-0000-4000-8000-000000000001', -7,
         'aaaaaaaa-0000-4000-8000-000000000001');
      INSERT INTO Card (id, title, priorityRaw, percentComplete, sortOrder,
          isArchived, dueDate, startDate, previewTypeRaw, recurrenceRuleData,
          githubNumber, plan, bucket)
        VALUES ('cccccccc-0000-4000-8000-000000000001', X'66FF6F', 100, 49.9,
          7, 'ja', 'morgen', 1741773600, 'bogus', X'00FF',
          1e300, 'aaaaaaaa-0000-4000-8000-000000000001',
          'bbbbbbbb-0000-4000-8000-000000000001');
      INSERT INTO Card (id, percentComplete, isArchived)
        VALUES ('cccccccc-0000-4000-8000-000000000002', -1e300, 2.5);
      INSERT INTO CardAttachment (id, kindRaw, card) VALUES
        ('dddddddd-0000-4000-8000-000000000001', 'video',
         'cccccccc-0000-4000-8000-000000000001');
    )sql");
  }
  auto container = KanbanStore::makeContainer(file);
  ModelContext context(*container, "mcp");

  auto plans = context.fetchPlans();
  ASSERT_EQ(plans.size(), 1u) << "a row without an id cannot be addressed";
  const Plan &plan = *plans[0];
  EXPECT_EQ(plan.id, "aaaaaaaa-0000-4000-8000-000000000001");
  EXPECT_EQ(plan.title, "");
  EXPECT_EQ(plan.iconSystemName, "square.grid.3x1.folder.badge.plus");
  EXPECT_FALSE(plan.colorHex);
  EXPECT_EQ(plan.sortOrder, 0);

  Bucket *bucket = context.bucket("BBBBBBBB-0000-4000-8000-000000000001");
  ASSERT_NE(bucket, nullptr);
  EXPECT_FALSE(bucket->autoProgress());
  EXPECT_EQ(context.planOf(*bucket), plans[0]);

  Card *card = context.card("CCCCCCCC-0000-4000-8000-000000000001");
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->title, "f\xffo") << "bytes kept; shown sanitised later";
  EXPECT_EQ(card->notes, "");
  EXPECT_EQ(card->priority(), Priority::low);
  EXPECT_EQ(card->percentComplete, 49);
  EXPECT_EQ(card->progress(), CardProgress::notStarted);
  EXPECT_EQ(card->sortOrder, 7.0);
  EXPECT_FALSE(card->isArchived) << "text is no Boolean";
  EXPECT_FALSE(card->dueDate) << "text is no date";
  EXPECT_EQ(card->startDate, 1741773600.0) << "an integer is a date too";
  EXPECT_EQ(card->previewType(), CardPreview::automatic);
  EXPECT_EQ(card->recurrenceRuleData, std::string("\0\xff", 2));
  EXPECT_EQ(card->githubNumber, INT64_MAX);
  EXPECT_EQ(card->recurrenceOccurrence, 1);
  EXPECT_EQ(context.bucketOf(*card), bucket);
  EXPECT_EQ(context.cards(*bucket), std::vector<Card *>{card});
  ASSERT_EQ(context.attachments(*card).size(), 1u);
  EXPECT_EQ(context.attachments(*card)[0]->kind(), AttachmentKind::link);

  Card *other = context.card("cccccccc-0000-4000-8000-000000000002");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->percentComplete, INT64_MIN);
  EXPECT_TRUE(other->isArchived);
  EXPECT_EQ(context.cardsWithIDPrefix("CCCCCC").size(), 2u);

  // Queries agree with what the loaded cards show.
  EXPECT_EQ(context.fetchOpenCards(), std::vector<Card *>{card});
  CardQuery query;
  query.maxPercent = 49;
  EXPECT_EQ(context.queryCards(query, 10), std::vector<Card *>{card});
  EXPECT_EQ(context.countCards(query), 1);

  // A change writes only the changed column; the odd values stay as they
  // were.
  card->title = "neu";
  context.save(kNow);
  RawConnection raw(file);
  EXPECT_EQ(raw.text("SELECT typeof(percentComplete) || ' ' || "
                     "typeof(isArchived) || ' ' || title FROM Card WHERE id "
                     "LIKE 'cccccccc%1'"),
            "real text neu");
  EXPECT_EQ(raw.text("SELECT group_concat(kind) FROM StoreChange"), "update");
}

TEST(StoreFile, ABusyStoreFailsWithAClearMessageAndTheNextCallWorks) {
  TempDir dir;
  auto file = dir / "Taskory.store";
  auto container = KanbanStore::makeContainer(file);
  EXPECT_GE(container->database().busyTimeout(), 5000);
  container->database().setBusyTimeout(50);
  RawConnection other(file);
  other.exec("BEGIN IMMEDIATE");
  try {
    ModelContext context(*container, "mcp");
    ADD_FAILURE() << "began while another writer held the store";
  } catch (const StoreError &error) {
    EXPECT_TRUE(error.isBusy());
    EXPECT_STREQ(error.what(), "Der Store ist gerade durch ein anderes "
                               "Programm gesperrt – bitte gleich noch einmal "
                               "versuchen.");
  }
  other.exec("COMMIT");
  ModelContext context(*container, "mcp");
  context.insert(Plan("geht wieder", 0, kNow));
  context.save(kNow);
  EXPECT_EQ(other.integer("SELECT count(*) FROM Plan"), 1);
}

TEST(StoreFile, WriteFailuresAreGermanAndLeaveNothingBehind) {
  TempDir dir;
  struct Case {
    const char *what;
    std::function<void(ModelContainer &, const std::filesystem::path &)> break_;
    std::string message;
  };
  std::vector<Case> cases = {
      {"disk full",
       [](ModelContainer &c, const std::filesystem::path &) {
         c.database().exec("PRAGMA max_page_count = 1");
       },
       "Der Datenträger ist voll – die Änderung wurde nicht gespeichert. "
       "(SQLite: database or disk is full)"},
      {"write-protected",
       [](ModelContainer &c, const std::filesystem::path &) {
         c.database().exec("PRAGMA query_only = 1");
       },
       "Der Store ist schreibgeschützt – die Änderung wurde nicht "
       "gespeichert. (SQLite: attempt to write a readonly database)"},
      {"file deleted while running",
       [](ModelContainer &, const std::filesystem::path &file) {
         std::filesystem::remove(file);
       },
       "Die Store-Datei wurde gelöscht oder verschoben, während der Server "
       "lief – bitte den Server neu starten."},
  };
  int n = 0;
  for (const auto &test : cases) {
    auto file = dir / ("store" + std::to_string(n++));
    auto container = KanbanStore::makeContainer(file);
    test.break_(*container, file);
    try {
      ModelContext context(*container, "mcp");
      Plan &plan = context.insert(Plan("Haus", 0, kNow));
      plan.planDescription = std::string(100000, 'x');
      context.save(kNow);
      ADD_FAILURE() << test.what << ": saved";
    } catch (const StoreError &error) {
      EXPECT_EQ(error.what(), test.message) << test.what;
    }
    EXPECT_FALSE(container->database().inTransaction()) << test.what;
    if (std::filesystem::exists(file)) {
      RawConnection raw(file);
      EXPECT_EQ(raw.integer("SELECT count(*) FROM Plan"), 0) << test.what;
      EXPECT_EQ(raw.integer("SELECT count(*) FROM StoreTransaction"), 0)
          << test.what;
    }
  }
}

// Two connections (as two server processes would have) writing at once: the
// busy timeout makes each wait its turn, and no write is lost.
TEST(StoreFile, TwoWritersAtOnceLoseNothing) {
  TempDir dir;
  auto file = dir / "Taskory.store";
  std::string cardID;
  {
    auto container = KanbanStore::makeContainer(file);
    ModelContext context(*container, "app");
    cardID = context.insert(Card("Zähler", 0, kNow)).id;
    context.save(kNow);
  }
  constexpr int kRounds = 25;
  std::atomic<int> failures{0};
  auto writer = [&] {
    try {
      auto container = KanbanStore::makeContainer(file);
      for (int i = 0; i < kRounds; ++i) {
        ModelContext context(*container, "mcp");
        Card *card = context.card(cardID);
        card->githubNumber += 1;
        context.insert(Card("neu", 0, kNow));
        context.save(kNow);
      }
    } catch (const std::exception &) {
      ++failures;
    }
  };
  std::thread first(writer), second(writer);
  first.join();
  second.join();
  EXPECT_EQ(failures, 0);
  RawConnection raw(file);
  EXPECT_EQ(raw.integer("SELECT githubNumber FROM Card WHERE title = 'Zähler'"),
            2 * kRounds);
  EXPECT_EQ(raw.integer("SELECT count(*) FROM Card"), 2 * kRounds + 1);
  EXPECT_EQ(raw.integer("SELECT count(*) FROM StoreTransaction"),
            2 * kRounds + 1);
}

} // namespace
} // namespace taskory
