#include "GeneratedBoard.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

namespace taskory::bench {

GeneratedBoard &generatedBoard() {
  static GeneratedBoard *const board = [] {
    auto *made = new GeneratedBoard;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "taskory-bench-XXXXXX")
            .string();
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    made->directory = pattern;
    const auto start = std::chrono::steady_clock::now();
    made->store = generateStore(made->directory / "Taskory.store", kBenchNow);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    std::fprintf(stderr, "generated %zu cards in %zu plans in %.1f s\n",
                 made->store.cardIDs.size(), made->store.planTitles.size(),
                 seconds);
    made->container = KanbanStore::makeContainer(made->store.file);
    return made;
  }();
  return *board;
}

int benchmarkMain(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  generatedBoard();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  GeneratedBoard &board = generatedBoard();
  board.container.reset();
  std::error_code ignored;
  std::filesystem::remove_all(board.directory, ignored);
  return 0;
}

} // namespace taskory::bench
