#include "KanbanCore/Store/BufferedLog.h"

#include "support/FaultInjectionVFS.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>

namespace taskory {
namespace {

using test::RawConnection;

// The buffered VFS stacked on the one that injects faults.
const char *bufferedOverFaults() {
  static const bool registered =
      store::registerBufferedLogVFS(
          "taskory-test-buffered-faults",
          sqlite3_vfs_find(test::faultInjectionVFS())) == SQLITE_OK;
  return registered ? "taskory-test-buffered-faults" : nullptr;
}

class BufferedLogTest : public ::testing::Test {
protected:
  void SetUp() override { test::logFaults().reset(); }
  void TearDown() override { test::logFaults().reset(); }

  // A connection as the store opens its own: WAL, synchronous FULL, but a
  // page cache of a few pages, so that a transaction of a few hundred
  // kilobytes spills into the log long before it commits.
  std::unique_ptr<RawConnection> connect(const char *vfs,
                                         const char *synchronous = "FULL") {
    auto connection = std::make_unique<RawConnection>(file_, vfs);
    connection->exec("PRAGMA journal_mode = WAL");
    connection->exec(std::string("PRAGMA synchronous = ") + synchronous);
    connection->exec("PRAGMA cache_size = 8");
    return connection;
  }

  std::string logBytes() const { return test::fileBytes(log_); }

  // Writes about 400 KB in a transaction that stays open, and checks that
  // its pages really left the cache for the log.
  static void spill(RawConnection &connection) {
    connection.exec("BEGIN; INSERT INTO t VALUES (randomblob(400000))");
    int spills = 0, highwater = 0;
    sqlite3_db_status(connection.handle(), SQLITE_DBSTATUS_CACHE_SPILL,
                      &spills, &highwater, 0);
    ASSERT_GT(spills, 0) << "the transaction never spilled into the log";
  }

  // Another program's view: a new connection on SQLite's default VFS.
  int64_t rowsSeenByAFreshConnection() {
    RawConnection fresh(file_);
    EXPECT_EQ(fresh.text("PRAGMA integrity_check"), "ok");
    return fresh.integer("SELECT count(*) FROM t");
  }

  test::TempDir dir_;
  std::filesystem::path file_ = dir_ / "board.db";
  std::filesystem::path log_ = dir_ / "board.db-wal";
};

TEST_F(BufferedLogTest, RolledBackSpillNeverReachesTheLogFile) {
  auto a = connect(store::bufferedLogVFS());
  a->exec("CREATE TABLE t(x); INSERT INTO t VALUES (1)");
  const std::string before = logBytes();

  spill(*a);
  a->exec("ROLLBACK");
  // A read touches the log file, which once wrote out what was gathered.
  EXPECT_EQ(a->integer("SELECT count(*) FROM t"), 1);

  const std::string after = logBytes();
  EXPECT_EQ(after.size(), before.size());
  EXPECT_TRUE(after == before) << "the log file's bytes changed";
}

TEST_F(BufferedLogTest, RolledBackSpillLeavesAnotherWritersCommitIntact) {
  struct Case {
    const char *name;
    const char *secondWriterVFS;
    bool logStartsOver; // the spill begins the log again at its start
  };
  const Case cases[] = {
      {"buffered second writer", store::bufferedLogVFS(), false},
      {"buffered second writer, log started over", store::bufferedLogVFS(),
       true},
      {"default-VFS second writer", nullptr, false},
      {"default-VFS second writer, log started over", nullptr, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(file_);
    std::filesystem::remove(log_);
    std::filesystem::remove(dir_ / "board.db-shm");
    auto a = connect(store::bufferedLogVFS());
    auto b = connect(c.secondWriterVFS);
    a->exec("CREATE TABLE t(x); INSERT INTO t VALUES (1)");
    if (c.logStartsOver)
      a->exec("PRAGMA wal_checkpoint(RESTART)");

    spill(*a);
    a->exec("ROLLBACK");
    b->exec("INSERT INTO t VALUES (2)");

    EXPECT_EQ(a->integer("SELECT count(*) FROM t"), 2);
    a->exec("INSERT INTO t VALUES (3)");
    EXPECT_EQ(rowsSeenByAFreshConnection(), 3);
  }
}

TEST_F(BufferedLogTest, CommitIsInTheLogFileBeforeOthersSeeIt) {
  // Below FULL no sync writes the gathered frames out; publishing must.
  for (const char *synchronous : {"FULL", "NORMAL", "OFF"}) {
    SCOPED_TRACE(synchronous);
    std::filesystem::remove(file_);
    std::filesystem::remove(log_);
    auto a = connect(store::bufferedLogVFS(), synchronous);
    RawConnection other(file_);
    a->exec("CREATE TABLE t(x); INSERT INTO t VALUES (1)");
    EXPECT_EQ(other.integer("SELECT count(*) FROM t"), 1);
    EXPECT_EQ(other.text("PRAGMA integrity_check"), "ok");
  }
}

TEST_F(BufferedLogTest, FailedLogWriteOrSyncLosesOnlyTheFailingTransaction) {
  struct Case {
    const char *name;
    const char *transaction;
    void (*inject)(test::LogFaults &);
  };
  const Case cases[] = {
      {"write of the commit", "INSERT INTO t VALUES (2)",
       [](test::LogFaults &f) { f.failWrites = -1; }},
      {"sync of the commit", "INSERT INTO t VALUES (2)",
       [](test::LogFaults &f) { f.failSyncs = true; }},
      // Over the VFS's buffer: the gathered pages go out while the
      // transaction still runs.
      {"write while the transaction spills",
       "INSERT INTO t VALUES (randomblob(3000000))",
       [](test::LogFaults &f) { f.failWrites = -1; }},
  };
  ASSERT_NE(bufferedOverFaults(), nullptr);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(file_);
    std::filesystem::remove(log_);
    test::logFaults().reset();
    auto a = connect(bufferedOverFaults());
    a->exec("CREATE TABLE t(x); INSERT INTO t VALUES (1)");

    c.inject(test::logFaults());
    const std::string sql = std::string("BEGIN; ") + c.transaction + "; COMMIT";
    const int rc = sqlite3_exec(a->handle(), sql.c_str(), nullptr, nullptr,
                                nullptr);
    EXPECT_EQ(rc & 0xff, SQLITE_IOERR) << sqlite3_errmsg(a->handle());
    if (a->inTransaction())
      a->exec("ROLLBACK");
    test::logFaults().reset();

    EXPECT_EQ(rowsSeenByAFreshConnection(), 1);
    a->exec("INSERT INTO t VALUES (3)");
    EXPECT_EQ(a->integer("SELECT count(*) FROM t"), 2);
    EXPECT_EQ(rowsSeenByAFreshConnection(), 2);
  }
}

} // namespace
} // namespace taskory
