// Read tools over a generated store of 100,000 cards in 200 plans. Each
// iteration is one tool call as the server runs it: a fresh model context
// (one transaction) and the handler; the context is
// discarded without saving, as a read-only call's would be. The store is
// generated once per run in a temporary directory and removed at the end.
#include "StoreGenerator.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/ToolHandlers.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace taskory::bench {
namespace {

constexpr Date kNow = 1741773600.0; // 2025-03-12 10:00 UTC

struct Fixture {
  std::filesystem::path directory;
  GeneratedStore store;
  std::unique_ptr<ModelContainer> container;
  Calendar calendar{"Europe/Berlin", "de_DE"};
};

Fixture &fixture() {
  static Fixture *instance = [] {
    auto *f = new Fixture;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "taskory-bench-XXXXXX")
            .string();
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    f->directory = pattern;
    const auto start = std::chrono::steady_clock::now();
    f->store = generateStore(f->directory / "Taskory.store", kNow);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    std::fprintf(stderr, "generated %zu cards in %zu plans in %.1f s\n",
                 f->store.cardIDs.size(), f->store.planTitles.size(), seconds);
    f->container = KanbanStore::makeContainer(f->store.file);
    return f;
  }();
  return *instance;
}

std::size_t resultSize(const ToolResult &result) {
  if (const auto *text = std::get_if<std::string>(&result))
    return text->size();
  return std::get<nlohmann::json>(result).size();
}

// Runs `call` once per iteration on a fresh context over the shared store;
// `argsFor(i)` gives the i-th call's arguments.
template <class ArgsFor, class Call>
void runToolCalls(benchmark::State &state, ArgsFor argsFor, Call call) {
  Fixture &f = fixture();
  std::size_t i = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const nlohmann::json args = argsFor(i++);
    ModelContext context(*f.container, "mcp");
    const ToolCall tool{context, kNow, f.calendar};
    const ToolResult result = call(tool, args);
    bytes += resultSize(result);
    benchmark::DoNotOptimize(result);
  }
  state.counters["result_bytes"] = benchmark::Counter(
      static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}

// Spread over the whole store so that no single page stays hot.
const UUID &cardAt(std::size_t i) {
  const auto &ids = fixture().store.cardIDs;
  return ids[(i * 7919) % ids.size()];
}

void BM_GetCardFullUUID(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t i) {
        return nlohmann::json{{"card_id", cardAt(i)}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::getCard(tool, args);
      });
}

void BM_GetCardShortID(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t i) {
        return nlohmann::json{{"card_id", shortID(cardAt(i))}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::getCard(tool, args);
      });
}

void BM_GetCardShortIDJSON(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t i) {
        return nlohmann::json{{"card_id", shortID(cardAt(i))},
                              {"format", "json"}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::getCard(tool, args);
      });
}

void BM_ListCardsNoArguments(benchmark::State &state) {
  runToolCalls(
      state, [](std::size_t) { return nlohmann::json::object(); },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::listCards(tool, args);
      });
}

void BM_ListCardsPlan(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t i) {
        const auto &titles = fixture().store.planTitles;
        return nlohmann::json{{"plan", titles[(i * 31) % titles.size()]}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::listCards(tool, args);
      });
}

void BM_ListCardsQuery(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t) {
        return nlohmann::json{{"query", "steuer"}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::listCards(tool, args);
      });
}

void BM_ListCardsQueryNoMatch(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t) {
        return nlohmann::json{{"query", "gibt es nicht"}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::listCards(tool, args);
      });
}

void BM_ListCardsDueWithinWeekJSON(benchmark::State &state) {
  runToolCalls(
      state,
      [](std::size_t) {
        return nlohmann::json{{"due_within_days", 7}, {"format", "json"}};
      },
      [](const ToolCall &tool, const nlohmann::json &args) {
        return handlers::listCards(tool, args);
      });
}

void BM_ListPlans(benchmark::State &state) {
  runToolCalls(
      state, [](std::size_t) { return nlohmann::json::object(); },
      [](const ToolCall &tool, const nlohmann::json &) {
        return handlers::listPlans(tool);
      });
}

BENCHMARK(BM_GetCardFullUUID)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetCardShortID)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetCardShortIDJSON)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListCardsNoArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCardsPlan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCardsQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCardsQueryNoMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListCardsDueWithinWeekJSON)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListPlans)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace taskory::bench

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  taskory::bench::fixture();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto &f = taskory::bench::fixture();
  f.container.reset();
  std::error_code ignored;
  std::filesystem::remove_all(f.directory, ignored);
  return 0;
}
