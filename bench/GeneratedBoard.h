#pragma once

// The large store the read benchmarks share: generated once per process in a
// fresh temporary directory and opened as the server opens it. benchmarkMain
// generates it before anything is timed and removes it at the end.

#include "StoreGenerator.h"

#include "KanbanCore/KanbanStore.h"

#include <filesystem>
#include <memory>

namespace taskory::bench {

// The instant the benchmarks take as now: 2025-03-12 10:00 UTC.
inline constexpr Date kBenchNow = 1741773600.0;

struct GeneratedBoard {
  std::filesystem::path directory;
  GeneratedStore store;
  std::unique_ptr<ModelContainer> container;
};

GeneratedBoard &generatedBoard();

// Google Benchmark's main, with the board generated first and removed last.
int benchmarkMain(int argc, char **argv);

} // namespace taskory::bench
