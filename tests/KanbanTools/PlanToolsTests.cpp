#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanTools/ToolError.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;

class PlanToolsTest : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();
  KanbanTools tools{*context, test::TestStore::kNow, store.calendar};

  template <typename Handler> std::string reply(Handler handler) {
    try {
      return std::get<std::string>(handler());
    } catch (const ToolError &error) {
      return "Fehler: " + error.message;
    }
  }
  std::string createPlan(const json &args) {
    return reply([&] { return tools.createPlan(args); });
  }
  std::string createBucket(const json &args) {
    return reply([&] { return tools.createBucket(args); });
  }
  std::string updateBucket(const json &args) {
    return reply([&] { return tools.updateBucket(args); });
  }
  Plan &onlyPlan(const std::string &title) {
    for (Plan *plan : context->fetchPlans())
      if (plan->title == title)
        return *plan;
    throw std::runtime_error("no plan " + title);
  }
  std::vector<Bucket *> buckets(const std::string &planTitle) {
    return context->sortedBuckets(onlyPlan(planTitle));
  }
};

TEST_F(PlanToolsTest, CreatePlanNeedsANonEmptyTitleString) {
  for (const json &args :
       {json::object(), json{{"title", ""}}, json{{"title", 42}},
        json{{"title", nullptr}}, json{{"titel", "Haus"}}})
    EXPECT_EQ(createPlan(args), "Fehler: title fehlt") << args;
  EXPECT_TRUE(context->fetchPlans().empty());

  // A blank is a title like any other.
  const std::string answer = createPlan({{"title", " "}});
  EXPECT_EQ(answer.rfind("Angelegt: Plan „ “ (", 0), 0u) << answer;
}

TEST_F(PlanToolsTest, CreatePlanAppendsAfterTheHighestSortOrder) {
  const std::string first = createPlan({{"title", "Haus"}});
  Plan &haus = onlyPlan("Haus");
  EXPECT_EQ(first, "Angelegt: Plan „Haus“ (" + haus.id.substr(0, 8) + ")");
  EXPECT_EQ(haus.sortOrder, 1024);
  createPlan({{"title", "Garten"}});
  EXPECT_EQ(onlyPlan("Garten").sortOrder, 2048);

  haus.sortOrder = 5000;
  createPlan({{"title", "Büro"}});
  EXPECT_EQ(onlyPlan("Büro").sortOrder, 6024);
}

TEST_F(PlanToolsTest, CreateBucketChecksNameBeforePlan) {
  createPlan({{"title", "Haus"}});
  createPlan({{"title", "Garten"}});
  EXPECT_EQ(createBucket(json::object()), "Fehler: name fehlt");
  EXPECT_EQ(createBucket({{"name", ""}, {"plan", "Nirgends"}}),
            "Fehler: name fehlt");
  EXPECT_EQ(createBucket({{"name", "Doing"}}),
            "Fehler: Plan „“ nicht gefunden. Vorhanden: Haus, Garten");
  EXPECT_EQ(createBucket({{"name", "Doing"}, {"plan", 7}}),
            "Fehler: Plan „“ nicht gefunden. Vorhanden: Haus, Garten");
  EXPECT_EQ(buckets("Haus").size(), 1u);
}

TEST_F(PlanToolsTest, CreateBucketAppendsAndTakesItsColourAsGiven) {
  createPlan({{"title", "Haus"}});
  struct Row {
    json color;
    std::optional<std::string> stored;
  };
  const std::vector<Row> rows = {
      {"none", std::nullopt}, {"NONE", std::nullopt},  {"nOnE", std::nullopt},
      {"#ff00aa", "#ff00aa"}, {"rot", "rot"},          {"", ""},
      {12, std::nullopt},     {nullptr, std::nullopt},
  };
  double expectedSortOrder = 2048;
  for (const auto &row : rows) {
    json args = {
        {"plan", "haus"}, {"name", "Spalte"}, {"color_hex", row.color}};
    EXPECT_EQ(createBucket(args), "Bucket „Spalte“ in Plan „Haus“ angelegt.")
        << args;
    Bucket *added = buckets("Haus").back();
    EXPECT_EQ(added->colorHex, row.stored) << args;
    EXPECT_EQ(added->sortOrder, expectedSortOrder) << args;
    expectedSortOrder += 1024;
  }
}

TEST_F(PlanToolsTest, UpdateBucketResolvesThePlanFirst) {
  createPlan({{"title", "Haus"}});
  EXPECT_EQ(updateBucket({{"plan", "Garten"}}),
            "Fehler: Plan „Garten“ nicht gefunden. Vorhanden: Haus");
  EXPECT_EQ(updateBucket({{"plan", "Haus"}}), "Fehler: bucket fehlt");
  EXPECT_EQ(updateBucket({{"plan", "Haus"}, {"bucket", ""}}),
            "Fehler: bucket fehlt");
  EXPECT_EQ(updateBucket({{"plan", "Haus"}, {"bucket", "Fertig"}}),
            "Fehler: Bucket „Fertig“ in Plan „Haus“ nicht gefunden");
  EXPECT_EQ(updateBucket({{"plan", "Haus"}, {"bucket", "Zu erledigen "}}),
            "Fehler: Bucket „Zu erledigen “ in Plan „Haus“ nicht gefunden");
}

TEST_F(PlanToolsTest, UpdateBucketRenamesAndRecoloursButLeavesCardsAlone) {
  createPlan({{"title", "Haus"}});
  Bucket &bucket = *buckets("Haus").front();
  Card card("Fenster", 1024, test::TestStore::kNow);
  card.bucket = bucket.id;
  card.plan = bucket.plan;
  card.colorHex = "#111111";
  Card &stored = context->insert(std::move(card));

  struct Row {
    json args;
    std::string expected;
  };
  const std::string idPrefix = bucket.id.substr(0, 8);
  const std::vector<Row> rows = {
      {{{"bucket", "zu ERLEDIGEN"}},
       "Bucket „Zu erledigen“ in Plan „Haus“ geändert."},
      {{{"bucket", "Zu erledigen"}, {"color_hex", "#FF0000"}},
       "Bucket „Zu erledigen“ in Plan „Haus“ geändert, Farbe #FF0000."},
      {{{"bucket", "Zu erledigen"}},
       "Bucket „Zu erledigen“ in Plan „Haus“ geändert, Farbe #FF0000."},
      {{{"bucket", "Zu erledigen"}, {"new_name", ""}},
       "Bucket „Zu erledigen“ in Plan „Haus“ geändert, Farbe #FF0000."},
      {{{"bucket", idPrefix}, {"new_name", "Offen"}},
       "Bucket „Offen“ in Plan „Haus“ geändert, Farbe #FF0000."},
      {{{"bucket", "Offen"}, {"color_hex", "None"}},
       "Bucket „Offen“ in Plan „Haus“ geändert."},
  };
  for (auto row : rows) {
    row.args["plan"] = "Haus";
    EXPECT_EQ(updateBucket(row.args), row.expected) << row.args;
  }
  EXPECT_EQ(bucket.name, "Offen");
  EXPECT_FALSE(bucket.colorHex);
  EXPECT_EQ(stored.colorHex, std::optional<std::string>("#111111"));
}

} // namespace
} // namespace taskory
