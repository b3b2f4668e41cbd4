// Power loss at any point of a session of two servers on one store loses no
// answered call and leaves nothing of an unanswered one half there: crash
// images built from a record of every write and sync must open, pass the
// integrity check, hold the state after the last answered call (or the one then
// running) and serve a server again. TASKORY_POWERLOSS_CUTS sets how many cut
// points are tried (4 images each).

#include "PowerLoss/CrashImages.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "Store/ContainerConnection.h"
#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace taskory::test {
namespace {

using nlohmann::json;

constexpr Date kNow = 1741773600.0; // Wed 2025-03-12 11:00 Berlin

// The recorder has to be SQLite's default VFS before the store first opens,
// so that the store's own VFS is registered on top of it.
Trace &recorder() {
  static Trace trace;
  static sqlite3_vfs *const vfs =
      registerRecordingVFS("taskory-test-recorder", trace);
  EXPECT_NE(vfs, nullptr);
  return trace;
}

std::size_t cutsWanted() {
  const char *text = std::getenv("TASKORY_POWERLOSS_CUTS");
  const long wanted = text ? std::strtol(text, nullptr, 10) : 0;
  return wanted > 0 ? static_cast<std::size_t>(wanted) : 60;
}

// Every row a query gives, each column as its type and bytes; nothing when the
// query fails.
std::optional<std::vector<std::string>> rowsOf(sqlite3 *db,
                                               const std::string &sql) {
  sqlite3_stmt *stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    return std::nullopt;
  std::vector<std::string> rows;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::string &row = rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const void *data = sqlite3_column_blob(stmt, i);
      row += static_cast<char>('0' + sqlite3_column_type(stmt, i));
      row.append(static_cast<const char *>(data ? data : ""),
                 static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
      row += '\x1f';
    }
  }
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE ? std::optional(rows) : std::nullopt;
}

// The store's contents as one value: every row of every table, in any order.
std::optional<std::size_t> stateOf(sqlite3 *db) {
  const auto tables = rowsOf(db, "SELECT name FROM sqlite_schema WHERE type = "
                                 "'table' AND name NOT LIKE 'sqlite_stat%'");
  std::string all;
  for (const std::string &table : tables.value_or(std::vector<std::string>{})) {
    auto rows = rowsOf(db, "SELECT * FROM \"" +
                               table.substr(1, table.size() - 2) + "\"");
    if (!rows)
      return std::nullopt;
    std::sort(rows->begin(), rows->end());
    for (const std::string &row : *rows)
      all += table + row + '\x1e';
  }
  return tables ? std::optional(std::hash<std::string>{}(all)) : std::nullopt;
}

std::string callTool(ModelContainer &container, std::string_view tool,
                     const json &arguments, Date now) {
  static const Calendar calendar("Europe/Berlin", "de_DE");
  ModelContext context(container, "mcp");
  KanbanTools tools(context, now, calendar);
  return tools.call(tool, arguments);
}

// After each answer: where the trace stood and what the store held.
struct Answer {
  std::size_t operations;
  std::size_t state;
  bool succeeded;
  std::string call;
};

struct Outcome {
  std::size_t images = 0;
  std::vector<std::string> failures;
};

class PowerLossTest : public ::testing::Test {
protected:
  void SetUp() override { recorder().watch(work_.path()); }

  // Runs the session (synchronous as given, else as the store sets it) and
  // checks crash images at cut points across it.
  Outcome sessionCutAnywhere(const char *synchronous = nullptr) {
    {
      auto a = KanbanStore::makeContainer(store_);
      auto b = KanbanStore::makeContainer(store_);
      for (ModelContainer *c : {a.get(), b.get()})
        if (synchronous)
          RawConnection(handleOf(*c))
              .exec(std::string("PRAGMA synchronous = ") + synchronous);
      // A small page cache: a transaction of a megabyte spills into the log
      // long before it ends.
      RawConnection(handleOf(*a)).exec("PRAGMA cache_size = 32");
      answers_.push_back(
          {recorder().size(), *stateOf(handleOf(*a)), true, "open"});
      runSession(*a, *b);
    }
    return checkImages();
  }

  void runSession(ModelContainer &a, ModelContainer &b) {
    Date now = kNow;
    auto call = [&](ModelContainer &server, std::string_view tool,
                    const json &arguments) {
      std::string text;
      bool succeeded = true;
      try {
        text = callTool(server, tool, arguments, now += 60);
      } catch (const ToolError &error) {
        text = error.message;
        succeeded = false;
      }
      const auto state = stateOf(handleOf(a));
      EXPECT_TRUE(state.has_value());
      answers_.push_back({recorder().size(), state.value_or(0), succeeded,
                          std::string(tool) + " " +
                              arguments.dump(-1, ' ', true).substr(0, 80)});
      return text;
    };
    auto shortID = [](const std::string &text) {
      std::smatch match;
      return std::regex_search(text, match, std::regex(R"(\(([0-9A-F]{8})\))"))
                 ? match[1].str()
                 : std::string();
    };
    const std::string big(std::size_t{1536} << 10, 'n');

    call(a, "create_plan", {{"title", "Umzug"}});
    call(b, "create_plan", {{"title", "Garten"}});
    std::vector<std::string> cards;
    for (int i = 0; i < 80; ++i) {
      ModelContainer &writer = i % 4 == 3 ? b : a;
      const std::string id =
          shortID(call(writer, "create_card",
                       {{"title", "Karte " + std::to_string(i)},
                        {"plan", i % 2 ? "Umzug" : "Garten"},
                        {"due_date", "2025-03-" + std::to_string(13 + i % 10)},
                        {"checklist", {"eins", "zwei", "drei"}}}));
      ASSERT_FALSE(id.empty()) << "create_card " << i << " failed";
      cards.push_back(id);
      if (i % 3 == 1)
        call(a, "update_card",
             {{"card_id", cards[i - 1]},
              {"notes", "Stand " + std::to_string(i)},
              {"check_items", {"eins"}}});
      if (i % 5 == 2)
        call(b, "set_checklist_item",
             {{"card_id", id}, {"item_title", "zwei"}, {"checked", true}});
      if (i % 7 == 4)
        call(a, "delete_card", {{"card_id", cards[i - 2]}});
      if (i % 10 == 9)
        call(b, "add_checklist_item", {{"card_id", id}, {"title", "vier"}});
      if (i % 20 == 19)
        call(a, "plan_week", json::object());
      if (i == 30)
        // Over a megabyte: the log is written in many frames before COMMIT.
        call(a, "create_card",
             {{"title", "groß"}, {"plan", "Umzug"}, {"notes", big}});
      if (i == 50) {
        // Fails after its pages spilled into the log; the other server
        // writes next, where the rolled-back frames were.
        const std::string failed = call(a, "create_card",
                                        {{"title", "zu groß"},
                                         {"plan", "Umzug"},
                                         {"notes", big},
                                         {"goals", {"nope"}}});
        EXPECT_FALSE(answers_.back().succeeded) << failed;
        call(b, "create_card", {{"title", "von B"}, {"plan", "Umzug"}});
      }
    }
  }

  // Around each sync and where each call was answered, evenly thinned out to
  // the number wanted.
  std::vector<std::size_t> cutPoints() const {
    const auto &operations = recorder().operations();
    std::set<std::size_t> candidates;
    for (std::size_t i = answers_.front().operations; i < operations.size();
         ++i)
      if (operations[i].type == FileOperation::Type::sync)
        candidates.insert({i, i + 1});
    for (const Answer &answer : answers_)
      candidates.insert(answer.operations);
    candidates.insert(operations.size());
    // A longer run cuts between the syncs too: each point leaves another set of
    // writes unsynced.
    if (cutsWanted() > candidates.size())
      for (std::size_t i = answers_.front().operations; i < operations.size();
           ++i)
        candidates.insert(i);
    const std::vector<std::size_t> all(candidates.begin(), candidates.end());
    const std::size_t wanted = std::min(cutsWanted(), all.size());
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < wanted; ++i)
      cuts.push_back(all[i * all.size() / wanted]);
    return cuts;
  }

  Outcome checkImages() {
    Outcome outcome;
    CrashImages images(recorder().operations());
    std::mt19937 random(20261207);
    for (std::size_t cut : cutPoints()) {
      // The last call answered before the cut, and the one then running.
      std::size_t answered = 0;
      while (answered + 1 < answers_.size() &&
             answers_[answered + 1].operations <= cut)
        ++answered;
      std::set<std::size_t> allowed{answers_[answered].state};
      if (answered + 1 < answers_.size())
        allowed.insert(answers_[answered + 1].state);
      for (const CrashImage &image : images.at(cut, random)) {
        ++outcome.images;
        if (const std::string why = check(image, allowed); !why.empty())
          outcome.failures.push_back("power lost at operation " +
                                     std::to_string(cut) + " (" +
                                     image.variant + ", after \"" +
                                     answers_[answered].call + "\"): " + why);
      }
    }
    return outcome;
  }

  // Empty when the image is sound.
  std::string check(const CrashImage &image,
                    const std::set<std::size_t> &allowed) {
    const std::filesystem::path file = images_ / "Taskory.store";
    std::filesystem::remove(images_ / "Taskory.store-shm");
    writeFile(file, image.database);
    writeFile(images_ / "Taskory.store-wal", image.log);

    // Through SQLite's own VFS, untouched by the store's code.
    sqlite3 *db = nullptr;
    std::optional<std::size_t> state;
    std::string why;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, "unix") ==
        SQLITE_OK) {
      if (rowsOf(db, "PRAGMA integrity_check") !=
          std::vector<std::string>{"3ok\x1f"})
        why = "integrity check failed";
      state = stateOf(db);
    }
    if (!state)
      why = std::string("the store does not open: ") + sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    if (why.empty() && !allowed.count(*state))
      why = "the store holds neither the last answered state nor the next";
    if (!why.empty())
      return why;
    try {
      auto container = KanbanStore::makeContainer(file);
      callTool(*container, "list_plans", json::object(), kNow);
    } catch (const std::exception &error) {
      return std::string("the server does not start on it: ") + error.what();
    }
    return {};
  }

  TempDir work_;
  TempDir imageDir_;
  std::filesystem::path store_ = work_ / "Taskory.store";
  std::filesystem::path images_ = imageDir_.path();
  std::vector<Answer> answers_;
};

TEST_F(PowerLossTest, CrashImagesHoldExactlyTheAnsweredCalls) {
  const Outcome outcome = sessionCutAnywhere();
  std::size_t checkpoints = 0;
  for (const FileOperation &operation : recorder().operations())
    checkpoints += operation.file == FileKind::database &&
                   operation.type == FileOperation::Type::sync;
  EXPECT_GE(checkpoints, 3u) << "the session passed too few checkpoints";
  EXPECT_GE(outcome.images, 4u);
  for (std::size_t i = 0;
       i < std::min<std::size_t>(outcome.failures.size(), 10); ++i)
    ADD_FAILURE() << outcome.failures[i];
  std::cout << "checked " << outcome.images << " crash images of "
            << recorder().size() << " recorded operations, "
            << outcome.failures.size() << " unsound\n";
}

TEST_F(PowerLossTest, CrashImagesCatchAStoreThatNeverSyncs) {
  const Outcome outcome = sessionCutAnywhere("OFF");
  EXPECT_GT(outcome.failures.size(), 0u)
      << "without syncs answered calls must be lost somewhere";
  std::cout << "without syncs " << outcome.failures.size() << " of "
            << outcome.images << " crash images are unsound, e.g. "
            << (outcome.failures.empty() ? "-" : outcome.failures.front())
            << "\n";
}

} // namespace
} // namespace taskory::test
