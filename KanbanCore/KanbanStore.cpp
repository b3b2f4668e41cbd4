#include "KanbanCore/KanbanStore.h"

#include "KanbanCore/Store/Schema.h"
#include "KanbanCore/Store/Sqlite.h"
#include "KanbanCore/StoreError.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace taskory {

ModelContainer::ModelContainer(std::unique_ptr<SqliteDatabase> db)
    : db_(std::move(db)) {}

ModelContainer::~ModelContainer() = default;

sqlite3 *ModelContainer::connection() { return db_->handle(); }

namespace KanbanStore {

namespace fs = std::filesystem;

namespace {

// The two process-wide values; touched only from the main thread.
bool gUsesGroupContainerPath = false;
std::string gContainerMode = "unbekannt";

constexpr std::string_view kSchemaVersionKey = "storeSchemaVersion";

std::string quoted(const fs::path &path) { return "„" + path.string() + "“"; }

std::string errnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::optional<fs::path> passwordHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd *result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) !=
          0 ||
      !result || !result->pw_dir || !*result->pw_dir)
    return std::nullopt;
  return fs::path(result->pw_dir);
}

std::optional<fs::path> homeDirectory() {
  if (const char *home = std::getenv("HOME"); home && *home)
    return fs::path(home);
  return passwordHome();
}

std::optional<fs::path> absoluteVariable(const char *name) {
  const char *value = std::getenv(name);
  if (value && value[0] == '/')
    return fs::path(value);
  return std::nullopt;
}

// Creates `dir` and its missing parents with mode 0700 (the boards are
// private); returns the errno of the first failure, 0 on success.
int createPrivateDirectories(const fs::path &dir) {
  if (dir.empty())
    return 0;
  fs::path current;
  for (const fs::path &part : dir) {
    current /= part;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST)
      return errno;
  }
  struct stat info {};
  if (::stat(dir.c_str(), &info) != 0)
    return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

std::optional<nlohmann::json> readSettingsObject(const fs::path &file) {
  if (file.empty())
    return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::stringstream content;
  content << in.rdbuf();
  nlohmann::json json =
      nlohmann::json::parse(content.str(), nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded() || !json.is_object())
    return std::nullopt;
  return json;
}

} // namespace

std::string_view appGroupID() { return TASKORY_APP_GROUP_ID; }
std::string_view cloudKitContainerID() { return TASKORY_CLOUD_CONTAINER_ID; }
std::string_view installScriptURL() { return TASKORY_INSTALL_SCRIPT_URL; }

bool Author::isForeignProcess(std::string_view author) {
  return author == mcp || author == widget || author == cloudKitImport;
}

bool usesGroupContainerPath() { return gUsesGroupContainerPath; }
void setUsesGroupContainerPath(bool value) { gUsesGroupContainerPath = value; }
const std::string &containerMode() { return gContainerMode; }
void setContainerMode(std::string mode) { gContainerMode = std::move(mode); }

std::optional<fs::path> dataHome() {
  if (auto xdg = absoluteVariable("XDG_DATA_HOME"))
    return xdg;
  if (auto home = homeDirectory())
    return *home / ".local" / "share";
  return std::nullopt;
}

std::optional<fs::path> groupContainer() {
  auto home = dataHome();
  if (!home)
    return std::nullopt;
  fs::path container = *home / std::string(appGroupID());
  // As on the platform this stands in for, asking for the container makes
  // it; a failure shows up when the store inside cannot be opened.
  createPrivateDirectories(container);
  return container;
}

fs::path storeURL() {
  if (auto container = groupContainer())
    return *container / "Taskory.store";
  fs::path fallback = "Taskory";
  createPrivateDirectories(fallback);
  return fallback / "Taskory.store";
}

int64_t Settings::integer(std::string_view key) const {
  auto object = readSettingsObject(file_);
  if (!object)
    return 0;
  auto it = object->find(key);
  if (it == object->end())
    return 0;
  if (it->is_number_unsigned()) {
    auto value = it->get<uint64_t>();
    return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
               ? std::numeric_limits<int64_t>::max()
               : static_cast<int64_t>(value);
  }
  if (it->is_number_integer())
    return it->get<int64_t>();
  return 0;
}

void Settings::setInteger(std::string_view key, int64_t value) const {
  // Like the platform's settings store, a write that cannot be done is
  // dropped without a message: settings are advisory.
  if (file_.empty())
    return;
  nlohmann::json object =
      readSettingsObject(file_).value_or(nlohmann::json::object());
  object[std::string(key)] = value;
  std::string text =
      object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  fs::path dir = file_.parent_path();
  if (createPrivateDirectories(dir) != 0)
    return;
  // Write a temporary file next to it and rename it over the old one, so a
  // reader never sees half a file. mkstemp creates it with mode 0600.
  std::string pattern = (dir.empty() ? fs::path(".") : dir).string() + "/." +
                        file_.filename().string() + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0)
    return;
  bool ok = ::write(fd, text.data(), text.size()) ==
                static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(name.data(), file_.c_str()) != 0)
    ::unlink(name.data());
}

std::optional<Settings> groupContainerDefaults() {
  auto container = groupContainer();
  if (!container)
    return std::nullopt;
  return Settings(*container / "settings.json");
}

Settings sharedDefaults() {
  if (usesGroupContainerPath())
    if (auto settings = groupContainerDefaults())
      return *settings;
  std::optional<fs::path> configHome = absoluteVariable("XDG_CONFIG_HOME");
  if (!configHome)
    if (auto home = homeDirectory())
      configHome = *home / ".config";
  if (!configHome)
    return Settings(fs::path()); // holds nothing, keeps nothing
  return Settings(*configHome / (std::string(appGroupID()) + ".json"));
}

void recordSchemaVersion() {
  sharedDefaults().setInteger(kSchemaVersionKey, schemaVersion);
}

std::optional<std::string> schemaMismatch() {
  int64_t stored = sharedDefaults().integer(kSchemaVersionKey);
  if (stored <= schemaVersion)
    return std::nullopt;
  return "Dieser Helfer ist älter als der Taskory auf diesem Mac "
         "(kennt Datenmodell " +
         std::to_string(schemaVersion) + ", der Store nutzt " +
         std::to_string(stored) + "). " +
         "Bitte aktualisiere ihn mit: curl -fsSL " +
         std::string(installScriptURL()) + " | bash";
}

std::unique_ptr<ModelContainer> makeContainer(bool cloudSync) {
  fs::path file = storeURL();
  if (cloudSync)
    // There is no cloud mirroring on this platform: the attempt fails as a
    // failed set-up would, and the local store is opened instead.
    setContainerMode("lokal — CloudKit-Setup fehlgeschlagen: Der "
                     "CloudKit-Container „" +
                     std::string(cloudKitContainerID()) +
                     "“ ist auf dieser Plattform nicht verfügbar.");
  else
    setContainerMode("lokal — Sync in den Einstellungen deaktiviert");
  return makeContainer(file);
}

std::unique_ptr<ModelContainer> makeContainer(const fs::path &file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode))
      throw StoreError::cannotOpen(quoted(file) +
                                   " ist ein Verzeichnis, keine Store-Datei.");
    if (!S_ISREG(info.st_mode))
      throw StoreError::cannotOpen(quoted(file) +
                                   " ist keine gewöhnliche Datei.");
  } else if (errno == ENOENT) {
    fs::path dir = file.parent_path();
    if (int error = createPrivateDirectories(dir))
      throw StoreError::cannotOpen(
          "Das Verzeichnis " + quoted(dir) +
          " kann nicht angelegt werden: " + errnoText(error));
    // Create the file ourselves so that it is private from the first byte;
    // SQLite gives its -wal and -shm files the same mode.
    int fd =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
      throw StoreError::cannotOpen(
          quoted(file) + " kann nicht angelegt werden: " + errnoText(errno));
    if (fd >= 0)
      ::close(fd);
  } else {
    throw StoreError::cannotOpen(quoted(file) +
                                 " ist nicht zugänglich: " + errnoText(errno));
  }

  std::unique_ptr<SqliteDatabase> db;
  try {
    db = SqliteDatabase::open(file.string());
    schema::configureConnection(*db);
  } catch (const StoreError &error) {
    schema::rethrowForFile(error, file);
  }
  schema::prepareFileStore(*db, file);
  return std::make_unique<ModelContainer>(std::move(db));
}

std::unique_ptr<ModelContainer> makePreviewContainer() {
  auto db = SqliteDatabase::openInMemory();
  schema::prepareMemoryStore(*db);
  return std::make_unique<ModelContainer>(std::move(db));
}

} // namespace KanbanStore
} // namespace taskory
