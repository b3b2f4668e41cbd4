#pragma once

#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace taskory::test {

// A fresh in-memory store with the test clock and the Berlin calendar, a
// seeder and a KanbanTools object over the same context. The handlers are
// called directly: nothing here saves.
class ReadToolsTest : public ::testing::Test {
protected:
  TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  Seed seed{*context, store.calendar, TestStore::kNow};
  KanbanTools tools{*context, TestStore::kNow, store.calendar};

  static std::string text(const ToolResult &result) {
    if (const auto *s = std::get_if<std::string>(&result))
      return *s;
    ADD_FAILURE() << "expected a text result, got JSON "
                  << std::get<nlohmann::json>(result).dump();
    return {};
  }
  static nlohmann::json json(const ToolResult &result) {
    if (const auto *j = std::get_if<nlohmann::json>(&result))
      return *j;
    ADD_FAILURE() << "expected a JSON result, got text "
                  << std::get<std::string>(result);
    return {};
  }
  // The ToolError message of `action`, or a marker when it did not throw.
  static std::string errorOf(const std::function<void()> &action) {
    try {
      action();
    } catch (const ToolError &error) {
      return error.message;
    }
    return "<no error>";
  }
};

} // namespace taskory::test
