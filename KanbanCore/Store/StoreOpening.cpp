#include "KanbanCore/StoreOpening.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/PrivateFiles.h"
#include "Store/Schema.h"
#include "Store/ContainerConnection.h"
#include "KanbanCore/StoreError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace taskory::KanbanStore {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSchemaVersionKey = "storeSchemaVersion";

std::string quoted(const fs::path &path) { return "„" + path.string() + "“"; }

std::string errnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

} // namespace

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
    if (int error = files::createPrivateDirectories(dir))
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
  return std::make_unique<ModelContainer>(
      std::make_unique<ModelContainer::Connection>(std::move(db)));
}

std::unique_ptr<ModelContainer> makePreviewContainer() {
  auto db = SqliteDatabase::openInMemory();
  schema::prepareMemoryStore(*db);
  return std::make_unique<ModelContainer>(
      std::make_unique<ModelContainer::Connection>(std::move(db)));
}

} // namespace taskory::KanbanStore
