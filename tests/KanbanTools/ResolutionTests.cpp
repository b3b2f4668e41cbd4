#include "KanbanTools/Resolution.h"

#include "ReadToolsFixture.h"

#include <string>
#include <vector>

namespace taskory::test {
namespace {

constexpr const char *kCardA1 = "1A2B3C4D-0000-4000-8000-000000000001";
constexpr const char *kCardA2 = "1A2B3C4D-0000-4000-8000-000000000002";
constexpr const char *kCardB = "5E6F7A8B-1111-4111-8111-111111111111";
constexpr const char *kBadCardID =
    "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";

TEST(IsIDLike, AcceptsHexDigitsAndHyphensFromSixCharacters) {
  struct Case {
    std::string text;
    bool idLike;
  };
  const std::vector<Case> cases = {
      {"abcdef", true},
      {"ABCDEF", true},
      {"abcde", false},
      {"------", true},
      {"12-4-6", true},
      {"1A2B3C4D-0000-4000-8000-000000000001", true},
      {"abcdeg", false},
      {"abc def", false},
      {"", false},
      {"１２３４５６", true},   // full-width digits
      {"ＡＢＣｄｅｆ", true},   // full-width letters, both cases
      {"１２３４５", false},    // five full-width characters
      {"ＡＢＣＤＥＧ", false},  // full-width G is no hex digit
      {"abcde\xCC\x81", false}, // a combining accent joins the e
      {"abcde\xEF\xBC", false}, // cut full-width sequence
      {"abcdef\xFF", false},    // stray byte
      {"Einkaufen", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(KanbanTools::isIDLike(c.text), c.idLike) << c.text;
}

TEST(ComparableID, TurnsFullWidthHexIntoUpperCaseASCII) {
  EXPECT_EQ(resolution::comparableID("５ｅ６Ｆ７ａ"), "5E6F7A");
  EXPECT_EQ(resolution::comparableID("1a2b-3c"), "1A2B-3C");
}

struct Entity {
  UUID id;
};

TEST(MatchByID, FullUUIDNeverFailsAndPrefixesCountTheirMatches) {
  Entity a{"1a2b3c4d-0000-4000-8000-000000000001"}; // stored in lower case
  Entity b{kCardA2};
  Entity c{kCardB};
  const std::vector<Entity *> all = {&a, &b, &c};
  const auto id = [](const Entity &e) -> const UUID & { return e.id; };

  EXPECT_EQ(resolution::matchByID(kCardA1, all, id), &a);
  EXPECT_EQ(
      resolution::matchByID("FFFFFFFF-0000-4000-8000-000000000001", all, id),
      nullptr);
  EXPECT_EQ(resolution::matchByID("5e6f7a", all, id), &c);
  EXPECT_EQ(
      resolution::matchByID("5e6f7a8b-1111-4111-8111-11111111111", all, id),
      &c);
  EXPECT_EQ(resolution::matchByID("5e6f7a8b1111", all, id), nullptr)
      << "a prefix past the first group needs its hyphen";
  EXPECT_EQ(resolution::matchByID("nothing", all, id), nullptr);
  EXPECT_EQ(resolution::matchByID("5e6f7", all, id), nullptr);
  try {
    resolution::matchByID("1a2B3c", all, id);
    ADD_FAILURE() << "no ambiguity error";
  } catch (const ToolError &error) {
    EXPECT_EQ(error.message, "ID-Kürzel „1a2B3c“ ist mehrdeutig (2 Treffer) – "
                             "mehr Zeichen angeben");
  }
}

class ResolutionTest : public ReadToolsTest {};

TEST_F(ResolutionTest, PlansAreOrderedBySortOrderThenNaturalTitle) {
  seed.plan("Plan 10").sortOrder = 5;
  seed.plan("zuletzt").sortOrder = 9;
  seed.plan("plan 2").sortOrder = 5;
  seed.plan("Vorne").sortOrder = -1;
  seed.plan("Plan 1").sortOrder = 5;
  std::vector<std::string> titles;
  for (const Plan *plan : tools.fetchPlans())
    titles.push_back(plan->title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Vorne", "Plan 1", "plan 2",
                                              "Plan 10", "zuletzt"}));
}

TEST_F(ResolutionTest, FindPlanByNameBeforeIDAndByPrefix) {
  Plan &alpha = seed.plan("Alpha", "ABCDEF01-0000-4000-8000-000000000001");
  Plan &named = seed.plan("abcdef", "99999999-0000-4000-8000-000000000002");
  Plan &office = seed.plan("Büro");
  Plan &lower = seed.plan("Klein", "c0ffee00-0000-4000-8000-000000000003");

  struct Case {
    std::string text;
    const Plan *plan;
  };
  const std::vector<Case> cases = {
      {"abcdef", &named}, // a name that is also ID-like wins
      {"ABCDEF", &named}, // names compare case-insensitively
      {"ALPHA", &alpha},
      {"abcdef01", &alpha},
      {"ABCDEF01-0000-4000-8000-000000000001", &alpha},
      {"Büro", &office},
      {"BÜRO", &office},
      {"Bu\xCC\x88ro", &office}, // decomposed ü
      {"C0FFEE", &lower},        // id stored in lower case
      {"c0ffee00-0000-4000-8000-000000000003", &lower},
  };
  for (const auto &c : cases)
    EXPECT_EQ(&tools.findPlan(c.text), c.plan) << c.text;
}

TEST_F(ResolutionTest, FindPlanFailuresListThePlansInPlanOrder) {
  seed.plan("Zweiter").sortOrder = 2;
  seed.plan("Erster").sortOrder = 1;
  seed.plan("Büro").sortOrder = 3;
  const std::string list = "Vorhanden: Erster, Zweiter, Büro";
  for (const std::string text :
       {"Nix", "Buero", "Buro", "Erster ",
        "FFFFFFFF-0000-4000-8000-000000000000", "------", "", "Erst"})
    EXPECT_EQ(errorOf([&] { tools.findPlan(text); }),
              "Plan „" + text + "“ nicht gefunden. " + list)
        << text;
}

TEST_F(ResolutionTest, FindPlanInEmptyStoreEndsWithEmptyList) {
  EXPECT_EQ(errorOf([&] { tools.findPlan("Haushalt"); }),
            "Plan „Haushalt“ nicht gefunden. Vorhanden: ");
}

TEST_F(ResolutionTest, FindPlanAmbiguousPrefixAndCaseTwins) {
  seed.plan("Eins", "ABCDEF01-0000-4000-8000-000000000001").sortOrder = 1;
  seed.plan("Zwei", "abcdef02-0000-4000-8000-000000000002").sortOrder = 2;
  Plan &upper = seed.plan("Haus");
  upper.sortOrder = 3;
  seed.plan("HAUS").sortOrder = 4;
  EXPECT_EQ(errorOf([&] { tools.findPlan("abcdef"); }),
            "ID-Kürzel „abcdef“ ist mehrdeutig (2 Treffer) – mehr Zeichen "
            "angeben");
  EXPECT_EQ(tools.findPlan("abcdef02").title, "Zwei");
  EXPECT_EQ(&tools.findPlan("haus"), &upper);
}

TEST_F(ResolutionTest, BucketsByNameOrIDWithinOnePlan) {
  Plan &plan = seed.plan("Haushalt");
  Bucket &later = seed.bucket(plan, "Später", std::nullopt,
                              "B0000001-0000-4000-8000-000000000001");
  Bucket &todo = seed.bucket(plan, "Zu erledigen", std::nullopt,
                             "B0000002-0000-4000-8000-000000000002");
  later.sortOrder = 9000;
  Plan &other = seed.plan("Anderes");
  seed.bucket(other, "Fremd", std::nullopt,
              "B0000003-0000-4000-8000-000000000003");

  EXPECT_EQ(tools.lookupBucket("zu ERLEDIGEN", plan), &todo);
  EXPECT_EQ(tools.lookupBucket("b0000001", plan), &later);
  EXPECT_EQ(tools.lookupBucket("B0000003", plan), nullptr)
      << "a bucket of another plan";
  EXPECT_EQ(tools.lookupBucket("Zu erledigen ", plan), nullptr);
  EXPECT_EQ(errorOf([&] { tools.lookupBucket("b00000", plan); }),
            "ID-Kürzel „b00000“ ist mehrdeutig (2 Treffer) – mehr Zeichen "
            "angeben");
  EXPECT_EQ(errorOf([&] { tools.findBucket("Fremd", plan); }),
            "Bucket „Fremd“ nicht gefunden. Vorhanden: Zu erledigen, Später");
  EXPECT_EQ(errorOf([&] { tools.findBucket("X", other); }),
            "Bucket „X“ nicht gefunden. Vorhanden: Fremd");
  Plan &empty = seed.plan("Leer");
  EXPECT_EQ(errorOf([&] { tools.findBucket("X", empty); }),
            "Bucket „X“ nicht gefunden. Vorhanden: ");
}

TEST_F(ResolutionTest, BucketSearchAcrossPlansCollectsEveryNameMatch) {
  Plan &home = seed.plan("Haushalt");
  Plan &work = seed.plan("Arbeit");
  Bucket &a = seed.bucket(home, "Doing", std::nullopt,
                          "D0000001-0000-4000-8000-000000000001");
  Bucket &b = seed.bucket(work, "doing", std::nullopt,
                          "D0000002-0000-4000-8000-000000000002");
  seed.bucket(work, "Done", std::nullopt,
              "D0000003-0000-4000-8000-000000000003");

  EXPECT_EQ(tools.bucketIDsInAllPlans("DOING"),
            (std::vector<UUID>{a.id, b.id}));
  EXPECT_EQ(tools.bucketIDsInAllPlans("d0000002"), (std::vector<UUID>{b.id}));
  EXPECT_EQ(errorOf([&] { tools.bucketIDsInAllPlans("Nix"); }),
            "Bucket „Nix“ in keinem Plan gefunden");
  EXPECT_EQ(errorOf([&] { tools.bucketIDsInAllPlans("d00000"); }),
            "ID-Kürzel „d00000“ ist mehrdeutig (3 Treffer) – mehr Zeichen "
            "angeben");
}

TEST_F(ResolutionTest, LabelsAndGoalsByNameOnly) {
  Plan &plan = seed.plan("Haushalt");
  PlanLabel &red = seed.label(plan, 0, "Rot");
  Goal &fit = seed.goal(plan, "Fit werden");
  EXPECT_EQ(tools.findLabel("rot", plan), &red);
  EXPECT_EQ(tools.findLabel("Rot ", plan), nullptr);
  EXPECT_EQ(tools.findLabel(shortID(red.id), plan), nullptr);
  EXPECT_EQ(tools.findGoal("FIT WERDEN", plan), &fit);
  EXPECT_EQ(tools.findGoal(fit.id, plan), nullptr);
}

TEST_F(ResolutionTest, DefaultPlanIsTheFirstInPlanOrder) {
  EXPECT_EQ(errorOf([&] { tools.defaultPlan(); }),
            "Es existiert noch kein Plan — lege zuerst einen mit create_plan "
            "an.");
  seed.plan("B").sortOrder = 2;
  seed.plan("A").sortOrder = 2;
  EXPECT_EQ(tools.defaultPlan().title, "A");
}

TEST_F(ResolutionTest, RequireCardByFullIDOrPrefix) {
  Plan &plan = seed.plan("Haushalt");
  Card &a1 = seed.card(&plan, "Eins", kCardA1);
  seed.card(&plan, "Zwei", kCardA2);
  Card &b = seed.card(&plan, "Drei", kCardB);
  b.isArchived = true;
  Card &lower =
      seed.card(nullptr, "Klein", "9abcdef0-2222-4222-8222-222222222222");

  struct Case {
    std::string cardID;
    const Card *card;
  };
  const std::vector<Case> found = {
      {kCardA1, &a1},       {"1a2b3c4d-0000-4000-8000-000000000001", &a1},
      {"5e6f7a", &b}, // archived cards are found
      {"5E6F7A8B", &b},     {"5e6f7a8b-11", &b},
      {"５Ｅ６ｆ７ａ", &b}, // full-width digits select like ASCII ones
      {"9ABCDEF0", &lower}, {"9abcdef0-2222-4222-8222-222222222222", &lower},
  };
  for (const auto &c : found)
    EXPECT_EQ(&tools.requireCard({{"card_id", c.cardID}}), c.card) << c.cardID;

  struct Failure {
    nlohmann::json args;
    std::string message;
  };
  const std::vector<Failure> failures = {
      {nlohmann::json::object(), kBadCardID},
      {{{"card_id", 12345678}}, kBadCardID},
      {{{"card_id", "5e6f7"}}, kBadCardID},
      {{{"card_id", "Eins"}}, kBadCardID},
      {{{"card_id", " 5e6f7a"}}, kBadCardID},
      {{{"card_id", "1a2b3c"}},
       "ID-Kürzel „1a2b3c“ ist mehrdeutig (2 Treffer) – mehr Zeichen angeben"},
      {{{"card_id", "1A2B3C4D-0000-4000-8000-00000000000"}},
       "ID-Kürzel „1A2B3C4D-0000-4000-8000-00000000000“ ist mehrdeutig (2 "
       "Treffer) – mehr Zeichen angeben"},
      {{{"card_id", "FFFFFFFF-0000-4000-8000-000000000000"}},
       "Karte mit ID FFFFFFFF-0000-4000-8000-000000000000 nicht gefunden"},
      {{{"card_id", "1a2b3c4d-0000-4000-8000-0000000000011"}},
       "Karte mit ID 1a2b3c4d-0000-4000-8000-0000000000011 nicht gefunden"},
      {{{"card_id", "1a2b3c4d0000"}},
       "Karte mit ID 1a2b3c4d0000 nicht gefunden"},
      {{{"card_id", "------"}}, "Karte mit ID ------ nicht gefunden"},
      {{{"card_id", "abcdef"}}, "Karte mit ID abcdef nicht gefunden"},
  };
  for (const auto &f : failures)
    EXPECT_EQ(errorOf([&] { tools.requireCard(f.args); }), f.message)
        << f.args.dump();
}

} // namespace
} // namespace taskory::test
