#include "Store/Schema.h"

#include "KanbanCore/Card.h"
#include "KanbanCore/StoreError.h"
#include "Store/CardTally.h"
#include "Store/EntityTables.h"
#include "Store/Sqlite.h"
#include "Store/SqliteTransaction.h"

#include <sqlite3.h>

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace taskory::schema {

namespace {

// The tables exactly as the planner applications expect them.
constexpr std::string_view kTables = R"sql(
CREATE TABLE Plan (id TEXT PRIMARY KEY, title TEXT NOT NULL, planDescription TEXT NOT NULL DEFAULT '',
  iconSystemName TEXT NOT NULL DEFAULT 'square.grid.3x1.folder.badge.plus', colorHex TEXT,
  isFavorite INTEGER NOT NULL DEFAULT 0, sortOrder REAL NOT NULL, createdAt REAL NOT NULL,
  modifiedAt REAL NOT NULL, isClaudeProject INTEGER NOT NULL DEFAULT 0);
CREATE TABLE Bucket (id TEXT PRIMARY KEY, name TEXT NOT NULL, colorHex TEXT, sortOrder REAL NOT NULL,
  createdAt REAL NOT NULL, autoProgressRaw INTEGER NOT NULL DEFAULT -1,
  plan TEXT REFERENCES Plan(id) ON DELETE CASCADE);
CREATE TABLE Card (id TEXT PRIMARY KEY, title TEXT NOT NULL, notes TEXT NOT NULL DEFAULT '',
  startDate REAL, dueDate REAL, priorityRaw INTEGER NOT NULL DEFAULT 5,
  percentComplete INTEGER NOT NULL DEFAULT 0, colorHex TEXT, sortOrder REAL NOT NULL,
  isOnMyDay INTEGER NOT NULL DEFAULT 0, isArchived INTEGER NOT NULL DEFAULT 0, plannedDate REAL,
  isIdeaTask INTEGER NOT NULL DEFAULT 0, previewTypeRaw TEXT NOT NULL DEFAULT 'automatic',
  createdAt REAL NOT NULL, modifiedAt REAL NOT NULL, completedAt REAL, recurrenceSeriesID TEXT,
  recurrenceOccurrence INTEGER NOT NULL DEFAULT 1, recurrenceRuleData BLOB, githubRepo TEXT,
  githubNumber INTEGER NOT NULL DEFAULT 0, githubKind TEXT, githubURLString TEXT,
  plan TEXT REFERENCES Plan(id) ON DELETE CASCADE,
  bucket TEXT REFERENCES Bucket(id) ON DELETE CASCADE);
CREATE TABLE ChecklistItem (id TEXT PRIMARY KEY, title TEXT NOT NULL, isChecked INTEGER NOT NULL DEFAULT 0,
  sortOrder REAL NOT NULL, createdAt REAL NOT NULL, card TEXT REFERENCES Card(id) ON DELETE CASCADE);
CREATE TABLE CardAttachment (id TEXT PRIMARY KEY, alias TEXT NOT NULL, urlString TEXT,
  kindRaw TEXT NOT NULL DEFAULT 'link', fileName TEXT, fileData BLOB, sortOrder REAL NOT NULL,
  showOnCard INTEGER NOT NULL DEFAULT 0, createdAt REAL NOT NULL,
  card TEXT REFERENCES Card(id) ON DELETE CASCADE);
CREATE TABLE PlanLabel (id TEXT PRIMARY KEY, slotIndex INTEGER NOT NULL, name TEXT NOT NULL,
  plan TEXT REFERENCES Plan(id) ON DELETE CASCADE);
CREATE TABLE Goal (id TEXT PRIMARY KEY, title TEXT NOT NULL, notes TEXT NOT NULL DEFAULT '', colorHex TEXT,
  targetDate REAL, isCompleted INTEGER NOT NULL DEFAULT 0, sortOrder REAL NOT NULL,
  createdAt REAL NOT NULL, plan TEXT REFERENCES Plan(id) ON DELETE CASCADE);
CREATE TABLE CardGoal (card TEXT NOT NULL REFERENCES Card(id) ON DELETE CASCADE,
  goal TEXT NOT NULL REFERENCES Goal(id) ON DELETE CASCADE, PRIMARY KEY (card, goal));
CREATE TABLE CardLabel (card TEXT NOT NULL REFERENCES Card(id) ON DELETE CASCADE,
  label TEXT NOT NULL REFERENCES PlanLabel(id) ON DELETE CASCADE, PRIMARY KEY (card, label));
CREATE TABLE StoreTransaction (id INTEGER PRIMARY KEY AUTOINCREMENT, author TEXT NOT NULL,
  timestamp REAL NOT NULL);
CREATE TABLE StoreChange (txn INTEGER NOT NULL REFERENCES StoreTransaction(id) ON DELETE CASCADE,
  entity TEXT NOT NULL, entityID TEXT NOT NULL, kind TEXT NOT NULL CHECK (kind IN ('insert','update','delete')));
)sql";

struct Index {
  std::string_view name;
  std::string_view definition;
  // The condition of a partial index.
  std::string_view where = {};
};

// IF NOT EXISTS throughout: a store made by another program may lack some of
// them, and the ones beyond the link columns are only our speed-ups. Every
// index on Card is one more page written with each card, so each of them
// serves several queries. The two order indexes match the ORDER BY of the
// card list, so that the first cards of a long list come straight from the
// index instead of a sort (the ties of the whole-store one, by rowid, are
// sorted within their due date and sort order); the whole-store one and the
// plan-and-bucket one also carry the card's state, so that counting open
// cards in a due window, per plan and per bucket, never reads the rows. The
// planned-date index holds only planned cards, which the week plan lists
// without a scan. The bucket index, needed for the link anyway, carries the
// state too, so that "does this bucket hold an open card" reads no card row
// until it finds one. The goal-state one answers "is this linked card open"
// from the index alone: its second column is the archived flag exactly as the
// card queries decode it (integerExpression), which is what makes SQLite
// take it over the primary key for the goal counts. The closed-card one holds
// only archived and done cards (kClosedCardCondition), so a card is written
// to it only when it is closed, and the store's open cards are counted from
// it without a walk of every card. The open-card one is the whole-store
// order index without the closed cards: a store's done cards pile up at its
// early due dates, and the list of open cards, or of those due within a
// week, would otherwise walk past all of them first.
constexpr std::array<Index, 18> kIndexes = {{
    {"Bucket_plan", "Bucket(plan)"},
    {"Card_plan", "Card(plan)"},
    {"Card_bucketState", "Card(bucket, isArchived, percentComplete)"},
    {"ChecklistItem_card", "ChecklistItem(card)"},
    {"CardAttachment_card", "CardAttachment(card)"},
    {"PlanLabel_plan", "PlanLabel(plan)"},
    {"Goal_plan", "Goal(plan)"},
    {"CardGoal_goal", "CardGoal(goal)"},
    {"CardLabel_label", "CardLabel(label)"},
    {"StoreChange_txn", "StoreChange(txn)"},
    {"Card_dueOrderState", "Card((dueDate IS NULL), dueDate, sortOrder, "
                           "isArchived, percentComplete)"},
    {"Card_planDueOrder", "Card(plan, (dueDate IS NULL), dueDate, sortOrder)"},
    {"Card_planSortOrder", "Card(plan, sortOrder)"},
    {"Card_planBucketState", "Card(plan, bucket, isArchived, percentComplete)"},
    {"Card_plannedDateSet", "Card(plannedDate) WHERE plannedDate IS NOT NULL"},
    {"Card_goalState",
     "Card(id, (CASE typeof(isArchived) WHEN 'integer' THEN isArchived WHEN "
     "'real' THEN CAST(isArchived AS INTEGER) ELSE 0 END), isArchived, "
     "percentComplete)"},
    {"Card_closed", "Card(isArchived, percentComplete)", kClosedCardCondition},
    {"Card_openDueOrder",
     "Card((dueDate IS NULL), dueDate, sortOrder, isArchived, percentComplete)",
     kOpenCardCondition},
}};
static_assert(kCompletedFromPercent == 100,
              "kClosedCardCondition writes the completed percentage out");

// Speed-ups of earlier versions that cost every card write more than they
// saved: a store that has them loses them at the next start.
constexpr std::array<std::string_view, 5> kRetiredIndexes = {
    "Card_dueOrder", "Card_planState", "Card_plannedDate", "Card_dueState",
    "Card_bucket"};

std::string createIndexesSQL(const std::set<std::string> &existing) {
  std::string sql;
  for (std::string_view name : kRetiredIndexes)
    if (existing.count(std::string(name)))
      sql += "DROP INDEX IF EXISTS " + std::string(name) + ";\n";
  for (const Index &index : kIndexes)
    if (!existing.count(std::string(index.name)))
      sql += "CREATE INDEX IF NOT EXISTS " + std::string(index.name) + " ON " +
             std::string(index.definition) +
             (index.where.empty() ? "" : " WHERE " + std::string(index.where)) +
             ";\n";
  return sql;
}

template <class T> std::vector<std::string_view> entityColumns() {
  std::vector<std::string_view> columns;
  for (const auto &field : store::EntityTable<T>::fields)
    columns.push_back(field.column);
  return columns;
}

struct RequiredTable {
  std::string_view name;
  std::vector<std::string_view> columns;
};

std::vector<RequiredTable> requiredTables() {
  return {
      {"Plan", entityColumns<Plan>()},
      {"Bucket", entityColumns<Bucket>()},
      {"Card", entityColumns<Card>()},
      {"ChecklistItem", entityColumns<ChecklistItem>()},
      {"CardAttachment", entityColumns<CardAttachment>()},
      {"PlanLabel", entityColumns<PlanLabel>()},
      {"Goal", entityColumns<Goal>()},
      {"CardGoal", {"card", "goal"}},
      {"CardLabel", {"card", "label"}},
      {"StoreTransaction", {"id", "author", "timestamp"}},
      {"StoreChange", {"txn", "entity", "entityID", "kind"}},
  };
}

std::string quoted(const std::filesystem::path &file) {
  return "„" + file.string() + "“";
}

constexpr std::string_view kUntouched = " – die Datei bleibt unverändert.";

struct Header {
  int64_t applicationID = 0;
  int64_t userVersion = 0;
  int64_t objectCount = 0;
};

// The checks at start-up read in one transaction: each statement on its own
// would take and release the shared lock and look at the files again.
template <class Reads> auto inOneRead(SqliteDatabase &db, Reads reads) {
  SqliteTransaction read(db);
  auto result = reads();
  read.commit();
  return result;
}

// The first reads of a file: here a file that is not SQLite shows itself.
Header readHeader(SqliteDatabase &db, const std::filesystem::path &file) {
  try {
    return inOneRead(db, [&] {
      Header header;
      header.applicationID = db.queryInteger("PRAGMA application_id");
      header.userVersion = db.queryInteger("PRAGMA user_version");
      header.objectCount =
          db.queryInteger("SELECT count(*) FROM sqlite_schema");
      return header;
    });
  } catch (const StoreError &error) {
    rethrowForFile(error, file);
  }
}

void refuseForeignOrNewer(const Header &header,
                          const std::filesystem::path &file) {
  if (header.applicationID != 0 && header.applicationID != kApplicationID)
    throw StoreError::foreign(quoted(file) +
                              " ist die Datenbank eines anderen Programms "
                              "(application_id " +
                              std::to_string(header.applicationID) + " statt " +
                              std::to_string(kApplicationID) + ")" +
                              std::string(kUntouched));
  if (header.userVersion > kLayoutVersion)
    throw StoreError::tooNew(
        quoted(file) + " hat ein neueres Store-Format (Version " +
        std::to_string(header.userVersion) +
        ", dieses Programm kennt Version " + std::to_string(kLayoutVersion) +
        ") – die Datei bleibt unverändert. Bitte den "
        "MCP-Server aktualisieren.");
}

std::set<std::string> names(SqliteDatabase &db, std::string_view sql) {
  std::set<std::string> result;
  auto stmt = db.statement(sql);
  while (stmt->step())
    result.emplace(stmt->bytes(0));
  return result;
}

void refuseWrongLayout(SqliteDatabase &db, const std::filesystem::path &file) {
  // Asked of SQLite's parsed schema: a statement per table would cost more
  // than the rest of start-up together.
  const std::vector<RequiredTable> tables = requiredTables();
  std::string missingTables;
  for (const RequiredTable &table : tables)
    if (!db.hasTable(std::string(table.name)))
      missingTables +=
          (missingTables.empty() ? "" : ", ") + std::string(table.name);
  if (!missingTables.empty())
    throw StoreError::foreign(quoted(file) +
                              " ist kein Taskory-Store (es fehlen die "
                              "Tabellen " +
                              missingTables + ")" + std::string(kUntouched));
  std::string missingColumns;
  for (const RequiredTable &table : tables)
    for (std::string_view column : table.columns)
      if (!db.hasTable(std::string(table.name), std::string(column).c_str()))
        missingColumns += (missingColumns.empty() ? "" : ", ") +
                          std::string(table.name) + "." + std::string(column);
  if (!missingColumns.empty())
    throw StoreError::foreign(
        quoted(file) + " passt nicht zum Datenmodell (es fehlen die Spalten " +
        missingColumns + ")" + std::string(kUntouched));
}

void createInEmptyDatabase(SqliteDatabase &db) {
  // Two servers may start on a new file at once: the write lock decides
  // which one creates the tables; the other finds them made.
  SqliteTransaction creation(db, "BEGIN IMMEDIATE");
  if (db.queryInteger("SELECT count(*) FROM sqlite_schema") == 0) {
    db.exec(kTables);
    db.exec(createIndexesSQL({}));
    db.exec("PRAGMA user_version = " + std::to_string(kLayoutVersion));
    db.exec("PRAGMA application_id = " + std::to_string(kApplicationID));
  }
  creation.commit();
}

} // namespace

void rethrowForFile(const StoreError &error,
                    const std::filesystem::path &file) {
  if (error.kind() == StoreError::Kind::notADatabase)
    throw error.reworded(quoted(file) + " ist keine SQLite-Datenbank" +
                         std::string(kUntouched));
  // Opening changes nothing, so a refusal to write names what SQLite wanted
  // to create: in WAL mode even reading needs the two files beside the store.
  if (error.extendedCode() == SQLITE_READONLY_DIRECTORY ||
      error.extendedCode() == SQLITE_READONLY_CANTINIT) {
    const std::string name = file.filename().string();
    throw error.reworded(quoted(file) + ": Das Verzeichnis " +
                         quoted(file.parent_path()) +
                         " ist schreibgeschützt – der Store braucht dort "
                         "seine Begleitdateien „" +
                         name + "-wal“ und „" + name + "-shm“.");
  }
  throw error.reworded(quoted(file) + ": " + error.what());
}

void configureConnection(SqliteDatabase &db) {
  db.walPolicy().setBusyTimeout(kBusyTimeoutMilliseconds);
  db.check(db.walPolicy().keepWALSmall(kWALCheckpointFrames));
  db.exec("PRAGMA foreign_keys = ON");
  db.exec("PRAGMA synchronous = FULL");
  // The counting indexes of the overviews stay cached between calls instead
  // of being read again each time: the largest, plan and bucket state, takes
  // about 8.5 MiB on a board of 100,000 cards; SQLite's default of 2 MiB
  // holds a quarter of it. The page cache grows only as far as it is used.
  db.exec("PRAGMA cache_size = -12288");
}

void prepareFileStore(SqliteDatabase &db, const std::filesystem::path &file) {
  Header header = readHeader(db, file);
  refuseForeignOrNewer(header, file);
  // Only now is the file known to be ours (or empty): from here on we may
  // write to it.
  auto switchToWAL = [&] {
    try {
      db.exec("PRAGMA journal_mode = WAL");
    } catch (const StoreError &) {
      // A write-protected file stays in its journal mode; reading works.
    }
  };
  if (header.objectCount == 0) {
    switchToWAL();
    try {
      createInEmptyDatabase(db);
    } catch (const StoreError &error) {
      rethrowForFile(error, file);
    }
    refuseForeignOrNewer(readHeader(db, file), file);
  }
  // Views come along too; the names only serve to find what is missing.
  constexpr std::string_view kIndexesAndTriggers =
      "SELECT name FROM sqlite_schema WHERE type <> 'table'";
  bool tallyWanted = false;
  const std::set<std::string> indexesAndTriggers = inOneRead(db, [&] {
    refuseWrongLayout(db, file);
    auto found = names(db, kIndexesAndTriggers);
    tallyWanted = store::cardTally::wanted(db, found, file);
    return found;
  });
  switchToWAL();
  // Indexes and the tallies only make queries faster; a write-protected or
  // busy store is still usable without them, and each is tried on its own.
  const auto tryWriting = [&](const auto &write) {
    try {
      SqliteTransaction writing(db, "BEGIN IMMEDIATE");
      write();
      writing.commit();
    } catch (const StoreError &) {
    }
  };
  if (std::string missing = createIndexesSQL(indexesAndTriggers);
      !missing.empty())
    tryWriting([&] { db.exec(missing); });
  // Asked again under the write lock: a second server starting on the same
  // store may have built them meanwhile. A store whose lock another program
  // holds is not waited for: the overviews walk until a later start.
  if (tallyWanted) {
    const int timeout = db.walPolicy().busyTimeout();
    db.walPolicy().setBusyTimeout(0);
    tryWriting([&] {
      if (store::cardTally::wanted(db, names(db, kIndexesAndTriggers), file))
        db.exec(store::cardTally::rebuildSQL());
    });
    db.walPolicy().setBusyTimeout(timeout);
  }
}

void prepareMemoryStore(SqliteDatabase &db) {
  db.exec("PRAGMA foreign_keys = ON");
  createInEmptyDatabase(db);
}

} // namespace taskory::schema
