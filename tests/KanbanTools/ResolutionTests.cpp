#include "ToolsFixture.h"

#include "KanbanTools/Resolution.h"

namespace taskory::test {
namespace {

const std::string kAmbiguous =
    " ist mehrdeutig (2 Treffer) – mehr Zeichen angeben";

TEST(IsIDLike, OnlySixOrMoreHexDigitsOrHyphens) {
  for (const std::string text : {"ABCDEF", "12-4-6", "ＡＢＣｄｅｆ"})
    EXPECT_TRUE(resolution::isIDLike(text)) << text;
  // Invalid UTF-8, a combining accent joining the e, a cut full-width one.
  for (const std::string text :
       {"abcde", "abcdeg", "abc def", "１２３４５", "ＡＢＣＤＥＧ",
        "abcdef\xFF", "abcde\xCC\x81", "abcde\xEF\xBC"})
    EXPECT_FALSE(resolution::isIDLike(text)) << text;
}

class Resolution : public ToolsTest {
protected:
  // "Haushalt" with "Zu erledigen" ordered before "Später", and a bucket
  // "zu erledigen" in another plan; all with IDs beginning B00000.
  void seedBuckets() {
    plan = &seed().plan("Haushalt");
    later = &seed().bucket(*plan, "Später", std::nullopt,
                           "B0000001-0000-4000-8000-000000000001");
    todo = &seed().bucket(*plan, "Zu erledigen", std::nullopt,
                          "B0000002-0000-4000-8000-000000000002");
    later->sortOrder = 9000;
    foreign =
        &seed().bucket(seed().plan("Anderes"), "zu erledigen", std::nullopt,
                       "B0000003-0000-4000-8000-000000000003");
  }
  Plan *plan = nullptr;
  Bucket *later = nullptr, *todo = nullptr, *foreign = nullptr;
};

TEST_F(Resolution, PlansByNameBeforeIDThenPrefixWithFailures) {
  EXPECT_EQ(errorOf([&] { resolution::findPlan(context(), "Haus"); }),
            "Plan „Haus“ nicht gefunden. Vorhanden: ");
  Plan &alpha = seed().plan("Alpha", "ABCDEF01-0000-4000-8000-000000000001");
  Plan &named = seed().plan("abcdef", "99999999-0000-4000-8000-000000000002");
  Plan &office = seed().plan("Büro");
  Plan &lower = seed().plan("Klein", "c0ffee00-0000-4000-8000-000000000003");
  seed().plan("Zwei", "abcdef02-0000-4000-8000-000000000004");
  seed().plan("Plan 10").sortOrder = 0; // equal orders: natural by title
  seed().plan("plan 2").sortOrder = 0;
  const std::vector<std::pair<std::string, const Plan *>> found = {
      {"ABCDEF", &named}, // a name that is also ID-like wins
      {"ALPHA", &alpha},
      {"ABCDEF01-0000-4000-8000-000000000001", &alpha},
      {"Bu\xCC\x88ro", &office}, // decomposed ü
      {"C0FFEE", &lower},        // id stored in lower case
  };
  for (const auto &[text, plan] : found)
    EXPECT_EQ(&resolution::findPlan(context(), text), plan) << text;
  EXPECT_EQ(errorOf([&] { resolution::findPlan(context(), "abcdef0"); }),
            "ID-Kürzel „abcdef0“" + kAmbiguous);
  for (const std::string text :
       {"Alpha ", "FFFFFFFF-0000-4000-8000-000000000000", "Alp"})
    EXPECT_EQ(errorOf([&] { resolution::findPlan(context(), text); }),
              "Plan „" + text +
                  "“ nicht gefunden. Vorhanden: plan 2, Plan 10, Alpha, "
                  "abcdef, Büro, Klein, Zwei")
        << text;
}

// Titles are matched on the stored rows, so an unsaved change must count;
// of equal names the plan listed first wins.
TEST_F(Resolution, PlanNamedTwiceResolvesToTheFirstInListOrder) {
  Plan &garden = seed().plan("Garten");
  garden.sortOrder = 5000;
  Plan &upper = seed().plan("GARTEN");
  upper.sortOrder = 100;
  EXPECT_EQ(&resolution::findPlan(context(), "garten"), &upper);
  upper.title = "Balkon";
  EXPECT_EQ(&resolution::findPlan(context(), "garten"), &garden);
  EXPECT_EQ(&resolution::findPlan(context(), "BALKON"), &upper);
}

TEST_F(Resolution, BucketsInAPlanByNameThenID) {
  seedBuckets();
  const std::vector<std::pair<std::string, const Bucket *>> found = {
      {"zu ERLEDIGEN", todo},
      {"b0000001", later},
      {"B0000003", nullptr}, // another plan's bucket
  };
  for (const auto &[text, bucket] : found)
    EXPECT_EQ(resolution::lookupBucket(context(), text, *plan), bucket) << text;
  EXPECT_EQ(
      errorOf([&] { resolution::lookupBucket(context(), "b00000", *plan); }),
      "ID-Kürzel „b00000“" + kAmbiguous);
  EXPECT_EQ(errorOf([&] { resolution::findBucket(context(), "Fremd", *plan); }),
            "Bucket „Fremd“ nicht gefunden. Vorhanden: Zu erledigen, Später");
}

TEST_F(Resolution, BucketsAcrossPlansEveryNameMatchElseOneID) {
  seedBuckets();
  EXPECT_EQ(resolution::bucketIDsInAllPlans(context(), "Zu Erledigen"),
            (std::vector<UUID>{todo->id, foreign->id}));
  EXPECT_EQ(resolution::bucketIDsInAllPlans(context(), "b0000003"),
            std::vector<UUID>{foreign->id});
  EXPECT_EQ(
      errorOf([&] { resolution::bucketIDsInAllPlans(context(), "b00000"); }),
      "ID-Kürzel „b00000“ ist mehrdeutig (3 Treffer) – mehr Zeichen angeben");
}

TEST_F(Resolution, LabelsOrGoalsAreFoundByNameNeverByID) {
  Plan &plan = seed().plan("Haushalt");
  PlanLabel &red = seed().label(plan, 0, "Rot");
  Goal &fit = seed().goal(plan, "Fit werden");
  EXPECT_EQ(resolution::findLabel(context(), "rot", plan), &red);
  EXPECT_EQ(resolution::findLabel(context(), shortID(red.id), plan), nullptr);
  EXPECT_EQ(resolution::findGoal(context(), "FIT WERDEN", plan), &fit);
  EXPECT_EQ(resolution::findGoal(context(), fit.id, plan), nullptr);
}

TEST_F(Resolution, CardsByFullIDOrPrefix) {
  Plan &plan = seed().plan("Haushalt");
  Card &a1 = seed().card(&plan, "Eins", "1A2B3C4D-0000-4000-8000-000000000001");
  seed().card(&plan, "Zwei", "1A2B3C4D-0000-4000-8000-000000000002");
  Card &b = seed().card(&plan, "Drei", "5E6F7A8B-1111-4111-8111-111111111111");
  b.isArchived = true; // archived cards are found
  Card &lower =
      seed().card(nullptr, "Klein", "9abcdef0-2222-4222-8222-222222222222");
  const std::vector<std::pair<std::string, const Card *>> found = {
      {"1a2b3c4d-0000-4000-8000-000000000001", &a1},
      {"5e6f7a8b-11", &b},
      {"５Ｅ６ｆ７ａ", &b},
      {"9ABCDEF0", &lower}};
  for (const auto &[id, card] : found)
    EXPECT_EQ(&resolution::requireCard(context(), {{"card_id", id}}), card)
        << id;
  const std::string bad =
      "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";
  const std::string full35 = "1A2B3C4D-0000-4000-8000-00000000000";
  for (const auto &[text, message] : std::vector<std::pair<json, std::string>>{
           {12345678, bad},
           {" 5e6f7a", bad},
           {"1a2b3c", "ID-Kürzel „1a2b3c“" + kAmbiguous},
           {full35, "ID-Kürzel „" + full35 + "“" + kAmbiguous},
           {"------", "Karte mit ID ------ nicht gefunden"}})
    EXPECT_EQ(errorOf([&] {
                resolution::requireCard(context(), {{"card_id", text}});
              }),
              message)
        << text;
}

} // namespace
} // namespace taskory::test
