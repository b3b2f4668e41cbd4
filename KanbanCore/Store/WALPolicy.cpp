#include "Store/WALPolicy.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace taskory {

WALPolicy::WALPolicy(sqlite3 *db)
    : db_(db),
      jitter_(static_cast<std::minstd_rand::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() ^
          reinterpret_cast<std::uintptr_t>(this))) {}

int WALPolicy::busy(void *self, int attempt) {
  return static_cast<WALPolicy *>(self)->waitWhileBusy(attempt) ? 1 : 0;
}

int WALPolicy::walCommitted(void *self, sqlite3 *, const char *schema,
                            int frames) {
  static_cast<WALPolicy *>(self)->checkpointAfterCommit(schema, frames);
  // An error here would make the committed statement report a failure.
  return SQLITE_OK;
}

void WALPolicy::setBusyTimeout(int milliseconds) {
  sqlite3_busy_handler(db_, milliseconds > 0 ? &busy : nullptr, this);
  busyTimeout_ = busyLimit_ = milliseconds;
}

bool WALPolicy::waitWhileBusy(int attempt) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  if (attempt == 0) {
    busySince_ = now;
#ifdef __linux__
    // The kernel may stretch a sleep by the thread's timer slack (50
    // microseconds by default), as long as the sleeps below. Ask for
    // wake-ups to the microsecond (for this thread, from now on).
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
  }
  const auto waited = now - busySince_;
  if (waited >= milliseconds(busyLimit_))
    return false;
  // The lock is free only for the moment between two of the holder's
  // transactions: sleep briefly so that one of our tries lands there. After a
  // quarter of a second the holder is more likely keeping the lock than
  // committing back to back, and the sleeps grow towards 2 ms to spare the
  // CPU.
  constexpr double kShortest = 50, kLongest = 2000; // microseconds
  const double quarters = duration<double>(waited).count() * 4;
  const double base =
      std::min(kLongest, kShortest * std::max(1.0, quarters * quarters));
  std::uniform_real_distribution<double> spread(0.5, 1.5);
  std::this_thread::sleep_for(
      duration<double, std::micro>(base * spread(jitter_)));
  return true;
}

int WALPolicy::keepWALSmall(int frames) {
  const std::string limit = "PRAGMA journal_size_limit = " +
                            std::to_string(int64_t{frames} * 2 * 4096);
  if (const int rc = sqlite3_exec(db_, limit.c_str(), nullptr, nullptr, nullptr);
      rc != SQLITE_OK)
    return rc;
  walCheckpointFrames_ = frames;
  sqlite3_wal_hook(db_, &walCommitted, this);
  return SQLITE_OK;
}

void WALPolicy::checkpointAfterCommit(const char *schema, int frames) noexcept {
  if (frames < walCheckpointFrames_)
    return;
  // A passive checkpoint never waits: it copies what no reader still needs.
  int logged = 0, copied = 0;
  if (sqlite3_wal_checkpoint_v2(db_, schema, SQLITE_CHECKPOINT_PASSIVE,
                                &logged, &copied) != SQLITE_OK ||
      copied < logged)
    return; // a reader pins part of the log; the next commit tries again
  // Everything is in the database: make sure the next writer starts the log
  // over from its beginning. The file keeps its size (journal_size_limit
  // caps it), so later commits overwrite blocks the file already has
  // instead of growing it, which makes each commit's sync cheaper. Waiting
  // for readers to leave the log takes the write lock; wait only briefly,
  // since the answer to the call is waiting, and leave it to a later commit
  // when another writer is busy.
  constexpr int kCheckpointWaitMilliseconds = 20;
  busyLimit_ = std::min(busyTimeout_, kCheckpointWaitMilliseconds);
  sqlite3_wal_checkpoint_v2(db_, schema, SQLITE_CHECKPOINT_RESTART, nullptr,
                            nullptr);
  busyLimit_ = busyTimeout_;
}

} // namespace taskory
