#pragma once

// One file store under temporary XDG homes, seeded through a context of its
// own (author "app"); call() saves it and runs a tool as the server does.

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "support/Seed.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace taskory::test {

using nlohmann::json;
using namespace nlohmann::literals;
using Strings = std::vector<std::string>;

// The message of the ToolError the action throws.
template <typename Action> std::string errorOf(Action action) {
  try {
    action();
  } catch (const ToolError &error) {
    return error.message;
  }
  return "<no error>";
}

class ToolsTest : public ::testing::Test {
protected:
  static constexpr Date kNow = 1741773600.0; // Wed 2025-03-12 11:00 Berlin

  void SetUp() override {
    KanbanStore::setUsesGroupContainerPath(true);
    container = KanbanStore::makeContainer(home / "Taskory.store");
  }
  void TearDown() override { KanbanStore::setUsesGroupContainerPath(false); }

  ModelContext &context() {
    if (!context_)
      context_ = std::make_unique<ModelContext>(*container, "app");
    return *context_;
  }
  Seed &seed() {
    if (!seed_)
      seed_ = std::make_unique<Seed>(context(), calendar, kNow);
    return *seed_;
  }
  Date local(int y, int mo, int d, int h = 0, int mi = 0) {
    return seed().local(y, mo, d, h, mi);
  }

  // Saves the seeding (references from seed() end here); a ToolError comes
  // back as "Fehler: " and its message.
  std::string call(std::string_view name, const json &args = json::object(),
                   Date now = kNow) {
    if (context_)
      context_->save(kNow - 60);
    seed_.reset();
    context_.reset();
    ModelContext context(*container, "mcp");
    KanbanTools tools(context, now, calendar);
    try {
      return tools.call(name, args);
    } catch (const ToolError &error) {
      return "Fehler: " + error.message;
    }
  }

  // Rows of "arguments as JSON | text", one a line; other lines are skipped.
  static std::vector<std::pair<json, std::string>> table(const char *text) {
    std::vector<std::pair<json, std::string>> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      if (const auto bar = line.find(" | "); bar != std::string::npos)
        out.emplace_back(json::parse(line.substr(0, bar)),
                         line.substr(bar + 3));
    return out;
  }

  // Every call fails with its message and leaves every table as it was.
  void expectFailures(std::string_view tool,
                      const std::vector<std::pair<json, std::string>> &cases) {
    call("list_plans"); // flush the seeding first
    const std::string before = snapshot();
    for (const auto &[args, message] : cases) {
      EXPECT_EQ(call(tool, args), "Fehler: " + message) << args;
      EXPECT_EQ(snapshot(), before) << args;
    }
  }

  // Each row's columns as text ("NULL" for NULL) joined by "|".
  Strings rows(const std::string &query) {
    Strings out;
    const auto add = [](void *out, int n, char **values, char **) {
      std::string row;
      for (int i = 0; i < n; ++i)
        row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
      static_cast<Strings *>(out)->push_back(row);
      return 0;
    };
    RawConnection db(home / "Taskory.store");
    EXPECT_EQ(sqlite3_exec(db.handle(), query.c_str(), add, &out, nullptr),
              SQLITE_OK)
        << query;
    return out;
  }
  std::string value(const std::string &query) {
    const Strings all = rows(query);
    return all.empty() ? "<no row>" : all.front();
  }
  std::string snapshot() {
    std::string out;
    for (const auto &table : rows("SELECT name FROM sqlite_master WHERE "
                                  "type = 'table' ORDER BY name"))
      for (const auto &row : rows("SELECT * FROM " + table))
        out += table + ": " + row + "\n";
    return out;
  }

  TempDir home;
  ScopedEnv dataHome{"XDG_DATA_HOME", home.path().c_str()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", home.path().c_str()};
  Calendar calendar{"Europe/Berlin", "de_DE"};
  std::unique_ptr<ModelContainer> container;

private:
  std::unique_ptr<ModelContext> context_;
  std::unique_ptr<Seed> seed_;
};

} // namespace taskory::test
