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
std::string outcome(ModelContainer &container, const Calendar &calendar,
                    const std::string &name) {
  try {
    KanbanTools::callInOwnContext(container, calendar, name,
                                  nlohmann::json::object());
    return "answered";
  } catch (const ToolError &) {
    return "tool error";
  } catch (const StoreError &error) {
    return error.isBusy() ? "busy" : "other store error";
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
    const std::string ended = outcome(*container, calendar, name);
    if (KanbanTools::onlyReads(name))
      EXPECT_TRUE(ended == "answered" || ended == "tool error")
          << name << ": " << ended;
    else
      EXPECT_EQ(ended, "busy") << name;
  }
  other.exec("ROLLBACK");
}

} // namespace
} // namespace taskory
