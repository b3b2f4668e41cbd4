#include "ToolsFixture.h"

#include "support/DefaultLocale.h"

namespace taskory::test {
namespace {

std::string notice(int hidden) {
  return "\n… " + std::to_string(hidden) +
         " weitere Karten – mit bucket, query oder status eingrenzen oder "
         "limit erhöhen.";
}

// Two plans with cards C0000001…C0000008 in every state the filters tell apart.
class ListCards : public ToolsTest {
protected:
  void SetUp() override {
    ToolsTest::SetUp();
    Plan &home = seed().plan("Haushalt"), &work = seed().plan("Arbeit");
    Bucket &todo = seed().bucket(home, "Zu erledigen");
    Bucket &doing = seed().bucket(home, "Doing");
    Bucket &workDoing = seed().bucket(work, "doing");
    const auto add = [&](Bucket *bucket, int n, const char *title, Date due,
                         int64_t percent = 0) -> Card & {
      const std::string id = "C000000" + std::to_string(n) +
                             "-0000-4000-8000-00000000000" + std::to_string(n);
      Card &card = bucket ? seed().card(*bucket, title, id)
                          : seed().card(&work, title, id);
      if (due)
        card.dueDate = due;
      card.percentComplete = percent;
      return card;
    };
    add(&todo, 1, "Milch kaufen", local(2025, 3, 14, 17));
    add(&doing, 2, "Steuer", local(2025, 3, 10, 17), 50);
    add(&todo, 3, "Fenster putzen", 0).notes = "Leiter aus dem KELLER holen";
    add(&todo, 4, "Erledigtes", local(2025, 3, 11, 17), 100);
    add(&todo, 5, "Archiv", local(2025, 3, 1, 17)).isArchived = true;
    add(&workDoing, 6, "Bericht", local(2025, 3, 12, 9));
    add(&workDoing, 7, "Meeting", local(2025, 3, 12, 17));
    add(nullptr, 8, "Planung", 0);
  }
  // The titles of a text answer's card lines; the notice line as "-", a
  // line that is no card line as it is.
  Strings titles(const json &args) {
    std::istringstream in(call("list_cards", args));
    Strings out;
    for (std::string line; std::getline(in, line);) {
      const auto last = line.rfind(" · ");
      out.push_back(line.starts_with("…")       ? "-"
                    : last == std::string::npos ? line
                                                : line.substr(last + 4));
    }
    return out;
  }
};

TEST_F(ListCards, FiltersNarrowTheListWhateverTheirArgumentType) {
  const Strings open = {"Steuer",       "Bericht",        "Meeting",
                        "Milch kaufen", "Fenster putzen", "Planung"};
  const std::vector<std::pair<json, Strings>> cases = {
      {R"({"limit": 6, "query": "", "bucket": "", "plan": 7,
           "include_completed": "true"})"_json,
       open},
      {{{"include_completed", true}},
       {"Steuer", "Erledigtes", "Bericht", "Meeting", "Milch kaufen",
        "Fenster putzen", "Planung"}},
      {{{"status", "DONE"}, {"include_completed", false}}, {"Erledigtes"}},
      {{{"query", "keller"}}, {"Fenster putzen"}},
      {{{"due_within_days", 2}}, {"Steuer", "Bericht", "Meeting"}},
      {{{"due_within_days", 1.5}, {"limit", INT64_MAX}}, open},
      {{{"due_within_days", 1e30}}, open},
      {{{"limit", -7}}, {"Steuer", "-"}}};
  for (const auto &[args, expected] : cases)
    EXPECT_EQ(titles(args), expected) << args;
}

// Stored dates past year 9999 stay out of the widest window; those before
// year 1 are all a window that far back holds.
TEST_F(ListCards, FarDayLimitsStopAtTheEndsOfTheCalendar) {
  seed().card(&seed().plan("Fern"), "Nach 9999").dueDate = 1e12;
  seed().card(&seed().plan("Alt"), "Vor dem Jahr 1").dueDate = -1e12;
  const Strings dated = {"Vor dem Jahr 1", "Steuer", "Bericht", "Meeting",
                         "Milch kaufen"};
  const std::vector<std::pair<json, Strings>> cases = {
      {{{"due_within_days", 2'900'000}}, dated},
      {{{"due_within_days", 3'000'000}}, dated},
      {{{"due_within_days", INT64_MAX}}, dated},
      {{{"due_within_days", -700'000}}, {"Vor dem Jahr 1"}},
      {{{"due_within_days", -800'000}}, {"Vor dem Jahr 1"}},
      {{{"due_within_days", INT64_MIN}}, {"Vor dem Jahr 1"}}};
  for (const auto &[args, expected] : cases)
    EXPECT_EQ(titles(args), expected) << args;
}

TEST_F(ListCards, NamedBucketIsLeftOutOfTheLinesButNotItsPlan) {
  EXPECT_EQ(call("list_cards", {{"bucket", "doing"}}), // in every plan
            "C0000002 · in_progress · fällig 2025-03-10 · überfällig · "
            "Haushalt · Steuer\nC0000006 "
            "· not_started · fällig 2025-03-12 09:00 · Arbeit · "
            "Bericht\nC0000007 · not_started · "
            "fällig 2025-03-12 · Arbeit · Meeting");
}

TEST_F(ListCards, UnknownBucketFails) {
  for (const auto &[args, message] : table(R"(
{"plan": "Haushalt", "bucket": "Nix"} | Bucket „Nix“ nicht gefunden. Vorhanden: Zu erledigen, Doing
{"bucket": "Nix"} | Bucket „Nix“ in keinem Plan gefunden
)"))
    EXPECT_EQ(call("list_cards", args), "Fehler: " + message) << args;
}

TEST_F(ListCards, JSONFormatOfNoCardsIsAnEmptyArray) {
  EXPECT_EQ(call("list_cards", {{"query", "zzz"}, {"format", "Json"}}), "[]");
}

// A client that parses the array still learns the list was cut.
TEST_F(ListCards, ACutJSONListIsFollowedByTheNotice) {
  EXPECT_EQ(call("list_cards", {{"format", "json"}, {"limit", 1}}),
            R"([{"bucket":"Doing","due_date":"2025-03-10","id":"C0000002-)"
            R"(0000-4000-8000-000000000002","is_late":true,"plan":"Haushalt",)"
            R"("status":"in_progress","title":"Steuer"}])" +
                notice(5));
}

TEST_F(ListCards, ListsFiftyCardsByDefault) {
  Plan &plan = seed().plan("Viel");
  for (int i = 0; i < 53; ++i)
    seed().card(&plan, "Karte");
  const std::string out = call("list_cards", {{"plan", "Viel"}});
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 50);
  EXPECT_TRUE(out.ends_with("· Karte" + notice(3))) << out;
}

TEST_F(ListCards, EqualDueDatesGoBySortOrderThenInsertion) {
  Plan &plan = seed().plan("Viel");
  for (const char *title : {"ÄPFEL c", "ÄPFEL a", "ÄPFEL b"}) {
    Card &card = seed().card(&plan, title);
    card.dueDate = local(2025, 3, 20, 17);
    card.sortOrder = std::string(title).ends_with('a') ? 0.5 : 1;
  }
  EXPECT_EQ(titles({{"query", "äpfel"}}),
            (Strings{"ÄPFEL a", "ÄPFEL c", "ÄPFEL b"}));
}

// Also where a character lower-cases to ASCII letters, and where ASCII does
// not (a Turkish "I" becomes a dotless i).
TEST_F(ToolsTest, QueryLowerCasesAsTheUserLocaleDoes) {
  struct Case {
    const char *locale, *title, *query;
    bool found;
  };
  // clang-format off
  const Case cases[] = {
      {"de_DE", "KIRMIZI", "kirmizi", true},     {"de_DE", "KIRMIZI", "kırmızı", false},
      {"tr_TR", "KIRMIZI", "kirmizi", false},    {"tr_TR", "KIRMIZI", "kırmızı", true},
      {"tr_TR", "KIRMIZI", "KIRMIZI", true},     {"de_DE", "STEUERERKLÄRUNG Müller", "steuer", true},
      {"de_DE", "STEUERERKLÄRUNG Müller", "erklärung", true},
      {"de_DE", "GROẞE STRAẞE", "straße", true}, {"de_DE", "Grüße aus Köln", "aus k", true},
      {"de_DE", "Grüße aus Köln", "ausk", false}, {"de_DE", "İNDEX ÖFFNEN", "i", true},
      {"de_DE", "20 \u212A Öl", "20 k", true},   {"de_DE", "ÌRA Über", "i", false},
      {"lt_LT", "ÌRA Über", "i", true}};
  // clang-format on
  Plan &plan = seed().plan("Texte");
  for (const Case &c : cases)
    seed().card(&plan, c.title);
  DefaultLocale restore;
  for (const Case &c : cases) {
    ASSERT_TRUE(DefaultLocale::set(icu::Locale(c.locale))) << c.locale;
    EXPECT_EQ(call("list_cards", {{"query", c.query}}).find(c.title) !=
                  std::string::npos,
              c.found)
        << c.locale << " " << c.title << " / " << c.query;
  }
}

// Rows as another program writes them: lower-case ids, colours without "#",
// rule data as a blob, equal orders, an attachment without URL.
TEST_F(ToolsTest, ForeignStoreIsReadAsItIs) {
  Plan &house = seed().plan("Haushalt", "aaaaaaaa-1111-4111-8111-111111111111");
  house.sortOrder =
      seed().plan("Arbeit", "BBBBBBBB-2222-4222-8222-222222222222").sortOrder;
  Bucket &done = seed().bucket(house, "Erledigt", "#00FF00");
  Bucket &todo = seed().bucket(house, "Zu erledigen", "CBEBC9");
  todo.sortOrder = 0;
  Card &card = seed().card(todo, "Wocheneinkauf",
                           "c1000000-0000-4000-8000-000000000000");
  card.notes = "Liste";
  card.dueDate = local(2025, 3, 14, 17);
  card.priorityRaw = 3;
  card.colorHex = "CBEBC9";
  card.recurrenceSeriesID = card.id;
  card.recurrenceOccurrence = 3;
  seed().tag(card, seed().goal(house, "Ordnung"));
  seed().item(card, "Brot", false, "d2000000-0000-4000-8000-000000000000");
  seed()
      .item(card, "Milch", true, "d1000000-0000-4000-8000-000000000000")
      .sortOrder = 0;
  seed().attachment(card, "Foto", std::nullopt, "image");
  seed().card(done, "Erledigt").percentComplete = 100;
  seed().card(todo, "Alt").isArchived = true;
  call("list_plans"); // stores the seeding
  RawConnection(home / "Taskory.store")
      .exec("UPDATE Card SET recurrenceRuleData = "
            "CAST('{\"frequency\":\"weekly\",\"interval\":2,\"daysOfWeek\":[2,"
            "4]}' AS BLOB) WHERE "
            "title = 'Wocheneinkauf'");
  EXPECT_EQ(call("list_plans", {{"ignored", 1}}),
            "BBBBBBBB · Arbeit · offen 0/0\n"
            "AAAAAAAA · Haushalt · offen 1/2 · Buckets: Zu erledigen (1, "
            "#CBEBC9), Erledigt (1, #00FF00) · Ziele: Ordnung");
  EXPECT_EQ(
      call("get_card", {{"card_id", "c10000"}, {"format", "yaml"}}),
      "C1000000 · not_started · important · Haushalt / Zu erledigen · fällig "
      "2025-03-14\nWocheneinkauf\nZiele: Ordnung · Wdh: Alle 2 "
      "Wochen\nNotizen:\nListe\n"
      "Checkliste 1/2:\n[x] Milch (D1000000)\n[ ] Brot (D2000000)\n"
      "Anhänge:\nFoto (image) –\nFarbe CBEBC9 · Serie #3");
}

} // namespace
} // namespace taskory::test
