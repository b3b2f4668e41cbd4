#include "ReadToolsFixture.h"

namespace taskory::test {
namespace {

class ListPlansTest : public ReadToolsTest {};

TEST_F(ListPlansTest, EmptyStore) {
  EXPECT_EQ(text(tools.listPlans()), "Keine Pläne.");
}

TEST_F(ListPlansTest, PlanWithoutBucketsGoalsOrCards) {
  seed.plan("Leer", "0A0B0C0D-0000-4000-8000-000000000000");
  EXPECT_EQ(text(tools.listPlans()), "0A0B0C0D · Leer · offen 0/0");
}

TEST_F(ListPlansTest, CountsColoursAndGoalsOnePlanPerLine) {
  Plan &home = seed.plan("Haushalt", "11111111-0000-4000-8000-000000000000");
  Plan &work = seed.plan("Arbeit", "22222222-0000-4000-8000-000000000000");
  home.sortOrder = 2;
  work.sortOrder = 1;

  Bucket &done = seed.bucket(home, "Erledigt", "CBEBC9");
  Bucket &todo = seed.bucket(home, "Zu erledigen", "#FF8C00");
  Bucket &later = seed.bucket(home, "Später");
  done.sortOrder = 3000;
  todo.sortOrder = 1000;
  later.sortOrder = 2000;

  seed.card(todo, "offen 1");
  seed.card(todo, "offen 2").percentComplete = 50;
  seed.card(todo, "archiviert").isArchived = true;
  seed.card(done, "fertig").percentComplete = 100;
  Card &archivedDone = seed.card(done, "alt");
  archivedDone.percentComplete = 100;
  archivedDone.isArchived = true;
  seed.card(&home, "ohne Bucket");

  seed.goal(home, "Ordnung");
  seed.goal(home, "Ruhe");
  seed.bucket(work, "Inbox");

  EXPECT_EQ(text(tools.listPlans()),
            "22222222 · Arbeit · offen 0/0 · Buckets: Inbox (0)\n"
            "11111111 · Haushalt · offen 3/4 · Buckets: Zu erledigen (2, "
            "#FF8C00), Später (0), Erledigt (1, #CBEBC9) · Ziele: Ordnung, "
            "Ruhe");
}

} // namespace
} // namespace taskory::test
