#include "Server/StartUp.h"

#include "KanbanCore/Calendar.h"
#include "KanbanTools/KanbanTools.h"
#include "Server/DataAccessHint.h"
#include "Server/KanbanMCPServer.h"
#include "Server/UserLocale.h"

#include <cerrno>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <malloc.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace taskory {
namespace StartUp {

std::unique_ptr<ModelContainer> openStore() {
  // Under a file-size limit (ulimit -f) the write that would pass it raises
  // SIGXFSZ, which ends the process before the call is answered. Ignored,
  // the write fails with EFBIG instead: SQLite rolls the call back and it is
  // answered with an error, as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  KanbanStore::setUsesGroupContainerPath(true);
  std::unique_ptr<ModelContainer> container;
  try {
    container = KanbanStore::makeContainer(false);
  } catch (const std::exception &error) {
    KanbanMCPServer::log(std::string("Store konnte nicht geöffnet werden: ") +
                         error.what());
    if (auto hint = DataAccessHint::forStore())
      KanbanMCPServer::log(*hint);
    return nullptr;
  } catch (...) {
    KanbanMCPServer::log(
        "Store konnte nicht geöffnet werden: unbekannter Fehler");
    return nullptr;
  }
  if (auto mismatch = KanbanStore::schemaMismatch())
    KanbanMCPServer::log(*mismatch);
  return container;
}

} // namespace StartUp

// A parent may start us with a standard descriptor closed. The next file we
// open (the settings, a directory listing) would then take that number, and
// an answer meant for standard output could land in it. Holding /dev/null
// there keeps the numbers taken; answers to a closed standard output simply
// go nowhere and the session runs to the end of its input.
void StartUp::occupyClosedStandardDescriptors() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

namespace {

// glibc raises its threshold for serving large blocks from their own
// mappings each time such a block is freed, so after a few overviews of a
// large board the answers come from the heap and leave it fragmented: every
// kind of call then adds its peak to what the earlier ones left, and the
// process grows by a few MiB per kind. Fixed thresholds bound that. They are
// not lower: a block served from its own mapping, or heap given back, is
// faulted in page by page at its next use, and an overview of a large board
// builds megabytes of rows and text at every call; a thousand page faults
// cost it more than the counting it was spared.
void keepFreedMemoryShort() {
  mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
}

} // namespace

int StartUp::main() {
  occupyClosedStandardDescriptors();
  keepFreedMemoryShort();
  // A client that goes away closes our standard output; the write then
  // reports EPIPE and the loop ends normally instead of the signal killing
  // the process.
  std::signal(SIGPIPE, SIG_IGN);
  auto container = StartUp::openStore();
  if (!container)
    return 1;
  // ICU reads the time zone and locale once per process anyway; choosing the
  // locale and building the calendar once spares every call the cost of
  // setting them up, and doing it at the first tool call keeps ICU's loading
  // out of the start-up: no answer before it depends on the locale.
  std::optional<Calendar> calendar;
  return KanbanMCPServer::serve(
      STDIN_FILENO, STDOUT_FILENO,
      [&container, &calendar](std::string_view name,
                              const nlohmann::json &arguments) {
        if (!calendar) {
          UserLocale::apply();
          calendar = Calendar::current();
        }
        return KanbanTools::callInOwnContext(*container, *calendar, name,
                                             arguments);
      });
}

} // namespace taskory
