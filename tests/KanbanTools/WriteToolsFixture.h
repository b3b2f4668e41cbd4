#pragma once

// A file store in a temporary data home, driven through KanbanTools::call
// (which saves only on success), with raw SQL to look at what was stored.

#include "KanbanCore/CardActions.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace taskory::test {

using nlohmann::json;
using Strings = std::vector<std::string>;

class WriteToolsTest : public ::testing::Test {
protected:
  static constexpr Date kNow = 1741773600.0; // Wed 2025-03-12 11:00 Berlin

  void SetUp() override {
    char pattern[] = "/tmp/taskory-write-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    KanbanStore::setUsesGroupContainerPath(true);
    container_ = KanbanStore::makeContainer(dir_ / "Taskory.store");
    plan = seed([](ModelContext &c) {
      return CardActions::createPlan("Arbeit", c, 1024, kNow - 60).id;
    });
    todo = value("SELECT id FROM Bucket");
  }
  void TearDown() override {
    container_.reset();
    std::filesystem::remove_all(dir_);
  }

  struct Outcome {
    bool ok;
    std::string text; // the answer, or the ToolError's message
  };
  Outcome run(std::string_view tool, const json &args) {
    ModelContext context(*container_, "mcp");
    KanbanTools tools(context, kNow, calendar_);
    try {
      return {true, tools.call(tool, args)};
    } catch (const ToolError &error) {
      return {false, error.message};
    }
  }

  // Every case must fail with its message and leave every table, history
  // included, exactly as it was.
  void expectFailures(std::string_view tool,
                      const std::vector<std::pair<json, std::string>> &cases) {
    const std::string before = snapshot();
    for (const auto &[args, message] : cases) {
      EXPECT_EQ(run(tool, args).text, message) << args;
      EXPECT_EQ(snapshot(), before) << args;
    }
  }

  // Builds and saves through a context of its own, author "app".
  template <class Build>
  std::invoke_result_t<Build, ModelContext &> seed(Build build) {
    ModelContext context(*container_, "app");
    auto result = build(context);
    context.save(kNow - 60);
    return result;
  }
  UUID addCard(const std::string &title, double sortOrder = 1024,
               const std::function<void(Card &)> &shape = {}) {
    return seed([&](ModelContext &c) {
      Card card(title, sortOrder, kNow - 60);
      card.plan = plan;
      card.bucket = todo;
      if (shape)
        shape(card);
      return c.insert(std::move(card)).id;
    });
  }
  UUID addItem(const UUID &card, const std::string &title, double sortOrder,
               const char *id = nullptr) {
    return seed([&](ModelContext &c) {
      ChecklistItem item(title, sortOrder, kNow - 60);
      if (id)
        item.id = id;
      item.card = card;
      return c.insert(std::move(item)).id;
    });
  }

  // Each row's columns as text ("NULL" for NULL) joined by "|".
  Strings rows(const std::string &query) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2((dir_ / "Taskory.store").c_str(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    sqlite3_stmt *stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &stmt, nullptr),
              SQLITE_OK)
        << query;
    Strings out;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto *text =
            reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
        row += (i ? "|" : "") + std::string(text ? text : "NULL");
      }
      out.push_back(row);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
  }
  std::string value(const std::string &query) {
    auto all = rows(query);
    return all.empty() ? "<no row>" : all.front();
  }
  std::string snapshot() {
    std::string out;
    for (const char *table : {"Plan", "Bucket", "Card", "ChecklistItem",
                              "CardAttachment", "PlanLabel", "Goal", "CardGoal",
                              "CardLabel", "StoreTransaction", "StoreChange"})
      for (const auto &row :
           rows(std::string("SELECT * FROM ") + table + " ORDER BY rowid"))
        out += std::string(table) + ": " + row + "\n";
    return out;
  }

  static std::string shortOf(const UUID &id) { return id.substr(0, 8); }

  std::filesystem::path dir_;
  std::unique_ptr<ModelContainer> container_;
  Calendar calendar_{"Europe/Berlin", "de_DE"};
  UUID plan, todo;
};

} // namespace taskory::test
