#pragma once

// A VFS for tests that sits on SQLite's default one and shows a test each
// write, sync and truncation of database and log files before and after it
// happens; it may also fail the call instead. Everything else (reads, locks,
// the shared-memory index, other files) goes to the default VFS unchanged.

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3_vfs;

namespace taskory::test {

enum class FileKind { database, log };

class FileObserver {
public:
  virtual ~FileObserver() = default;
  // Called before the VFS beneath; a result other than SQLITE_OK (0) fails
  // the call with that code and the file stays untouched.
  virtual int beforeWrite(FileKind, std::string_view /*path*/) { return 0; }
  virtual int beforeSync(FileKind, std::string_view /*path*/) { return 0; }
  // Called once the VFS beneath has done the call successfully.
  virtual void written(FileKind, std::string_view /*path*/,
                       std::string_view /*bytes*/, int64_t /*offset*/) {}
  virtual void synced(FileKind, std::string_view /*path*/) {}
  virtual void truncated(FileKind, std::string_view /*path*/,
                         int64_t /*size*/) {}
};

// Registers a VFS named `name` over the default VFS that reports to
// `observer`; `makeDefault` makes it SQLite's default VFS from now on. The
// observer must outlive every connection opened through it. nullptr if
// SQLite refused.
sqlite3_vfs *registerShimVFS(const char *name, FileObserver &observer,
                             bool makeDefault = false);

} // namespace taskory::test
