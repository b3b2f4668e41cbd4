#include "KanbanCore/CardQuery.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/ModelContext.h"

#include "support/Seed.h"
#include "support/StoreTestSupport.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace taskory {
namespace {

constexpr Date kNow = test::TestStore::kNow;

// The archived flag and the percentage as other programs may store them:
// fractions on either side of a whole number, negative ones, text, a blob,
// numbers beyond the 64-bit range. A card matches the store's selection
// exactly when its loaded values match the same bounds.
TEST(CardQuery, OddStoredStatesSelectAsTheLoadedCardsShowThem) {
  const std::vector<std::string> stored = {
      "0",    "1",    "-1",   "0.5",   "-0.5",  "0.99",  "1.0",   "49",
      "49.9", "50",   "50.0", "99",    "99.99", "100",   "100.0", "150",
      "-3.5", "'ja'", "''",   "X'00'", "1e30",  "-1e30", "'100x'"};
  test::TestStore store;
  auto ctx = store.context();
  test::Seed seed(*ctx, store.calendar, kNow);
  Plan &plan = seed.plan("P");
  for (const std::string &archived : stored)
    for (const std::string &percent : stored)
      seed.card(&plan, archived + " " + percent);
  ctx->save(kNow);
  ctx.reset();
  {
    auto raw = store.raw();
    int64_t rowid = 1;
    for (const std::string &archived : stored)
      for (const std::string &percent : stored)
        raw.exec("UPDATE Card SET isArchived = " + archived +
                 ", percentComplete = " + percent +
                 " WHERE rowid = " + std::to_string(rowid++));
  }

  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  struct Bounds {
    bool includeArchived;
    std::optional<int64_t> min, max;
  };
  const std::vector<Bounds> cases = {
      {false, {}, 99},    {false, {}, 49}, {false, 50, 99}, {false, 100, {}},
      {true, {}, {}},     {true, 0, 0},    {true, -1, -1},  {true, -3, 1},
      {true, kMin, kMax}, {true, 1, kMax}, {true, kMin, -1}};
  ctx = store.context();
  const std::vector<Card *> all = ctx->fetchAll<Card>();
  for (const Bounds &b : cases) {
    CardQuery query;
    query.includeArchived = b.includeArchived;
    query.minPercent = b.min;
    query.maxPercent = b.max;
    std::vector<std::string> expected, found;
    for (const Card *card : all)
      if ((b.includeArchived || !card->isArchived) &&
          (!b.min || card->percentComplete >= *b.min) &&
          (!b.max || card->percentComplete <= *b.max))
        expected.push_back(card->title);
    std::sort(expected.begin(), expected.end());
    for (const Card *card : BoardQueries(*ctx).queryCards(query, all.size()))
      found.push_back(card->title);
    std::sort(found.begin(), found.end());
    const std::string name = std::string(b.includeArchived ? "all" : "active") +
                             " " + (b.min ? std::to_string(*b.min) : "-") +
                             ".." + (b.max ? std::to_string(*b.max) : "-");
    EXPECT_EQ(found, expected) << name;
    // A page of one is counted by a second statement.
    int64_t matched = -1;
    BoardQueries(*ctx).queryCards(query, 1, &matched);
    EXPECT_EQ(matched, static_cast<int64_t>(expected.size())) << name;
  }
}

} // namespace
} // namespace taskory
