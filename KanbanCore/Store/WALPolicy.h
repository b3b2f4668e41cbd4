#pragma once

#include <chrono>
#include <random>

struct sqlite3;

// How one connection shares the write-ahead log with other writers: how it
// waits for a lock another connection holds, and how it keeps the log from
// growing. Both are SQLite callbacks on the connection, so the policy must
// live exactly as long as the connection it was installed on. Not
// thread-safe, like the connection.
namespace taskory {

class WALPolicy {
public:
  explicit WALPolicy(sqlite3 *db);
  WALPolicy(const WALPolicy &) = delete;
  WALPolicy &operator=(const WALPolicy &) = delete;

  // How long a statement waits for a lock that another connection holds
  // before it fails as busy; 0 fails at once. The wait retries after short
  // jittered sleeps, so that a program committing back to back, which takes
  // the lock again within microseconds of releasing it, cannot starve us.
  void setBusyTimeout(int milliseconds);
  int busyTimeout() const { return busyTimeout_; }
  // Keeps the write-ahead log small: after a commit of this connection that
  // leaves more than `frames` frames in the log, the log is copied into the
  // database and, when nothing pins it any longer, started over, so that it
  // stays near `frames` pages; a file that grew larger (a reader pinned it)
  // is cut to twice that when the log starts over (journal_size_limit).
  // Checkpoint failures are left to the next commit; they never fail one.
  // Returns SQLite's result code.
  int keepWALSmall(int frames);

private:
  static int busy(void *self, int attempt);
  static int walCommitted(void *self, sqlite3 *, const char *schema,
                          int frames);
  bool waitWhileBusy(int attempt);
  void checkpointAfterCommit(const char *schema, int frames) noexcept;

  sqlite3 *const db_;
  int busyTimeout_ = 0;
  // The limit of the current wait: busyTimeout_, or shorter for a wait that
  // must not hold up the call (the checkpoint after a commit).
  int busyLimit_ = 0;
  std::chrono::steady_clock::time_point busySince_;
  std::minstd_rand jitter_;
  int walCheckpointFrames_ = 0;
};

} // namespace taskory
