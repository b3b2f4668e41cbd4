#include "ToolsFixture.h"

namespace taskory::test {
namespace {

const std::string kAmbiguous = " ist mehrdeutig (2 Treffer) – mehr Zeichen "
                               "angeben";

TEST(IsIDLike, HexDigitsAndHyphensFromSixCharacters) {
  const std::pair<std::string, bool> cases[] = {
      {"abcdef", true},
      {"ABCDEF", true},
      {"abcde", false},
      {"12-4-6", true},
      {"abcdeg", false},
      {"abc def", false},
      {"１２３４５６", true},
      {"ＡＢＣｄｅｆ", true},
      {"１２３４５", false},
      {"ＡＢＣＤＥＧ", false},
      {"abcdef\xFF", false},
      {"abcde\xCC\x81", false}, // a combining accent joins the e
      {"abcde\xEF\xBC", false}, // cut full-width sequence
  };
  for (const auto &[text, idLike] : cases)
    EXPECT_EQ(KanbanTools::isIDLike(text), idLike) << text;
}

using Resolution = ToolsTest;

TEST_F(Resolution, PlansBySortOrderThenNaturalTitle) {
  for (const auto &[title, order] : std::vector<std::pair<std::string, double>>{
           {"Plan 10", 5}, {"zuletzt", 9}, {"plan 2", 5}, {"Plan 1", 5}})
    seed().plan(title).sortOrder = order;
  Strings titles;
  for (const Plan *plan : tools().fetchPlans())
    titles.push_back(plan->title);
  EXPECT_EQ(titles, (Strings{"Plan 1", "plan 2", "Plan 10", "zuletzt"}));
}

TEST_F(Resolution, PlansByNameBeforeIDThenPrefixWithFailures) {
  EXPECT_EQ(errorOf([&] { tools().findPlan("Haus"); }),
            "Plan „Haus“ nicht gefunden. Vorhanden: ");
  Plan &alpha = seed().plan("Alpha", "ABCDEF01-0000-4000-8000-000000000001");
  Plan &named = seed().plan("abcdef", "99999999-0000-4000-8000-000000000002");
  Plan &office = seed().plan("Büro");
  Plan &lower = seed().plan("Klein", "c0ffee00-0000-4000-8000-000000000003");
  seed().plan("Zwei", "abcdef02-0000-4000-8000-000000000004");
  const std::vector<std::pair<std::string, const Plan *>> found = {
      {"ABCDEF", &named}, // a name that is also ID-like wins
      {"ALPHA", &alpha},
      {"abcdef01", &alpha},
      {"ABCDEF01-0000-4000-8000-000000000001", &alpha},
      {"Bu\xCC\x88ro", &office}, // decomposed ü
      {"C0FFEE", &lower},        // id stored in lower case
      {"c0ffee00-0000-4000-8000-000000000003", &lower},
  };
  for (const auto &[text, plan] : found)
    EXPECT_EQ(&tools().findPlan(text), plan) << text;
  EXPECT_EQ(errorOf([&] { tools().findPlan("abcdef0"); }),
            "ID-Kürzel „abcdef0“" + kAmbiguous);
  for (const std::string text :
       {"Buero", "Alpha ", "FFFFFFFF-0000-4000-8000-000000000000", "Alp"})
    EXPECT_EQ(errorOf([&] { tools().findPlan(text); }),
              "Plan „" + text +
                  "“ nicht gefunden. Vorhanden: Alpha, abcdef, Büro, Klein, "
                  "Zwei")
        << text;
}

TEST_F(Resolution, BucketsLabelsAndGoals) {
  Plan &plan = seed().plan("Haushalt");
  Bucket &later = seed().bucket(plan, "Später", std::nullopt,
                                "B0000001-0000-4000-8000-000000000001");
  Bucket &todo = seed().bucket(plan, "Zu erledigen", std::nullopt,
                               "B0000002-0000-4000-8000-000000000002");
  later.sortOrder = 9000;
  Bucket &foreign =
      seed().bucket(seed().plan("Anderes"), "zu erledigen", std::nullopt,
                    "B0000003-0000-4000-8000-000000000003");
  EXPECT_EQ(tools().lookupBucket("zu ERLEDIGEN", plan), &todo);
  EXPECT_EQ(tools().lookupBucket("b0000001", plan), &later);
  EXPECT_EQ(tools().lookupBucket("B0000003", plan), nullptr);
  EXPECT_EQ(errorOf([&] { tools().lookupBucket("b00000", plan); }),
            "ID-Kürzel „b00000“" + kAmbiguous);
  EXPECT_EQ(errorOf([&] { tools().findBucket("Fremd", plan); }),
            "Bucket „Fremd“ nicht gefunden. Vorhanden: Zu erledigen, Später");
  // Across plans: every name match, else one ID.
  EXPECT_EQ(tools().bucketIDsInAllPlans("Zu Erledigen"),
            (std::vector<UUID>{todo.id, foreign.id}));
  EXPECT_EQ(tools().bucketIDsInAllPlans("b0000003"),
            std::vector<UUID>{foreign.id});
  EXPECT_EQ(errorOf([&] { tools().bucketIDsInAllPlans("b00000"); }),
            "ID-Kürzel „b00000“ ist mehrdeutig (3 Treffer) – mehr Zeichen "
            "angeben");
  // Labels and goals only by name.
  PlanLabel &red = seed().label(plan, 0, "Rot");
  Goal &fit = seed().goal(plan, "Fit werden");
  EXPECT_EQ(tools().findLabel("rot", plan), &red);
  EXPECT_EQ(tools().findLabel(shortID(red.id), plan), nullptr);
  EXPECT_EQ(tools().findGoal("FIT WERDEN", plan), &fit);
  EXPECT_EQ(tools().findGoal(fit.id, plan), nullptr);
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
      {"5e6f7a", &b},
      {"5e6f7a8b-11", &b},
      {"５Ｅ６ｆ７ａ", &b},
      {"9ABCDEF0", &lower},
      {"9abcdef0-2222-4222-8222-222222222222", &lower},
  };
  for (const auto &[id, card] : found)
    EXPECT_EQ(&tools().requireCard({{"card_id", id}}), card) << id;
  const std::string bad =
      "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";
  const std::string full35 = "1A2B3C4D-0000-4000-8000-00000000000";
  for (const auto &[text, message] : std::vector<std::pair<json, std::string>>{
           {12345678, bad},
           {"5e6f7", bad},
           {" 5e6f7a", bad},
           {"1a2b3c", "ID-Kürzel „1a2b3c“" + kAmbiguous},
           {full35, "ID-Kürzel „" + full35 + "“" + kAmbiguous},
           {"1a2b3c4d0000", "Karte mit ID 1a2b3c4d0000 nicht gefunden"},
           {"------", "Karte mit ID ------ nicht gefunden"},
       })
    EXPECT_EQ(errorOf([&] {
                tools().requireCard({{"card_id", text}});
              }),
              message)
        << text;
}

} // namespace
} // namespace taskory::test
