#pragma once

#include "KanbanCore/StoreError.h"

struct sqlite3;

// What a failed SQLite call means for the user: the StoreError with its
// German description, and the operating system's reason where it says more
// than SQLite's code does (a file-size limit, a refused permission).
namespace taskory {

// The failure `rc` of a call on the connection `db`.
StoreError sqliteFailure(sqlite3 *db, int rc);
// The failure `rc` of opening a connection; `db` is what SQLite handed out,
// possibly nothing.
StoreError openFailure(sqlite3 *db, int rc);

} // namespace taskory
