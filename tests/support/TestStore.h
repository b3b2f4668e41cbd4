#pragma once

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "Store/ContainerConnection.h"
#include "support/Seed.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string_view>

namespace taskory::test {

// A fresh in-memory store with a fixed clock and calendar.
struct TestStore {
  // 2025-03-12 10:00:00 UTC, a Wednesday (11:00 in Berlin).
  static constexpr Date kNow = 1741773600.0;

  std::unique_ptr<ModelContainer> container =
      KanbanStore::makePreviewContainer();
  Calendar calendar{"Europe/Berlin", "de_DE"};

  std::unique_ptr<ModelContext> context() {
    return std::make_unique<ModelContext>(*container, "mcp");
  }
  // The store's own connection, as another program's SQL would use it.
  RawConnection raw() { return RawConnection(handleOf(*container)); }
};

// A store with a context and a seed of it at kNow.
class SeededTest : public ::testing::Test {
protected:
  // Drops the context, unsaved work with it, for a new one that reads the
  // store afresh; the seed writes into the new one.
  void reopen() {
    seed.reset();
    context.reset();
    context = store.context();
    seed.emplace(*context, store.calendar, TestStore::kNow);
  }

  TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  std::optional<Seed> seed{std::in_place, *context, store.calendar,
                           TestStore::kNow};
};

// Whether `text` holds `part`; a failure shows the text's start.
inline ::testing::AssertionResult contains(std::string_view text,
                                           std::string_view part) {
  if (text.find(part) != std::string_view::npos)
    return ::testing::AssertionSuccess() << "holds " << part;
  return ::testing::AssertionFailure() << "lacks " << part << " in:\n"
                                       << text.substr(0, 3000);
}

} // namespace taskory::test
