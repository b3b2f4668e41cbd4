#include "Store/ListOrderTop.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace taskory::store {
namespace {

// A text search keeps its page of cards in C++, so it must keep what
// SQLite's ORDER BY would for any value a column without affinity holds.
TEST(ListOrderTop, KeepsWhatOrderByKeepsForEveryKindOfValue) {
  // clang-format off
  const std::vector<std::string> values = {
      "NULL", "0", "-0.0", "1", "1.0", "1.5", "-2", "9007199254740993", "9007199254740992.0",
      "9223372036854775807", "9223372036854775807.0", "-9223372036854775808", "-9.3e18", "1e300",
      "''", "'a'", "'ab'", "'b'", "'9'", "x''", "x'00'", "x'0000'", "x'01'"};
  // clang-format on
  auto db = SqliteDatabase::openInMemory();
  db->exec("CREATE TABLE t (due, sortOrder)");
  std::mt19937 random(5);
  for (int i = 0; i < 400; ++i)
    db->exec("INSERT INTO t VALUES (" + values[random() % values.size()] +
             ", " + values[random() % values.size()] + ")");
  for (std::size_t limit : {1, 7, 50, 399, 400, 1000}) {
    ListOrderTop top(limit);
    {
      auto rows = db->statement("SELECT rowid, due, sortOrder FROM t");
      while (rows->step())
        top.offer(*rows, 0);
    }
    auto kept = db->statement("SELECT group_concat(value, ',') FROM (SELECT "
                              "value FROM json_each(?1) ORDER BY value)");
    kept->bindText(1, top.rowidsJSON());
    ASSERT_TRUE(kept->step());
    const std::string found(kept->bytes(0));
    auto expected = db->statement("SELECT group_concat(rowid, ',') FROM "
                                  "(SELECT rowid FROM (SELECT rowid FROM "
                                  "t ORDER BY (due IS NULL), due, sortOrder, "
                                  "rowid LIMIT ?1) ORDER BY rowid)");
    expected->bind(1, static_cast<int64_t>(limit));
    ASSERT_TRUE(expected->step());
    EXPECT_EQ(found, std::string(expected->bytes(0))) << "limit " << limit;
  }
}

} // namespace
} // namespace taskory::store
