#pragma once

// A VFS for tests that sits on SQLite's default one and fails the writes or
// syncs of write-ahead logs on demand, as a full disk or a failing device
// would. Everything else goes to the default VFS unchanged.

#include <atomic>

namespace taskory::test {

struct LogFaults {
  // Fail this many upcoming log writes (and count down); -1 fails all of
  // them until reset.
  std::atomic<int> failWrites{0};
  // Fail every log sync while set.
  std::atomic<bool> failSyncs{false};
  // What reached the log file beneath (failed calls included).
  std::atomic<int> writes{0};
  std::atomic<int> syncs{0};

  void reset() {
    failWrites = 0;
    failSyncs = false;
    writes = 0;
    syncs = 0;
  }
};

// The VFS's name for sqlite3_open_v2 (registered on first use) and the
// faults it injects, shared by every connection opened through it.
const char *faultInjectionVFS();
LogFaults &logFaults();

} // namespace taskory::test
