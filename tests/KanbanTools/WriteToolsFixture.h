#pragma once

// A file store in a temporary data home, driven through KanbanTools::call
// (which saves only on success), with raw SQL to look at what was stored.

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardActions.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace taskory::test {

class WriteToolsTest : public ::testing::Test {
protected:
  // 2025-03-12 10:00:00 UTC, a Wednesday (11:00 in Berlin).
  static constexpr Date kNow = 1741773600.0;

  void SetUp() override {
    char pattern[] = "/tmp/taskory-write-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    KanbanStore::setUsesGroupContainerPath(true);
    container_ = KanbanStore::makeContainer(dir_ / "Taskory.store");
  }

  void TearDown() override {
    container_.reset();
    std::filesystem::remove_all(dir_);
  }

  struct Outcome {
    bool ok = false;
    std::string text; // the answer, or the ToolError's message
  };

  Outcome run(std::string_view tool, const nlohmann::json &args) {
    ModelContext context(*container_, "mcp");
    KanbanTools tools(context, kNow, calendar_);
    try {
      return {true, tools.call(tool, args)};
    } catch (const ToolError &error) {
      return {false, error.message};
    }
  }

  // Seeds and saves through a context of its own (author "app", so the
  // history rows of the tool calls stand apart).
  void seed(const std::function<void(ModelContext &)> &build) {
    ModelContext context(*container_, "app");
    build(context);
    context.save(kNow - 3600);
  }

  // A plan made the way create_plan makes it: bucket "Zu erledigen", 25
  // labels.
  UUID addPlan(const std::string &title, double sortOrder = 1024) {
    UUID id;
    seed([&](ModelContext &c) {
      id = CardActions::createPlan(title, c, sortOrder, kNow - 7200).id;
    });
    return id;
  }

  UUID addBucket(const UUID &plan, const std::string &name, double sortOrder,
                 std::optional<std::string> color = std::nullopt) {
    UUID id;
    seed([&](ModelContext &c) {
      Bucket bucket(name, sortOrder, kNow - 7200);
      bucket.plan = plan;
      bucket.colorHex = color;
      id = c.insert(std::move(bucket)).id;
    });
    return id;
  }

  UUID addCard(const UUID &plan, const std::optional<UUID> &bucket,
               const std::string &title, double sortOrder,
               const std::function<void(Card &)> &shape = {}) {
    UUID id;
    seed([&](ModelContext &c) {
      Card card(title, sortOrder, kNow - 7200);
      card.plan = plan;
      card.bucket = bucket;
      if (shape)
        shape(card);
      id = c.insert(std::move(card)).id;
    });
    return id;
  }

  UUID addItem(const UUID &card, const std::string &title, double sortOrder,
               bool checked = false) {
    UUID id;
    seed([&](ModelContext &c) {
      ChecklistItem item(title, sortOrder, kNow - 7200);
      item.card = card;
      item.isChecked = checked;
      id = c.insert(std::move(item)).id;
    });
    return id;
  }

  UUID addGoal(const UUID &plan, const std::string &title) {
    UUID id;
    seed([&](ModelContext &c) {
      Goal goal(title, 1024, kNow - 7200);
      goal.plan = plan;
      id = c.insert(std::move(goal)).id;
    });
    return id;
  }

  // Every row of a query, each column as text ("NULL" for NULL), columns
  // joined by "|".
  std::vector<std::string> rows(const std::string &query) {
    sqlite3 *db = nullptr;
    const std::string file = (dir_ / "Taskory.store").string();
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &stmt, nullptr),
              SQLITE_OK)
        << query << ": " << sqlite3_errmsg(db);
    std::vector<std::string> out;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i)
          row += "|";
        if (sqlite3_column_type(stmt, i) == SQLITE_NULL) {
          row += "NULL";
        } else {
          const auto *text = sqlite3_column_text(stmt, i);
          row.append(reinterpret_cast<const char *>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
        }
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
  }

  std::string value(const std::string &query) {
    auto all = rows(query);
    return all.empty() ? "<no row>" : all.front();
  }

  // The whole store, history included: equal snapshots mean nothing changed.
  std::string snapshot() {
    std::string out;
    for (const char *table : {"Plan", "Bucket", "Card", "ChecklistItem",
                              "CardAttachment", "PlanLabel", "Goal", "CardGoal",
                              "CardLabel", "StoreTransaction", "StoreChange"}) {
      out += std::string("## ") + table + "\n";
      for (const auto &row :
           rows(std::string("SELECT * FROM ") + table + " ORDER BY rowid"))
        out += row + "\n";
    }
    return out;
  }

  static std::string shortOf(const UUID &id) { return id.substr(0, 8); }

  std::filesystem::path dir_;
  std::unique_ptr<ModelContainer> container_;
  Calendar calendar_{"Europe/Berlin", "de_DE"};
};

} // namespace taskory::test
