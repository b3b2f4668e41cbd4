#pragma once

// Writing a card touches twenty-odd pages (the row, each of its indexes, the
// history rows), and SQLite hands each page of the write-ahead log to the
// operating system in two calls of its own. On a virtual machine those calls,
// not the disk, were most of the cost of a durable commit.
//
// The VFS named here behaves exactly like SQLite's default one, except for
// the write-ahead log: consecutive writes to it are gathered in memory and
// written in one call before anything else touches the log file — before a
// sync, a read, a truncation, a size query, a file control or closing.
// Committed frames become visible to other connections only when SQLite
// publishes them in the shared index after syncing the log (synchronous =
// FULL, which every connection of ours sets), so no other program ever sees
// the log without them. A failed write surfaces as the same SQLite error, at
// the sync of the commit that needed it.
namespace taskory::store {

// The VFS's name for sqlite3_open_v2, registered on first use; nullptr
// (SQLite's default VFS) if it cannot be registered.
const char *bufferedLogVFS();

} // namespace taskory::store
