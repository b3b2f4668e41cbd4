#pragma once

// The overviews' figures kept by the store itself, by triggers on Card and
// CardGoal: one row per (plan, bucket) with the number of cards not archived
// and how many of those are done, and one row per goal with the same of its
// linked cards. SQLite runs the triggers for every writer, also for programs
// that know nothing of them, so after another program's commit an overview
// reads a few hundred rows instead of walking every card or link.
//
// Each value is decoded as a loaded card decodes it. Keys are the stored
// values: one that is not text is no plan's, bucket's or goal's, and its
// cards count only towards the whole store's figures. A row may stay behind
// at zero.
//
// The one change triggers cannot see is a row that a REPLACE removes (SQLite
// runs no delete trigger for it unless the writing connection asked for
// recursive triggers). A card or link insert or key change that meets an
// existing row therefore marks the tallies stale; until the next start builds
// them again the overviews walk the cards, which is exact. The mark may also
// come from an INSERT OR IGNORE or an upsert, which cost only that walk.

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace taskory {

class SqliteDatabase;

namespace store::cardTally {

// Below this many cards a walk of every card costs less than the triggers
// cost each connection that reads the schema, and a store gets no tally
// until it grows past it.
inline constexpr int64_t kMinCards = 10000;

// Whether the start should build the tallies. A store that holds any of
// their triggers (they may be stale or left by another build) has them built
// anew; tables alone do nothing and cost nothing. A store without them gets
// them once it holds kMinCards cards; the size of the store's `file` and
// its write-ahead log spares small stores the count. Reads in the caller's
// transaction.
bool wanted(SqliteDatabase &db, const std::set<std::string> &triggerNames,
            const std::filesystem::path &file);

// Statements that drop older tallies, create the tables and triggers and
// fill the tallies from the cards and links; run in the caller's write
// transaction.
const std::string &rebuildSQL();

// Whether the store holds tallies this build can trust, judged from the
// store's trigger names and, when they are all there, the stale mark. Reads
// in the caller's transaction.
bool intact(SqliteDatabase &db, const std::set<std::string> &triggerNames);
bool intact(SqliteDatabase &db);

// plan, bucket, active, completed of every row; active and completed count
// cards that are not archived.
std::string_view planBucketRowsSQL();
// The store's open cards (neither archived nor done), summed over the rows:
// the list's count of open cards without a walk of every card.
std::string_view openCardsSQL();
// goal, active, completed of every goal with a counted link: a link counts
// while its card exists with a text id and is not archived.
std::string_view goalRowsSQL();

} // namespace store::cardTally
} // namespace taskory
