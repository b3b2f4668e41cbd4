// The HTTP mode's board page over a generated store of 100,000 cards in 200
// plans of 500: one page render as a request runs it (a fresh read-only
// context, the HTML built), without the socket. Reports the page's bytes.
#include "StoreGenerator.h"

#include "Http/BoardPage.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/Resolution.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace taskory::bench {
namespace {

constexpr Date kNow = 1741773600.0; // 2025-03-12 10:00 UTC

struct Fixture {
  std::filesystem::path directory;
  GeneratedStore store;
  std::unique_ptr<ModelContainer> container;
  Calendar calendar{"Europe/Berlin", "de_DE"};
  std::string planID; // a plan in the middle of the list
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
    f->store = generateStore(f->directory / "Taskory.store", kNow);
    f->container = KanbanStore::makeContainer(f->store.file);
    ModelContext context(*f->container, "mcp", ContextAccess::readOnly);
    const auto plans = resolution::fetchPlans(context);
    f->planID = plans[plans.size() / 2]->id;
    return f;
  }();
  return *instance;
}

void renderPage(benchmark::State &state, BoardPage::Request request) {
  Fixture &f = fixture();
  if (request.view == BoardPage::View::board)
    request.planID = f.planID;
  std::size_t bytes = 0;
  for (auto _ : state) {
    ModelContext context(*f.container, "mcp", ContextAccess::readOnly);
    const std::string page =
        BoardPage::render(context, f.calendar, kNow, request, 1);
    bytes = page.size();
    benchmark::DoNotOptimize(page);
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}

void BM_BoardOpenCards(benchmark::State &state) { renderPage(state, {}); }

void BM_BoardAllCards(benchmark::State &state) {
  BoardPage::Request request;
  request.showDone = true;
  renderPage(state, request);
}

void BM_Week(benchmark::State &state) {
  BoardPage::Request request;
  request.view = BoardPage::View::week;
  renderPage(state, request);
}

void BM_Goals(benchmark::State &state) {
  BoardPage::Request request;
  request.view = BoardPage::View::goals;
  renderPage(state, request);
}

BENCHMARK(BM_BoardOpenCards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoardAllCards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Week)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Goals)->Unit(benchmark::kMillisecond);

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
