#include "WriteToolsFixture.h"

namespace taskory::test {
namespace {

class DeleteCard : public WriteToolsTest {};

TEST_F(DeleteCard, TakesChecklistAttachmentsAndLinksButOnlyThatCard) {
  // Three occurrences of one series; the middle one goes.
  std::vector<UUID> ids;
  for (int n = 1; n <= 3; ++n)
    ids.push_back(addCard("Wäsche", n, [&](Card &c) {
      c.recurrenceSeriesID = ids.empty() ? c.id : ids[0];
      c.recurrenceOccurrence = n;
    }));
  addItem(ids[1], "Klebeband", 1024);
  addItem(ids[2], "Schere", 1024);
  seed([&](ModelContext &c) {
    CardAttachment link("Liste", 1024, kNow);
    link.card = ids[1];
    c.insert(std::move(link));
    Goal goal("Umzug", 1024, kNow);
    goal.plan = plan;
    c.addGoal(*c.card(ids[1]), c.insert(std::move(goal)));
    c.addLabel(*c.card(ids[1]), *c.labels(*c.plan(plan)).front());
    return 0;
  });

  EXPECT_EQ(run("delete_card", {{"card_id", shortOf(ids[1])}}).text,
            "Karte „Wäsche“ gelöscht.");
  EXPECT_EQ(rows("SELECT recurrenceOccurrence FROM Card"), (Strings{"1", "3"}));
  EXPECT_EQ(rows("SELECT title FROM ChecklistItem"), Strings{"Schere"});
  EXPECT_EQ(value("SELECT (SELECT count(*) FROM CardAttachment), (SELECT "
                  "count(*) FROM CardGoal), (SELECT count(*) FROM CardLabel), "
                  "(SELECT count(*) FROM Goal), (SELECT count(*) FROM "
                  "PlanLabel)"),
            "0|0|0|1|25");
  EXPECT_EQ(
      value("SELECT t.author, t.timestamp, c.kind FROM StoreChange c "
            "JOIN StoreTransaction t ON t.id = c.txn WHERE c.entityID = '" +
            ids[1] + "' AND c.kind = 'delete'"),
      "mcp|1741773600.0|delete");

  const std::string zero = "00000000-0000-4000-8000-000000000000";
  const std::string badID =
      "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";
  expectFailures("delete_card", {{json::object(), badID},
                                 {{{"card_id", "Wäsche"}}, badID},
                                 {{{"card_id", zero}},
                                  "Karte mit ID " + zero + " nicht gefunden"}});
}

} // namespace
} // namespace taskory::test
