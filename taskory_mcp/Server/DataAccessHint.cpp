#include "Server/DataAccessHint.h"

#include "KanbanCore/KanbanStore.h"

#include <cerrno>
#include <dirent.h>

namespace taskory::DataAccessHint {

std::optional<int> listingError(const std::filesystem::path &directory) {
  DIR *handle = ::opendir(directory.c_str());
  if (!handle)
    return errno;
  // Opening is not the whole listing: some protected directories open and
  // then refuse to hand out their entries.
  errno = 0;
  while (::readdir(handle) != nullptr) {
  }
  const int error = errno;
  ::closedir(handle);
  if (error != 0)
    return error;
  return std::nullopt;
}

bool isPermissionDenial(int error) { return error == EACCES || error == EPERM; }

std::optional<std::string> hint(std::optional<int> error) {
  if (!error || !isPermissionDenial(*error))
    return std::nullopt;
#ifdef __APPLE__
  return "macOS verweigert den Zugriff auf die Daten von Taskory. Unter macOS "
         "15: Systemeinstellungen → Datenschutz & Sicherheit → Dateien & "
         "Ordner, beim Programm, das den MCP-Server startet (Terminal oder "
         "Claude Desktop), „Daten werden von Taskory und zugehörigen Apps "
         "geteilt“ einschalten und das Programm neu starten.\n"
         "macOS denied access to Taskory's data. On macOS 15: System Settings "
         "→ Privacy & Security → Files & Folders, turn on “Data shared by "
         "Taskory and affiliated apps” for the app that starts the MCP server "
         "(Terminal or Claude Desktop), then restart that app.";
#else
  // No privacy protection of that kind here: a refused listing is an
  // ordinary permission problem that the error description already names.
  return std::nullopt;
#endif
}

std::optional<std::string> forStore() {
  return hint(listingError(KanbanStore::storeURL().parent_path()));
}

} // namespace taskory::DataAccessHint
