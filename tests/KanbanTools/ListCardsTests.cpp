#include "ReadToolsFixture.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace taskory::test {
namespace {

std::string cardID(int n) {
  return "C000000" + std::to_string(n) + "-0000-4000-8000-00000000000" +
         std::to_string(n);
}

const std::string kSteuer = "C0000002 · in_progress · fällig 2025-03-10 · "
                            "überfällig · Haushalt · Doing · Steuer";
const std::string kBericht =
    "C0000006 · not_started · fällig 2025-03-12 09:00 · Arbeit · doing · "
    "Bericht";
const std::string kMeeting =
    "C0000007 · not_started · fällig 2025-03-12 · Arbeit · doing · Meeting";
const std::string kMilch = "C0000001 · not_started · fällig 2025-03-14 · "
                           "Haushalt · Zu erledigen · Milch kaufen";
const std::string kFenster =
    "C0000003 · not_started · Haushalt · Zu erledigen · Fenster putzen";
const std::string kPlanung = "C0000008 · not_started · Arbeit · Planung";
const std::string kErledigt = "C0000004 · completed · fällig 2025-03-11 · "
                              "Haushalt · Zu erledigen · Erledigtes";

std::string lines(const std::vector<std::string> &parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i)
    out += (i ? "\n" : "") + parts[i];
  return out;
}

std::string notice(int hidden) {
  return "\n… " + std::to_string(hidden) +
         " weitere Karten – mit bucket, query oder status eingrenzen oder "
         "limit erhöhen.";
}

// Two plans with cards in every state the filters tell apart; the store is
// 11:00 on Wednesday 2025-03-12 in Berlin.
class ListCardsTest : public ReadToolsTest {
protected:
  void SetUp() override {
    Plan &home = seed.plan("Haushalt");
    Plan &work = seed.plan("Arbeit");
    Bucket &todo = seed.bucket(home, "Zu erledigen");
    Bucket &doing = seed.bucket(home, "Doing");
    Bucket &workDoing = seed.bucket(work, "doing");

    seed.card(todo, "Milch kaufen", cardID(1)).dueDate =
        seed.local(2025, 3, 14, 17);
    Card &steuer = seed.card(doing, "Steuer", cardID(2));
    steuer.dueDate = seed.local(2025, 3, 10, 17);
    steuer.percentComplete = 50;
    seed.card(todo, "Fenster putzen", cardID(3)).notes =
        "Leiter aus dem KELLER holen";
    Card &done = seed.card(todo, "Erledigtes", cardID(4));
    done.percentComplete = 100;
    done.dueDate = seed.local(2025, 3, 11, 17);
    Card &archived = seed.card(todo, "Archiv", cardID(5));
    archived.isArchived = true;
    archived.dueDate = seed.local(2025, 3, 1, 17);
    seed.card(workDoing, "Bericht", cardID(6)).dueDate =
        seed.local(2025, 3, 12, 9);
    seed.card(workDoing, "Meeting", cardID(7)).dueDate =
        seed.local(2025, 3, 12, 17);
    seed.card(&work, "Planung", cardID(8));
  }

  std::string list(const nlohmann::json &args) {
    return text(tools.listCards(args));
  }
};

TEST_F(ListCardsTest, FiltersAndSortOrder) {
  const int64_t huge = std::numeric_limits<int64_t>::max();
  const int64_t tiny = std::numeric_limits<int64_t>::min();
  struct Case {
    nlohmann::json args;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {nlohmann::json::object(),
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"include_completed", true}},
       {kSteuer, kErledigt, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"include_completed", "true"}}, // not a boolean: absent
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"status", "completed"}}, {kErledigt}},
      {{{"status", "DONE"}, {"include_completed", false}}, {kErledigt}},
      {{{"status", "in_progress"}, {"include_completed", true}}, {kSteuer}},
      {{{"status", "not_started"}},
       {kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"query", "keller"}}, {kFenster}}, // only in the notes
      {{{"query", "MILCH"}}, {kMilch}},
      {{{"query", "Milch kaufen "}}, {}},
      {{{"query", ""}},
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"due_within_days", 0}}, {kSteuer, kBericht}},
      {{{"due_within_days", 2}}, {kSteuer, kBericht, kMeeting}},
      {{{"due_within_days", 3}}, {kSteuer, kBericht, kMeeting, kMilch}},
      {{{"due_within_days", -1}}, {kSteuer}},
      {{{"due_within_days", 1.5}}, // not an integer: absent
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      // A limit the calendar cannot form falls back to now.
      {{{"due_within_days", huge}}, {kSteuer, kBericht}},
      {{{"due_within_days", tiny}}, {kSteuer, kBericht}},
      {{{"plan", 7}}, // not a string: absent
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
      {{{"bucket", ""}},
       {kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}},
  };
  for (const auto &c : cases) {
    const std::string expected =
        c.expected.empty() ? "Keine Karten gefunden." : lines(c.expected);
    EXPECT_EQ(list(c.args), expected) << c.args.dump();
  }
}

TEST_F(ListCardsTest, NamedPlanAndBucketAreLeftOutOfTheLines) {
  EXPECT_EQ(list({{"plan", "haushalt"}}),
            lines({"C0000002 · in_progress · fällig 2025-03-10 · überfällig · "
                   "Doing · Steuer",
                   "C0000001 · not_started · fällig 2025-03-14 · Zu erledigen "
                   "· Milch kaufen",
                   "C0000003 · not_started · Zu erledigen · Fenster putzen"}));
  EXPECT_EQ(list({{"plan", "Haushalt"}, {"bucket", "DOING"}}),
            "C0000002 · in_progress · fällig 2025-03-10 · überfällig · Steuer");
  // Without a plan, buckets of that name in every plan count.
  EXPECT_EQ(list({{"bucket", "doing"}}),
            lines({"C0000002 · in_progress · fällig 2025-03-10 · überfällig · "
                   "Haushalt · Steuer",
                   "C0000006 · not_started · fällig 2025-03-12 09:00 · Arbeit "
                   "· Bericht",
                   "C0000007 · not_started · fällig 2025-03-12 · Arbeit · "
                   "Meeting"}));
  EXPECT_EQ(list({{"plan", "Arbeit"}, {"bucket", ""}}),
            lines({"C0000006 · not_started · fällig 2025-03-12 09:00 · doing "
                   "· Bericht",
                   "C0000007 · not_started · fällig 2025-03-12 · doing · "
                   "Meeting",
                   "C0000008 · not_started · Planung"}));
}

TEST_F(ListCardsTest, FailuresOfTheFilters) {
  struct Case {
    nlohmann::json args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{{"plan", ""}}, "Plan „“ nicht gefunden. Vorhanden: Haushalt, Arbeit"},
      {{{"plan", "Garten"}},
       "Plan „Garten“ nicht gefunden. Vorhanden: Haushalt, Arbeit"},
      {{{"plan", "Haushalt"}, {"bucket", "Nix"}},
       "Bucket „Nix“ nicht gefunden. Vorhanden: Zu erledigen, Doing"},
      {{{"bucket", "Nix"}}, "Bucket „Nix“ in keinem Plan gefunden"},
      {{{"status", "fertig"}}, "Unbekannter Status: fertig"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(errorOf([&] { tools.listCards(c.args); }), c.message)
        << c.args.dump();
}

TEST_F(ListCardsTest, LimitCutsWithNotice) {
  EXPECT_EQ(list({{"limit", 0}}), kSteuer + notice(5));
  EXPECT_EQ(list({{"limit", -7}}), kSteuer + notice(5));
  EXPECT_EQ(list({{"limit", 2}}), lines({kSteuer, kBericht}) + notice(4));
  EXPECT_EQ(list({{"limit", 6}}),
            lines({kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}));
  EXPECT_EQ(list({{"limit", "2"}}), // not an integer: the default 50
            lines({kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}));
  EXPECT_EQ(list({{"limit", std::numeric_limits<int64_t>::max()}}),
            lines({kSteuer, kBericht, kMeeting, kMilch, kFenster, kPlanung}));
}

TEST_F(ListCardsTest, JSONFormatInAnyCase) {
  const nlohmann::json steuer = {{"id", cardID(2)},
                                 {"title", "Steuer"},
                                 {"status", "in_progress"},
                                 {"due_date", "2025-03-10"},
                                 {"is_late", true}};
  EXPECT_EQ(
      json(tools.listCards(
          {{"plan", "Haushalt"}, {"bucket", "Doing"}, {"format", "JSON"}})),
      nlohmann::json::array({steuer}));
  EXPECT_EQ(json(tools.listCards({{"query", "zzz"}, {"format", "Json"}})),
            nlohmann::json::array());
  EXPECT_EQ(text(tools.listCards({{"query", "zzz"}, {"format", "text"}})),
            "Keine Karten gefunden.");

  // Cut JSON: the encoded array, then the notice line.
  const std::string cut =
      text(tools.listCards({{"format", "json"}, {"limit", 1}}));
  const auto at = cut.find("\n… ");
  ASSERT_NE(at, std::string::npos) << cut;
  EXPECT_EQ(cut.substr(at), notice(5));
  nlohmann::json withPlace = steuer;
  withPlace["plan"] = "Haushalt";
  withPlace["bucket"] = "Doing";
  EXPECT_EQ(nlohmann::json::parse(cut.substr(0, at)),
            nlohmann::json::array({withPlace}));
}

TEST_F(ListCardsTest, SixtyMatchesShowFiftyAndCountTheRest) {
  Plan &plan = seed.plan("Viel");
  for (int i = 0; i < 60; ++i)
    seed.card(&plan, "Karte " + std::to_string(i));
  const std::string out = list({{"plan", "Viel"}});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 50);
  EXPECT_EQ(out.substr(out.rfind('\n')),
            "\n… 10 weitere Karten – mit bucket, query oder status eingrenzen "
            "oder limit erhöhen.");
  // Undated cards follow their sortOrder, ties keep insertion order.
  EXPECT_NE(out.find("Karte 0\n"), std::string::npos);
  EXPECT_EQ(out.find("Karte 50"), std::string::npos);
}

TEST_F(ListCardsTest, EqualDueDatesFollowSortOrderThenInsertion) {
  Plan &plan = seed.plan("Gleich");
  const Date due = seed.local(2025, 3, 20, 17);
  Card &c = seed.card(&plan, "c", "CCCCCCCC-0000-4000-8000-000000000003");
  Card &a = seed.card(&plan, "a", "AAAAAAAA-0000-4000-8000-000000000001");
  Card &b = seed.card(&plan, "b", "BBBBBBBB-0000-4000-8000-000000000002");
  for (Card *card : {&a, &b, &c}) {
    card->dueDate = due;
    card->sortOrder = 1;
  }
  a.sortOrder = 0.5;
  EXPECT_EQ(list({{"plan", "Gleich"}}),
            lines({"AAAAAAAA · not_started · fällig 2025-03-20 · a",
                   "CCCCCCCC · not_started · fällig 2025-03-20 · c",
                   "BBBBBBBB · not_started · fällig 2025-03-20 · b"}));
}

TEST_F(ListCardsTest, QueryLowerCasesNonASCIITextToo) {
  Plan &plan = seed.plan("Umlaute");
  seed.card(&plan, "ÄPFEL SCHÄLEN", "EEEEEEEE-0000-4000-8000-000000000001");
  seed.card(&plan, "Birnen", "EEEEEEEE-0000-4000-8000-000000000002").notes =
      "Große Körbe";
  EXPECT_EQ(list({{"query", "äpfel"}}),
            "EEEEEEEE · not_started · Umlaute · ÄPFEL SCHÄLEN");
  EXPECT_EQ(list({{"query", "GROSSE"}}), "Keine Karten gefunden.")
      << "lower-casing, not case folding: ß stays ß";
  EXPECT_EQ(list({{"query", "GROßE KÖRBE"}}),
            "EEEEEEEE · not_started · Umlaute · Birnen");
}

} // namespace
} // namespace taskory::test
