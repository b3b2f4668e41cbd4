// The HTTP mode's board page over a generated store of 100,000 cards in 200
// plans of 500: one page render as a request runs it (a fresh read-only
// context, the HTML built), without the socket. Reports the page's bytes.
#include "GeneratedBoard.h"

#include "Http/BoardPage.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/Resolution.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace taskory::bench {
namespace {

constexpr Date kNow = kBenchNow;

struct Fixture {
  GeneratedBoard &board = generatedBoard();
  std::unique_ptr<ModelContainer> &container = board.container;
  Calendar calendar{"Europe/Berlin", "de_DE"};
  std::string planID = middlePlan(*container); // a plan in the middle
  static std::string middlePlan(ModelContainer &container) {
    ModelContext context(container, "mcp", ContextAccess::readOnly);
    const auto plans = resolution::fetchPlans(context);
    return plans[plans.size() / 2]->id;
  }
};

Fixture &fixture() {
  static Fixture instance;
  return instance;
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
  return taskory::bench::benchmarkMain(argc, argv);
}
