// Feeds arbitrary JSON arguments to the tools, a few calls per input, on an
// in-memory store that is reset to the same small board before each input
// (a page copy of a board seeded once, which is much faster than seeding).
// Arguments are built from the fuzzer's bytes: keys of the tool's own schema
// (and the nested keys of recurrence and checklist changes) with values of
// every JSON type, mixed with the names, IDs, dates and words the tools
// understand, so that inputs reach deep into the handlers instead of stopping
// at "title fehlt".
//
// A handler may answer or throw ToolError. Anything else escaping a call is a
// finding: a StoreError on an in-memory store means bad input reached the
// database, and any other exception means an argument was read with the
// wrong type.

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/StoreError.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"
#include "Store/ContainerConnection.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

using nlohmann::json;
using namespace taskory;

namespace {

// 2025-03-12 10:00:00 UTC, a Wednesday.
constexpr Date kNow = 1741773600.0;

[[noreturn]] void finding(const std::string &what, const std::string &name,
                          const json &arguments) {
  std::fprintf(stderr, "finding in %s %s\n  %s\n", name.c_str(),
               arguments.dump(-1, ' ', false, json::error_handler_t::replace)
                   .substr(0, 2000)
                   .c_str(),
               what.c_str());
  std::abort();
}

const std::vector<std::string> &toolNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto &tool : KanbanTools::specs())
      out.push_back(tool.at("name").get<std::string>());
    out.emplace_back("unbekannt");
    return out;
  }();
  return names;
}

std::vector<std::string> requiredKeys(const std::string &name) {
  std::vector<std::string> keys;
  for (const auto &tool : KanbanTools::specs())
    if (tool.at("name") == name)
      for (const auto &key : tool.at("inputSchema").at("required"))
        keys.push_back(key.get<std::string>());
  return keys;
}

std::vector<std::string> schemaKeys(const std::string &name) {
  std::vector<std::string> keys;
  for (const auto &tool : KanbanTools::specs())
    if (tool.at("name") == name)
      for (const auto &[key, _] :
           tool.at("inputSchema").at("properties").items())
        keys.push_back(key);
  // Read although not listed, and the keys of nested objects.
  for (const char *extra :
       {"planned_date", "labels", "goals", "frequency", "interval",
        "days_of_week", "item_id", "item_title", "checked", "new_title"})
    keys.emplace_back(extra);
  return keys;
}

class Arguments {
public:
  Arguments(FuzzedDataProvider &data, std::vector<std::string> words)
      : data_(data), words_(std::move(words)) {}

  // Mostly well-aimed: required keys usually hold a known word (an ID, a
  // name), other keys of the schema come with values of any type, and now and
  // then a key the tool does not know.
  json object(const std::vector<std::string> &keys, int depth,
              const std::vector<std::string> &required = {}) {
    json out = json::object();
    for (const auto &key : required)
      if (data_.ConsumeIntegralInRange(0, 9) < 8)
        out[key] = word();
    const int count = data_.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < count && data_.remaining_bytes() > 0; ++i) {
      std::string key =
          data_.ConsumeIntegralInRange(0, 7) > 0
              ? keys[data_.ConsumeIntegralInRange<size_t>(0, keys.size() - 1)]
              : data_.ConsumeRandomLengthString(12);
      out[key] = data_.ConsumeIntegralInRange(0, 9) < 4
                     ? json(word())
                     : value(keys, depth + 1);
    }
    return out;
  }

private:
  json value(const std::vector<std::string> &keys, int depth) {
    switch (data_.ConsumeIntegralInRange(0, depth > 3 ? 7 : 10)) {
    case 0:
      return nullptr;
    case 1:
      return data_.ConsumeBool();
    case 2:
      return data_.ConsumeIntegral<int64_t>();
    case 3:
      return data_.ConsumeIntegralInRange<int64_t>(-3, 40);
    case 4:
      return data_.ConsumeIntegral<uint64_t>();
    case 5:
      return data_.ConsumeFloatingPoint<double>();
    case 6:
      return data_.ConsumeRandomLengthString(64);
    case 7:
      return word();
    case 8:
    case 9: {
      json array = json::array();
      const int count = data_.ConsumeIntegralInRange(0, 5);
      for (int i = 0; i < count && data_.remaining_bytes() > 0; ++i)
        array.push_back(data_.ConsumeBool() ? json(word())
                                            : value(keys, depth + 1));
      return array;
    }
    default:
      return object(keys, depth + 1);
    }
  }

  std::string word() {
    return words_[data_.ConsumeIntegralInRange<size_t>(0, words_.size() - 1)];
  }

  FuzzedDataProvider &data_;
  std::vector<std::string> words_;
};

std::string call(ModelContainer &container, Date now, const Calendar &calendar,
                 const std::string &name, const json &arguments) {
  ModelContext context(container, std::string(KanbanStore::Author::mcp));
  KanbanTools tools(context, now, calendar);
  try {
    return tools.call(name, arguments);
  } catch (const ToolError &error) {
    if (error.message.empty())
      finding("ToolError without a message", name, arguments);
    return "Fehler: " + error.message;
  } catch (const StoreError &error) {
    finding(std::string("StoreError: ") + error.what(), name, arguments);
  } catch (const std::exception &error) {
    finding(std::string("exception: ") + error.what(), name, arguments);
  }
}

// The seed board; throws when a tool it needs is not there.
void seed(ModelContainer &container, const Calendar &calendar) {
  const auto must = [&](const std::string &name, const json &arguments) {
    const std::string text = call(container, kNow, calendar, name, arguments);
    if (text.rfind("Fehler: ", 0) == 0)
      finding("seed call failed: " + text, name, arguments);
  };
  must("create_plan", {{"title", "Probe"}});
  must("create_plan", {{"title", "Claude"}});
  must("create_bucket",
       {{"plan", "Probe"}, {"name", "Heute"}, {"color_hex", "#FF8C00"}});
  must("create_bucket", {{"plan", "Claude"}, {"name", "Ideen"}});
  must(
      "create_goal",
      {{"plan", "Probe"}, {"title", "Ordnung"}, {"target_date", "2025-03-20"}});
  must("create_card", {{"title", "Einkaufen"},
                       {"plan", "Probe"},
                       {"due_date", "2025-03-14"},
                       {"checklist", {"Milch", "Brot", "a1b2c3d4"}},
                       {"labels", {"Rot"}},
                       {"goals", {"Ordnung"}},
                       {"priority", "urgent"}});
  must("create_card",
       {{"title", "Müll"},
        {"plan", "Probe"},
        {"bucket", "Heute"},
        {"due_date", "2025-03-13T07:00:00+01:00"},
        {"recurrence", {{"frequency", "weekly"}, {"days_of_week", {2, 5}}}}});
  must("create_card",
       {{"title", "Monatsende"},
        {"plan", "Claude"},
        {"due_date", "2025-01-31"},
        {"recurrence", {{"frequency", "monthly"}, {"interval", 1}}},
        {"status", "in_progress"}});
  ModelContext context(container, "app");
  for (Plan *plan : context.fetchAll<Plan>())
    if (plan->title == "Claude")
      plan->isClaudeProject = true;
  context.save(kNow);
}

std::vector<std::string> words(ModelContainer &container) {
  std::vector<std::string> out = {"Probe",
                                  "probe",
                                  "Claude",
                                  "Heute",
                                  "Zu erledigen",
                                  "Ideen",
                                  "Ordnung",
                                  "Einkaufen",
                                  "Milch",
                                  "milch",
                                  "Brot",
                                  "a1b2c3d4",
                                  "Rot",
                                  "Blau",
                                  "none",
                                  "None",
                                  "null",
                                  "",
                                  " ",
                                  "------",
                                  "１２３４５６",
                                  "ＡＢＣＤＥＦ",
                                  "2025-03-14",
                                  "2025-02-29",
                                  "2024-02-29",
                                  "2025-03-30",
                                  "2025-10-26",
                                  "2025-03-01T08:00:00Z",
                                  "2025-03-01T08:00:00+14:00",
                                  "9999-12-31",
                                  "0000-01-01",
                                  "2025-13-01",
                                  "not_started",
                                  "in_progress",
                                  "completed",
                                  "DONE",
                                  "urgent",
                                  "important",
                                  "medium",
                                  "low",
                                  "daily",
                                  "weekdays",
                                  "weekly",
                                  "monthly",
                                  "yearly",
                                  "json",
                                  "JSON",
                                  "text",
                                  "#CBEBC9",
                                  "\xff\xfe",
                                  "\xc3",
                                  "\u00e4",
                                  "a\u0308"};
  ModelContext context(container, "app");
  for (Card *card : context.fetchAll<Card>()) {
    out.push_back(card->id);
    out.push_back(card->id.substr(0, 8));
    out.push_back(card->id.substr(0, 6));
    for (ChecklistItem *item : context.checklistItems(*card)) {
      out.push_back(item->id);
      out.push_back(item->id.substr(0, 8));
    }
  }
  for (Plan *plan : context.fetchAll<Plan>())
    out.push_back(plan->id.substr(0, 8));
  for (Bucket *bucket : context.fetchAll<Bucket>())
    out.push_back(bucket->id);
  return out;
}

// The seeded board, the store the calls run on, and the words of the board.
struct Stores {
  std::unique_ptr<ModelContainer> board;
  std::unique_ptr<ModelContainer> work;
  std::vector<std::string> words;
};

Stores &stores(const Calendar &calendar) {
  static Stores s = [&] {
    Stores out{KanbanStore::makePreviewContainer(),
               KanbanStore::makePreviewContainer(),
               {}};
    seed(*out.board, calendar);
    out.words = words(*out.board);
    return out;
  }();
  return s;
}

void resetToBoard(Stores &s) {
  sqlite3 *work = handleOf(*s.work);
  sqlite3_backup *backup =
      sqlite3_backup_init(work, "main", handleOf(*s.board), "main");
  if (!backup || sqlite3_backup_step(backup, -1) != SQLITE_DONE ||
      sqlite3_backup_finish(backup) != SQLITE_OK) {
    std::fprintf(stderr, "cannot reset the store: %s\n", sqlite3_errmsg(work));
    std::abort();
  }
  // The backup replaced pages, not rows: the overview figures cannot see it.
  s.work->connection().overview->forget();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  static const Calendar calendar("Europe/Berlin", "de_DE");
  Stores &s = stores(calendar);
  resetToBoard(s);
  ModelContainer *container = s.work.get();
  Arguments arguments(data, s.words);
  // TOOL_FUZZ_VERBOSE=1 prints every call, to see what the inputs reach.
  static const bool verbose = std::getenv("TOOL_FUZZ_VERBOSE") != nullptr;

  // The clock moves over a year and a half around the seed date, through
  // weekends and both daylight-saving changes.
  const Date now =
      kNow + 3600.0 * data.ConsumeIntegralInRange(-24 * 400, 24 * 400);
  const int calls = data.ConsumeIntegralInRange(1, 4);
  for (int i = 0; i < calls && data.remaining_bytes() > 0; ++i) {
    const auto &names = toolNames();
    const std::string &name =
        names[data.ConsumeIntegralInRange<size_t>(0, names.size() - 1)];
    const json args = arguments.object(schemaKeys(name), 0, requiredKeys(name));
    const std::string text = call(*container, now, calendar, name, args);
    if (verbose)
      std::fprintf(stderr, "%s %s\n  -> %s\n", name.c_str(),
                   args.dump(-1, ' ', false, json::error_handler_t::replace)
                       .substr(0, 300)
                       .c_str(),
                   text.substr(0, 300).c_str());
    // The loop writes every answer; it must always be serialisable.
    (void)json(text).dump(-1, ' ', false, json::error_handler_t::replace);
  }
  return 0;
}
