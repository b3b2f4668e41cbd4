#pragma once

// The store's layout on disk: the tables, the indexes, and the checks that
// keep us from writing into a database that is not ours. Private to the core
// library.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace taskory {

class SqliteDatabase;
class StoreError;

namespace schema {

// The bytes "TSKY".
inline constexpr int64_t kApplicationID = 1414744921;
// The layout this build knows (PRAGMA user_version).
inline constexpr int64_t kLayoutVersion = 1;
// Production waits this long for another writer; tests may lower it on the
// connection.
inline constexpr int kBusyTimeoutMilliseconds = 5000;
// The write-ahead log is checkpointed once it holds this many frames (1 MiB
// with SQLite's 4 KiB pages), so that it stays at a few MiB even while other
// programs write too.
inline constexpr int kWALCheckpointFrames = 256;

// A card that is archived or done (percentComplete 100 or more), each field
// decoded as a loaded card decodes it: the condition of the closed-card
// index. Open cards are counted as every card less these, from that small
// partial index, instead of deciding each card's state in a walk of all.
inline constexpr std::string_view kClosedCardCondition =
    "(CASE typeof(isArchived) WHEN 'integer' THEN isArchived WHEN 'real' THEN "
    "CAST(isArchived AS INTEGER) ELSE 0 END) <> 0 OR (CASE "
    "typeof(percentComplete) WHEN 'integer' THEN percentComplete WHEN 'real' "
    "THEN CAST(percentComplete AS INTEGER) ELSE 0 END) >= 100";
// Its complement, the condition of the open-card index: the store's open
// cards in list order, none of the closed ones in between. A query's term
// must read exactly so for SQLite to take that index.
inline constexpr std::string_view kOpenCardCondition =
    "NOT ((CASE typeof(isArchived) WHEN 'integer' THEN isArchived WHEN 'real' "
    "THEN CAST(isArchived AS INTEGER) ELSE 0 END) <> 0 OR (CASE "
    "typeof(percentComplete) WHEN 'integer' THEN percentComplete WHEN 'real' "
    "THEN CAST(percentComplete AS INTEGER) ELSE 0 END) >= 100)";
static_assert(kOpenCardCondition.size() == kClosedCardCondition.size() + 6 &&
                  kOpenCardCondition.starts_with("NOT (") &&
                  kOpenCardCondition.substr(5, kClosedCardCondition.size()) ==
                      kClosedCardCondition &&
                  kOpenCardCondition.ends_with(")"),
              "the open-card condition is NOT (the closed-card condition)");

// Pragmas every connection that writes needs; they do not touch the file.
void configureConnection(SqliteDatabase &db);

// Makes a freshly opened connection ready for use: refuses (StoreError) a
// database that is not ours or is newer than kLayoutVersion without changing
// it, gives an empty database the schema in one transaction, switches a file
// to WAL and adds missing indexes. `file` only serves the messages.
void prepareFileStore(SqliteDatabase &db, const std::filesystem::path &file);

// `error` as it reads for the store at `file`: a file that is not SQLite
// says so, anything else is prefixed with the path.
[[noreturn]] void rethrowForFile(const StoreError &error,
                                 const std::filesystem::path &file);

// The schema for an in-memory database.
void prepareMemoryStore(SqliteDatabase &db);

} // namespace schema
} // namespace taskory
