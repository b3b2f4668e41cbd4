#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/StoreError.h"
#include "KanbanTools/ToolError.h"
#include "Store/ContainerConnection.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace taskory {
namespace {

// How a tool call ended while another program held the write lock.
enum class Outcome { answered, toolError, busy, otherStoreError };

std::ostream &operator<<(std::ostream &out, Outcome outcome) {
  constexpr const char *kNames[] = {"answered", "tool error", "busy", "other store error"};
  return out << kNames[static_cast<int>(outcome)];
}

Outcome run(ModelContainer &container, const Calendar &calendar, const std::string &name) {
  try {
    KanbanTools::callInOwnContext(container, calendar, name, nlohmann::json::object());
    return Outcome::answered;
  } catch (const ToolError &) {
    return Outcome::toolError;
  } catch (const StoreError &error) {
    return error.isBusy() ? Outcome::busy : Outcome::otherStoreError;
  }
}

// Run as both transports run them while another connection holds the write
// lock: a tool that may write fails as busy before reading its arguments.
TEST(KanbanToolsDispatch, OnlyTheReadingToolsRunWithoutTheWriteLock) {
  test::TempDir dir;
  auto container = KanbanStore::makeContainer(dir / "Taskory.store");
  test::RawConnection(handleOf(*container)).exec("PRAGMA busy_timeout = 50");
  test::RawConnection other(dir / "Taskory.store");
  other.exec("BEGIN IMMEDIATE");
  const Calendar calendar{"Europe/Berlin", "de_DE"};

  for (const auto &tool : KanbanTools::specs()) {
    const std::string name = tool.at("name");
    const bool reads = KanbanTools::onlyReads(name);
    const Outcome outcome = run(*container, calendar, name);
    if (reads)
      EXPECT_TRUE(outcome == Outcome::answered || outcome == Outcome::toolError)
          << name << ": " << outcome;
    else
      EXPECT_EQ(outcome, Outcome::busy) << name;
  }
  other.exec("ROLLBACK");
}

} // namespace
} // namespace taskory
