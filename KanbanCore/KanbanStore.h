#pragma once

#include "KanbanCore/NotificationCenter.h"
#include "KanbanCore/Types.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace taskory {

class SqliteDatabase;

// The opened store: one SQLite connection, shared by the model contexts that
// are created on it one after another. Owned by whoever opened it (the
// server's loop); not thread-safe.
class ModelContainer {
public:
  explicit ModelContainer(std::unique_ptr<SqliteDatabase> db);
  ~ModelContainer();
  ModelContainer(const ModelContainer &) = delete;
  ModelContainer &operator=(const ModelContainer &) = delete;

  SqliteDatabase &database() { return *db_; }
  // The raw connection, for tests and tools that must see exactly what this
  // container sees (an in-memory store has no other way in). Whoever uses it
  // must not leave a transaction open between contexts.
  sqlite3 *connection();
  // The centre on which CardActions posts didCompleteCard.
  NotificationCenter &notificationCenter() { return notifications_; }

private:
  std::unique_ptr<SqliteDatabase> db_;
  NotificationCenter notifications_;
};

// Where the store lives, how it is opened, and the guard against a store
// recorded by a newer data model.
namespace KanbanStore {

inline constexpr int64_t schemaVersion = 1;
inline constexpr bool hasCloudKitProvisioning = true;
inline constexpr bool isUsingScratchStore = false;
std::string_view appGroupID();
std::string_view cloudKitContainerID();
std::string_view installScriptURL();

namespace Author {
inline constexpr std::string_view app = "app";
inline constexpr std::string_view mcp = "mcp";
inline constexpr std::string_view widget = "widget";
inline constexpr std::string_view cloudKitImport =
    "NSCloudKitMirroringDelegate.import";
bool isForeignProcess(std::string_view author);
} // namespace Author

// Process-wide values, touched only from the main thread.
bool usesGroupContainerPath();
void setUsesGroupContainerPath(bool value);
const std::string &containerMode();
void setContainerMode(std::string mode);

// The data home directory (XDG_DATA_HOME, HOME/.local/share, or the password
// database's home); nothing when none can be determined.
std::optional<std::filesystem::path> dataHome();
// The group container directory, created (mode 0700) on demand; nothing
// without a data home.
std::optional<std::filesystem::path> groupContainer();
std::filesystem::path storeURL();

// A small JSON-file settings store (one object). Missing or unreadable files
// read as empty; writes replace the file atomically with mode 0600.
class Settings {
public:
  explicit Settings(std::filesystem::path file) : file_(std::move(file)) {}
  // The integer under `key`, 0 when absent or not an integer.
  int64_t integer(std::string_view key) const;
  void setInteger(std::string_view key, int64_t value) const;
  const std::filesystem::path &file() const { return file_; }

private:
  std::filesystem::path file_;
};

std::optional<Settings> groupContainerDefaults();
Settings sharedDefaults();
void recordSchemaVersion();
// The German warning when the recorded schema version is newer than ours.
std::optional<std::string> schemaMismatch();

// Opens (creating when new) the store at storeURL(). There is no cloud on this
// platform: cloudSync true records the failed cloud set-up in containerMode
// and opens the local store. Throws StoreError with a description of what is
// wrong (a directory, not SQLite, another application's database, a newer
// layout); never overwrites such a file.
std::unique_ptr<ModelContainer> makeContainer(bool cloudSync);
// The same at an explicit path (tests, benchmarks).
std::unique_ptr<ModelContainer> makeContainer(const std::filesystem::path &file);
// In-memory store over the same schema; nothing touches the disk.
std::unique_ptr<ModelContainer> makePreviewContainer();

} // namespace KanbanStore
} // namespace taskory
