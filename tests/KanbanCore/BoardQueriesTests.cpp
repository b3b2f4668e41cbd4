#include "KanbanCore/BoardQueries.h"

#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace taskory {
namespace {

using namespace std::string_literals;
constexpr Date kNow = test::TestStore::kNow;
using BoardQueriesTest = test::SeededTest;

// Other programs may leave sort orders that are not numbers; they count as 0,
// as they read, whichever end of the index they sort to.
TEST_F(BoardQueriesTest, HighestCardSortOrderOfAPlanReadsOddValuesAsZero) {
  Plan &plan = seed->plan("Haus");
  seed->card(seed->bucket(plan, "Todo"), "Fenster putzen");
  seed->card(seed->bucket(plan, "Erledigt"), "Keller");
  auto highest = [&](const char *a, const char *b) {
    store.raw().exec("UPDATE Card SET sortOrder = iif(rowid = 1, "s + a + ", " +
                     b + ")");
    return BoardQueries(*context).maxCardSortOrder(plan);
  };
  EXPECT_EQ(highest("-5", "-7"), -5);
  EXPECT_EQ(highest("-5", "'abc'"), 0);
  EXPECT_EQ(highest("7", "'abc'"), 7);
  EXPECT_EQ(highest("-5", "x'00'"), 0);
  EXPECT_EQ(BoardQueries(*context).maxCardSortOrder(seed->plan("Leer")),
            std::nullopt);
}

TEST_F(BoardQueriesTest, ACardsHistoryNamesWhoChangedItNewestFirst) {
  const std::string id = seed->card(nullptr, "Fenster").id;
  context->save(kNow);
  seed.reset();
  context.reset();
  {
    ModelContext page(*store.container, "app");
    page.card(id)->title = "Fenster putzen";
    page.save(kNow + 60);
  }
  reopen();
  const auto history = BoardQueries(*context).cardHistory(id, 10);
  std::vector<std::tuple<std::string, Date, std::string>> seen;
  for (const auto &entry : history)
    seen.emplace_back(entry.author, entry.timestamp, entry.kind);
  EXPECT_EQ(seen, (std::vector<std::tuple<std::string, Date, std::string>>{
                      {"app", kNow + 60, "update"}, {"mcp", kNow, "insert"}}));
  EXPECT_EQ(BoardQueries(*context).cardHistory(id, 1).size(), 1u);
}

// A text test that throws (out of memory in ICU, say) ends its query with
// that very exception, and the connection answers the next query.
TEST_F(BoardQueriesTest, ATextTestThatThrowsEndsOnlyItsOwnQuery) {
  seed->card(nullptr, "eins");
  seed->card(nullptr, "zwei");
  struct Thrown {};
  CardQuery throwing;
  throwing.textMatches = [](std::string_view, std::string_view) -> bool {
    throw Thrown{};
  };
  EXPECT_THROW(BoardQueries(*context).queryCards(throwing, 10), Thrown);
  CardQuery all;
  EXPECT_EQ(BoardQueries(*context).queryCards(all, 10).size(), 2u);
}

// Archived flags and percentages as other programs may leave them: a card
// matches exactly when its loaded values match the same bounds.
TEST_F(BoardQueriesTest, QueryCardsMatchesABruteForceReference) {
  Plan &a = seed->plan("A"), &b = seed->plan("B");
  Bucket *buckets[] = {&seed->bucket(a, "1"), &seed->bucket(a, "2"),
                       &seed->bucket(b, "3")};
  std::mt19937 random(7);
  for (int i = 0; i < 69; ++i) {
    Card &card =
        seed->card(*buckets[random() % 3], "Karte " + std::to_string(i));
    card.sortOrder = static_cast<double>(random() % 3) * 1024; // many ties
    if (random() % 3)
      card.dueDate = kNow + static_cast<double>(random() % 4) * 86400;
    card.isOnMyDay = random() % 4 == 0;
  }
  context->save(kNow);
  const UUID planB = b.id, bucket2 = buckets[1]->id, bucket3 = buckets[2]->id;
  const std::string stored[] = {
      "0",    "1",    "-1",   "0.5",   "-0.5",  "0.99",  "1.0",   "49",
      "49.9", "50",   "50.0", "99",    "99.99", "100",   "100.0", "150",
      "-3.5", "'ja'", "''",   "X'00'", "1e30",  "-1e30", "'100x'"};
  for (int row = 1; row <= 69; ++row)
    store.raw().exec("UPDATE Card SET isArchived = " + stored[row % 23] +
                     ", percentComplete = " + stored[row * 5 % 23] +
                     " WHERE rowid = " + std::to_string(row));
  reopen();
  std::vector<Card *> reference = context->fetchAll<Card>();
  std::sort(reference.begin(), reference.end(), [](Card *x, Card *y) {
    return std::stoi(x->title.substr(6)) < std::stoi(y->title.substr(6));
  });
  std::stable_sort(
      reference.begin(), reference.end(), [](const Card *x, const Card *y) {
        return std::tuple(!x->dueDate, x->dueDate.value_or(0), x->sortOrder) <
               std::tuple(!y->dueDate, y->dueDate.value_or(0), y->sortOrder);
      });
  std::vector<CardQuery> queries(3);
  queries[1].bucketIDs = std::vector<UUID>{bucket2, bucket3};
  queries[1].includeArchived = true;
  queries[1].maxPercent = 99;
  queries[2].planID = planB;
  queries[2].dueAtOrBefore = kNow + 86400;
  queries[2].textMatches = [](std::string_view title, std::string_view) {
    return title.back() != '7';
  };
  queries.emplace_back().bucketIDs = std::vector<UUID>{};
  queries.emplace_back().onlyOnMyDay = true;
  queries.back().maxPercent = 99;
  queries.emplace_back().textMatches = [](std::string_view title,
                                          std::string_view) {
    return title.back() < '5';
  };
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const std::tuple<bool, std::optional<int64_t>, std::optional<int64_t>>
      bounds[] = {{false, {}, 49},    {false, 50, 99}, {false, 100, {}},
                  {true, 0, 0},       {true, -1, -1},  {true, -3, 1},
                  {true, kMin, kMax}, {true, 1, kMax}, {true, kMin, -1}};
  for (const auto &[archived, min, max] : bounds) {
    CardQuery &q = queries.emplace_back();
    q.includeArchived = archived;
    q.minPercent = min;
    q.maxPercent = max;
  }
  for (std::size_t n = 0; n < queries.size(); ++n) {
    const CardQuery &q = queries[n];
    std::vector<std::string> expected, found;
    for (const Card *c : reference)
      if ((!q.planID || c->plan == q.planID) &&
          (!q.bucketIDs || std::count(q.bucketIDs->begin(), q.bucketIDs->end(),
                                      c->bucket.value_or(""))) &&
          (q.includeArchived || !c->isArchived) &&
          (!q.minPercent || c->percentComplete >= *q.minPercent) &&
          (!q.maxPercent || c->percentComplete <= *q.maxPercent) &&
          (!q.dueAtOrBefore ||
           (c->dueDate && *c->dueDate <= *q.dueAtOrBefore)) &&
          (!q.onlyOnMyDay || c->isOnMyDay) &&
          (!q.textMatches || q.textMatches(c->title, c->notes)))
        expected.push_back(c->id);
    for (Card *card : BoardQueries(*context).queryCards(q, 1000))
      found.push_back(card->id);
    EXPECT_EQ(found, expected) << "query " << n;
    // A cut list is the head of the whole one, with the whole count.
    int64_t matched = -1;
    std::vector<std::string> head;
    for (Card *card : BoardQueries(*context).queryCards(q, 5, &matched))
      head.push_back(card->id);
    expected.resize(std::min<std::size_t>(expected.size(), 5));
    EXPECT_EQ(head, expected) << "query " << n;
    EXPECT_EQ(matched, static_cast<int64_t>(found.size())) << n;
  }
}

// The counts and the planned-date range answered by SQL agree with what the
// loaded entities show, also for values another program stored in odd types.
// The overviews read plans, buckets and goal titles as light rows; each
// field must read as the loaded entity reads it, odd stored values included.
TEST_F(BoardQueriesTest, OverviewRowsReadAsTheLoadedEntities) {
  Plan &a = seed->plan("A"), &b = seed->plan("B");
  for (const char *name : {"1", "2", "3"})
    seed->bucket(a, name, "#00FF00");
  seed->bucket(b, "4");
  seed->goal(a, "x");
  seed->goal(b, "y").notes = "lang";
  seed->goal(b, "ohne Plan");
  seed->goal(a, "ohne Text-ID");
  context->save(kNow);
  store.raw().exec(
      "UPDATE Plan SET sortOrder = 'x', title = CAST('A' AS BLOB) "
      "WHERE title = 'A';"
      "UPDATE Bucket SET sortOrder = 'x' WHERE name = '1';"
      "UPDATE Bucket SET sortOrder = 2.5, colorHex = x'41' WHERE name = '2';"
      "UPDATE Bucket SET colorHex = NULL, sortOrder = -1 WHERE name = '3';"
      "UPDATE Goal SET plan = NULL WHERE title = 'ohne Plan';"
      "UPDATE Goal SET id = x'05' WHERE title = 'ohne Text-ID';"
      "UPDATE Goal SET title = 7 WHERE title = 'y';");
  reopen();
  BoardQueries queries(*context);

  using Heading = std::tuple<std::string, std::string, double>;
  std::vector<Heading> headings, loadedPlans;
  for (const auto &h : *queries.planHeadings())
    headings.emplace_back(h.id, h.title, h.sortOrder);
  for (const Plan *plan : context->fetchAll<Plan>())
    loadedPlans.emplace_back(plan->id, plan->title, plan->sortOrder);
  EXPECT_EQ(headings, loadedPlans);

  using Line = std::tuple<std::string, std::string, std::string,
                          std::optional<std::string>, double>;
  std::vector<Line> lines, loadedBuckets;
  for (const auto &l : queries.planBucketLines())
    lines.emplace_back(l.id, l.plan, l.name, l.colorHex, l.sortOrder);
  for (const Bucket *bucket : context->fetchAll<Bucket>())
    loadedBuckets.emplace_back(bucket->id, *bucket->plan, bucket->name,
                               bucket->colorHex, bucket->sortOrder);
  EXPECT_EQ(lines, loadedBuckets);

  std::vector<std::pair<std::string, std::string>> titles, loadedGoals;
  for (const auto &t : queries.planGoalTitles())
    titles.emplace_back(t.plan, t.title);
  for (const Goal *goal : context->fetchAll<Goal>())
    if (goal->plan)
      loadedGoals.emplace_back(*goal->plan, goal->title);
  EXPECT_EQ(titles, loadedGoals);
  EXPECT_EQ(titles.size(), 2u);

  std::vector<Goal> copies = queries.planGoalCopies(), loadedWithPlan;
  for (const Goal *goal : context->fetchAll<Goal>())
    if (goal->plan)
      loadedWithPlan.push_back(*goal);
  EXPECT_EQ(copies, loadedWithPlan);
}

TEST_F(BoardQueriesTest, FiguresAgreeWithTheLoadedEntities) {
  std::vector<Plan *> plans{&seed->plan("A"), &seed->plan("B")};
  std::vector<Bucket *> buckets{&seed->bucket(*plans[0], "1"),
                                &seed->bucket(*plans[0], "2"),
                                &seed->bucket(*plans[1], "3")};
  std::vector<Goal *> goals{&seed->goal(*plans[0], "x"),
                            &seed->goal(*plans[1], "y")};
  std::mt19937 random(11);
  for (int i = 0; i < 80; ++i) {
    Card &card = i % 9 == 0 ? seed->card(plans[1], "ohne Bucket")
                            : seed->card(*buckets[random() % 3], "Karte");
    card.percentComplete = std::vector<int64_t>{0, 99, 100, 150}[random() % 4];
    card.isArchived = random() % 5 == 0;
    if (random() % 3 == 0)
      card.plannedDate = kNow + (static_cast<double>(random() % 5) - 2) * 86400;
    if (random() % 3 == 0)
      seed->tag(card, *goals[random() % 2]);
  }
  context->save(kNow);
  auto ids = [](const auto &entities) {
    std::vector<std::string> result;
    for (const auto *entity : entities)
      result.push_back(entity->id);
    return result;
  };
  const auto planIDs = ids(plans), bucketIDs = ids(buckets),
             goalIDs = ids(goals);
  // Odd stored types read as the field's initial value or truncated.
  store.raw().exec(
      "UPDATE Card SET isArchived = 'ja' WHERE rowid % 11 = 0;"
      "UPDATE Card SET percentComplete = 100.7 WHERE rowid % 13 = 0;"
      "UPDATE Card SET plannedDate = 'morgen' WHERE rowid % 17 = 0;");
  reopen();
  BoardQueries queries(*context);

  const auto board = queries.boardCounts();
  auto expect =
      [](const std::vector<Card *> &active,
         std::unordered_map<std::string, BoardQueries::CardCounts> figures,
         const std::string &id) {
        const auto done =
            std::count_if(active.begin(), active.end(),
                          [](auto *c) { return c->percentComplete >= 100; });
        EXPECT_EQ(figures[id].active, static_cast<int64_t>(active.size()))
            << id;
        EXPECT_EQ(figures[id].completed, done) << id;
      };
  auto active = [](std::vector<Card *> cards) {
    std::erase_if(cards, [](auto *c) { return c->isArchived; });
    return cards;
  };
  for (const std::string &id : planIDs)
    expect(active(context->cards(*context->plan(id))), board.byPlan, id);
  for (const std::string &id : bucketIDs) {
    Bucket &bucket = *context->bucket(id);
    expect(active(context->cards(bucket)), board.byBucket, id);
    const auto all = context->cards(bucket);
    EXPECT_EQ(queries.hasOpenCard(bucket),
              std::any_of(all.begin(), all.end(),
                          [](auto *c) {
                            return !c->isArchived && c->percentComplete < 100;
                          }))
        << id;
  }
  const auto goalFigures = queries.goalCardCounts();
  for (const std::string &id : goalIDs)
    expect(active(context->cards(*context->goal(id))), goalFigures, id);

  std::vector<Card *> planned;
  for (Card *card : context->fetchAll<Card>())
    if (!card->isArchived && card->percentComplete < 100 && card->plannedDate &&
        *card->plannedDate >= kNow)
      planned.push_back(card);
  std::stable_sort(planned.begin(), planned.end(), [](auto *a, auto *b) {
    return *a->plannedDate < *b->plannedDate;
  });
  EXPECT_FALSE(planned.empty());
  EXPECT_EQ(queries.openCardsPlannedFrom(kNow), planned);
}

// The headings are kept with the connection and must follow every change of
// a plan row: this connection's own (saved, flushed and rolled back, or
// written by plain SQL) and another program's commit. A caller's copy stays
// what it was.
TEST(PlanHeadings, FollowEveryChangeToAPlanRow) {
  test::TempDir dir;
  const auto file = dir / "Taskory.store";
  auto kept = KanbanStore::makeContainer(file);
  Calendar calendar{"Europe/Berlin", "de_DE"};
  {
    ModelContext context(*kept, "mcp");
    test::Seed seed(context, calendar, kNow);
    seed.plan("A");
    seed.plan("B");
    context.save(kNow);
  }
  test::RawConnection other(file), own(handleOf(*kept));
  const auto titlesIn = [](ModelContext &context) {
    std::string out;
    for (const auto &heading : *BoardQueries(context).planHeadings())
      out += heading.title + ",";
    return out;
  };
  const auto titles = [&] {
    ModelContext context(*kept, "mcp");
    return titlesIn(context);
  };
  ASSERT_EQ(titles(), "A,B,");
  {
    ModelContext context(*kept, "mcp");
    BoardQueries queries(context);
    EXPECT_EQ(queries.planHeadings(), queries.planHeadings())
        << "read again without a change";
  }
  const auto planTitled = [](ModelContext &context, const std::string &title) {
    for (Plan *plan : context.fetchAll<Plan>())
      if (plan->title == title)
        return plan;
    return static_cast<Plan *>(nullptr);
  };
  const auto held = [&] {
    ModelContext context(*kept, "mcp");
    return BoardQueries(context).planHeadings();
  }();

  const struct {
    const char *change;
    std::function<void()> make;
    const char *titles;
  } steps[] = {
      {"another program renames a plan",
       [&] { other.exec("UPDATE Plan SET title = 'A2' WHERE title = 'A'"); },
       "A2,B,"},
      {"another program deletes a plan",
       [&] { other.exec("DELETE FROM Plan WHERE title = 'B'"); }, "A2,"},
      {"a saved rename",
       [&] {
         ModelContext context(*kept, "mcp");
         planTitled(context, "A2")->title = "A3";
         context.save(kNow);
       },
       "A3,"},
      {"an unsaved rename, seen by its own context and then rolled back",
       [&] {
         ModelContext context(*kept, "mcp");
         planTitled(context, "A3")->title = "X";
         EXPECT_EQ(titlesIn(context), "X,");
       },
       "A3,"},
      {"a saved new plan",
       [&] {
         ModelContext context(*kept, "mcp");
         test::Seed(context, calendar, kNow).plan("C");
         context.save(kNow);
       },
       "A3,C,"},
      {"a saved deletion",
       [&] {
         ModelContext context(*kept, "mcp");
         context.remove(*planTitled(context, "A3"));
         context.save(kNow);
       },
       "C,"},
      {"plain SQL on the server's own connection",
       [&] { own.exec("UPDATE Plan SET title = 'C2'"); }, "C2,"},
  };
  for (const auto &step : steps) {
    step.make();
    EXPECT_EQ(titles(), step.titles) << step.change;
  }
  ASSERT_TRUE(held);
  EXPECT_EQ(held->size(), 2u) << "a caller's copy changed under it";
  EXPECT_EQ(held->front().title, "A");
}

} // namespace
} // namespace taskory
