#pragma once

struct sqlite3_vfs;

// Writing a card touches twenty-odd pages (the row, each of its indexes, the
// history rows), and SQLite hands each page of the write-ahead log to the
// operating system in two calls of its own. On a virtual machine those calls,
// not the disk, were most of the cost of a durable commit.
//
// The VFS named here behaves exactly like the VFS beneath it, except for the
// write-ahead log: while the connection holds the log's write lock,
// consecutive writes to it are gathered in memory and written in one call
// before anything else touches the log file (a sync, a read, a truncation, a
// size query, a file control) and before the commit is published in the
// shared index. Whatever is still gathered when the connection lets go of the
// write lock belongs to a transaction that did not commit: it is dropped,
// never written, because from that moment on SQLite may hand the same part of
// the log to another connection (another program's, or ours). A failed write
// surfaces as the same SQLite error, at the sync of the commit that needed it.
//
// The write lock lives in the shared index, which SQLite reaches through the
// database file, so the VFS wraps the database file too and pairs it with the
// log that SQLite opens for it. A log it cannot pair is written through.
namespace taskory::store {

// The VFS's name for sqlite3_open_v2, registered over SQLite's default VFS
// on first use; nullptr (SQLite's default VFS) if it cannot be registered,
// or when TASKORY_LOG_VFS=default asks for SQLite's own (to measure against
// it).
const char *bufferedLogVFS();

// Registers a VFS named `name` that gathers the log writes of files opened
// through `base`, for tests that put a VFS of their own underneath. Both
// must outlive every connection opened through it. Returns SQLite's result
// code.
int registerBufferedLogVFS(const char *name, sqlite3_vfs *base);

} // namespace taskory::store
