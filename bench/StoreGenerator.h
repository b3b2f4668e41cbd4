#pragma once

#include "KanbanCore/Types.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace taskory::bench {

struct GeneratedStore {
  std::filesystem::path file;
  std::vector<UUID> cardIDs;
  std::vector<std::string> planTitles;
};

struct StoreShape {
  std::size_t plans = 200;
  std::size_t cardsPerPlan = 500;
  std::size_t bucketsPerPlan = 5;
};

// Writes a store at `file` (created with the store's own schema, then filled
// with SQL in one transaction, the way another program would) in the shape
// of bench/stdio_bench.mjs: plans with 25 labels and 3 goals with long notes
// each, buckets, and the cards of all plans interleaved, with German titles
// and notes of 0 to 40 words (a third of the nouns with an umlaut or ß), a
// mix of due dates, progress, archived cards, checklists, labels and
// recurrence rules, and goal links in one plan of ten. Deterministic apart
// from the random ids.
GeneratedStore generateStore(const std::filesystem::path &file, Date now,
                             StoreShape shape = {});

} // namespace taskory::bench
