// Cost of the card-writing tools on a file store with durable commits, next
// to the cost of one bare durable SQLite commit on the same disk. Each
// benchmark reports the median (p50) and p90 of its single calls as counters.
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanTools/KanbanTools.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace taskory;
using Clock = std::chrono::steady_clock;

constexpr Date kNow = 1741773600.0;

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char pattern[] = "/tmp/taskory-bench-XXXXXX";
    if (!mkdtemp(pattern))
      throw std::runtime_error("mkdtemp");
    path = pattern;
    setenv("XDG_DATA_HOME", path.c_str(), 1);
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

void reportPercentiles(benchmark::State &state, std::vector<double> &micros) {
  if (micros.empty())
    return;
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p90_us"] = micros[micros.size() * 9 / 10];
}

template <class Body> void timed(benchmark::State &state, Body body) {
  std::vector<double> micros;
  micros.reserve(4096);
  for (auto _ : state) {
    const auto start = Clock::now();
    body();
    micros.push_back(
        std::chrono::duration<double, std::micro>(Clock::now() - start)
            .count());
  }
  reportPercentiles(state, micros);
}

struct ToolStore {
  TempDir dir;
  std::unique_ptr<ModelContainer> container;
  Calendar calendar{"Europe/Berlin", "de_DE"};

  ToolStore() {
    KanbanStore::setUsesGroupContainerPath(true);
    container = KanbanStore::makeContainer(dir.path / "Taskory.store");
    ModelContext context(*container, "app");
    CardActions::createPlan("Arbeit", context, 1024, kNow);
    context.save(kNow);
  }

  std::string call(std::string_view tool, const nlohmann::json &args) {
    ModelContext context(*container, "mcp");
    KanbanTools tools(context, kNow, calendar);
    return tools.call(tool, args);
  }
};

void BM_CreateCard(benchmark::State &state) {
  ToolStore store;
  int n = 0;
  timed(state, [&] {
    benchmark::DoNotOptimize(
        store.call("create_card", {{"title", "Karte " + std::to_string(n++)},
                                   {"due_date", "2025-03-14"},
                                   {"priority", "important"},
                                   {"labels", {"Rot"}},
                                   {"checklist", {"eins", "zwei"}}}));
  });
}

void BM_UpdateCard(benchmark::State &state) {
  ToolStore store;
  std::vector<std::string> ids;
  for (int i = 0; i < 200; ++i) {
    store.call("create_card", {{"title", "Karte " + std::to_string(i)},
                               {"checklist", {"eins", "zwei"}}});
  }
  {
    ModelContext context(*store.container, "app");
    for (Card *card : context.fetchAll<Card>())
      ids.push_back(card->id);
  }
  std::size_t n = 0;
  timed(state, [&] {
    const std::string &id = ids[n % ids.size()];
    benchmark::DoNotOptimize(store.call(
        "update_card", {{"card_id", id.substr(0, 8)},
                        {"notes", "Stand " + std::to_string(n)},
                        {"check_items", {"eins"}},
                        {"status", n % 2 ? "in_progress" : "not_started"}}));
    ++n;
  });
}

// One row inserted and committed with the settings the store uses for
// writing (WAL, synchronous FULL): the floor under any durable tool call.
void BM_BareDurableCommit(benchmark::State &state) {
  TempDir dir;
  sqlite3 *db = nullptr;
  const std::string file = (dir.path / "bare.db").string();
  sqlite3_open(file.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
               "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt *insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t (v) VALUES ('x')", -1, &insert,
                     nullptr);
  timed(state, [&] {
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_step(insert);
    sqlite3_reset(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  });
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

BENCHMARK(BM_CreateCard)->Iterations(3000)->UseRealTime();
BENCHMARK(BM_UpdateCard)->Iterations(3000)->UseRealTime();
BENCHMARK(BM_BareDurableCommit)->Iterations(3000)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
