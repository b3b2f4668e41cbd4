// Read tools over a generated store of 100,000 cards in 200 plans. Each
// iteration is one tool call as the server runs it: a fresh model context
// (one transaction) and the handler; the context is
// discarded without saving, as a read-only call's would be. The store is
// generated once per run in a temporary directory and removed at the end.
#include "GeneratedBoard.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/ToolHandlers.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace taskory::bench {
namespace {

constexpr Date kNow = kBenchNow;

struct Fixture {
  GeneratedBoard &board = generatedBoard();
  GeneratedStore &store = board.store;
  std::unique_ptr<ModelContainer> &container = board.container;
  Calendar calendar{"Europe/Berlin", "de_DE"};
};

Fixture &fixture() {
  static Fixture instance;
  return instance;
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
  return taskory::bench::benchmarkMain(argc, argv);
}
