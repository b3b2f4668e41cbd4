#include "support/FaultInjectionVFS.h"

#include "support/ShimVFS.h"

#include <sqlite3.h>

namespace taskory::test {
namespace {

class LogFaultInjector : public FileObserver {
public:
  int beforeWrite(FileKind kind, std::string_view) override {
    if (kind != FileKind::log)
      return SQLITE_OK;
    LogFaults &faults = logFaults();
    ++faults.writes;
    for (int left = faults.failWrites; left != 0;)
      if (left < 0 || faults.failWrites.compare_exchange_weak(left, left - 1))
        return SQLITE_IOERR_WRITE;
    return SQLITE_OK;
  }
  int beforeSync(FileKind kind, std::string_view) override {
    if (kind != FileKind::log)
      return SQLITE_OK;
    ++logFaults().syncs;
    return logFaults().failSyncs ? SQLITE_IOERR_FSYNC : SQLITE_OK;
  }
};

} // namespace

const char *faultInjectionVFS() {
  static LogFaultInjector injector;
  static sqlite3_vfs *const vfs =
      registerShimVFS("taskory-test-faults", injector);
  return vfs ? vfs->zName : nullptr;
}

LogFaults &logFaults() {
  static LogFaults faults;
  return faults;
}

} // namespace taskory::test
