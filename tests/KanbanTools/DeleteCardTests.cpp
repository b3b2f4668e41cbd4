#include "WriteToolsFixture.h"

#include <string>
#include <vector>

namespace taskory::test {
namespace {

using Strings = std::vector<std::string>;

class DeleteCard : public WriteToolsTest {};

TEST_F(DeleteCard, RemovesTheCardWithItsChecklistAttachmentsAndLinks) {
  const UUID plan = addPlan("Arbeit");
  const UUID goal = addGoal(plan, "Umzug");
  const UUID card = addCard(plan, std::nullopt, "Kisten packen", 1024);
  const UUID other = addCard(plan, std::nullopt, "Bleibt", 2048);
  addItem(card, "Klebeband", 1024);
  addItem(other, "Schere", 1024);
  seed([&](ModelContext &c) {
    CardAttachment link("Liste", 1024, kNow);
    link.urlString = "https://example.org";
    link.card = card;
    c.insert(std::move(link));
    c.addGoal(*c.card(card), *c.goal(goal));
    c.addLabel(*c.card(card), *c.labels(*c.plan(plan)).front());
  });

  auto out = run("delete_card", {{"card_id", shortOf(card)}});
  ASSERT_TRUE(out.ok) << out.text;
  EXPECT_EQ(out.text, "Karte „Kisten packen“ gelöscht.");
  EXPECT_EQ(rows("SELECT title FROM Card"), Strings{"Bleibt"});
  EXPECT_EQ(rows("SELECT title FROM ChecklistItem"), Strings{"Schere"});
  EXPECT_EQ(value("SELECT count(*) FROM CardAttachment"), "0");
  EXPECT_EQ(value("SELECT count(*) FROM CardGoal"), "0");
  EXPECT_EQ(value("SELECT count(*) FROM CardLabel"), "0");
  // Goals and labels themselves stay.
  EXPECT_EQ(value("SELECT count(*) FROM Goal"), "1");
  EXPECT_EQ(value("SELECT count(*) FROM PlanLabel"), "25");
  EXPECT_EQ(value("SELECT author, timestamp FROM StoreTransaction ORDER BY id "
                  "DESC LIMIT 1"),
            "mcp|1741773600.0");
  EXPECT_EQ(value("SELECT count(*) FROM StoreChange WHERE kind = 'delete' AND "
                  "entityID = '" +
                  card + "'"),
            "1");
}

TEST_F(DeleteCard, DeletesOnlyThatOccurrenceOfASeries) {
  const UUID plan = addPlan("Arbeit");
  std::vector<UUID> ids;
  for (int n = 1; n <= 3; ++n)
    ids.push_back(addCard(plan, std::nullopt, "Wäsche", 1024 + n, [&](Card &c) {
      c.recurrenceSeriesID = ids.empty() ? c.id : ids.front();
      c.recurrenceOccurrence = n;
    }));
  ASSERT_TRUE(run("delete_card", {{"card_id", ids[1]}}).ok);
  EXPECT_EQ(rows("SELECT recurrenceOccurrence FROM Card ORDER BY rowid"),
            (Strings{"1", "3"}));
}

TEST_F(DeleteCard, FailuresChangeNothing) {
  const UUID plan = addPlan("Arbeit");
  addCard(plan, std::nullopt, "Bleibt", 1024);
  const std::string before = snapshot();
  struct Case {
    nlohmann::json args;
    std::string message;
  };
  const Case cases[] = {
      {nlohmann::json::object(), "card_id fehlt oder ist weder UUID noch "
                                 "ID-Kürzel (mind. 6 Hex-Zeichen)"},
      {{{"card_id", "Bleibt"}},
       "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 "
       "Hex-Zeichen)"},
      {{{"card_id", "00000000-0000-4000-8000-000000000000"}},
       "Karte mit ID 00000000-0000-4000-8000-000000000000 nicht gefunden"},
  };
  for (const Case &c : cases) {
    auto out = run("delete_card", c.args);
    EXPECT_FALSE(out.ok) << c.args;
    EXPECT_EQ(out.text, c.message) << c.args;
    EXPECT_EQ(snapshot(), before) << c.args;
  }
}

} // namespace
} // namespace taskory::test
