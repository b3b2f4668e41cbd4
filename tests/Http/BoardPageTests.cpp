#include "Http/BoardPage.h"

#include "Http/BoardSession.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/Text.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace taskory {
namespace {

using test::contains;
using test::TestStore;
using View = BoardPage::View;

// The list item of the card whose (escaped) title is `title`; empty when
// the page shows no such card.
std::string cardItem(const std::string &page, const std::string &title) {
  const std::size_t end = page.find("\">" + title + "</a>");
  if (end == std::string::npos)
    return {};
  const std::size_t at = page.rfind("<a class=\"t\"", end);
  const std::size_t start = page.rfind("<li", at);
  return page.substr(start, page.find("</li>", at) - start);
}

// The column whose heading begins with `heading`.
std::string column(const std::string &page, const std::string &heading) {
  const std::size_t at = page.find("<h2>" + heading);
  if (at == std::string::npos)
    return {};
  return page.substr(at, page.find("</section>", at) - at);
}

using Request = BoardPage::Request;
Request view(View view, std::string week = {}) {
  Request request;
  request.view = view;
  request.week = std::move(week);
  return request;
}
Request ask(std::string Request::*field, std::string value, bool done = false) {
  Request request;
  request.*field = std::move(value);
  request.showDone = done;
  return request;
}

class BoardPageTest : public test::SeededTest {
protected:
  std::string render(Request request = {}, Date now = kNow) {
    return BoardPage::render(*context, store.calendar, now, request, 7);
  }
  Bucket &bucket(const char *plan = "Umzug") {
    return seed->bucket(seed->plan(plan), "Offen");
  }
  static constexpr Date kNow = TestStore::kNow;
};

TEST_F(BoardPageTest, MarkupStoredByAnyProgramIsShownAsText) {
  Plan &plan = seed->plan("<b>Plan</b>");
  Bucket &bucket = seed->bucket(plan, "<i>Spalte</i>");
  Card &card = seed->card(bucket, "<script>alert(1)</script>");
  seed->tag(card, seed->label(plan, 4, "<img src=x onerror=alert(2)>"));
  seed->tag(card, seed->goal(plan, "\"><svg onload=alert(3)>"));
  seed->card(bucket, "kaputt \xC3\x28");
  seed->card(bucket, "Kisten & Kartons 'n' Grüße 🙂");
  // Colours land in a style attribute: only a colour gets there.
  seed->card(bucket, "bunt").colorHex = "red;background:url(//x)";
  bucket.colorHex = "#12345\"><b>";

  const std::string page = render();
  for (const char *absent : {"url(", "red;", "#12345", "<script>alert",
                             "<b>Plan", "<i>Spalte", "<img", "<svg"})
    EXPECT_FALSE(contains(page, absent));
  for (const char *shown :
       {"&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;b&gt;Plan&lt;/b&gt;",
        "&lt;i&gt;Spalte&lt;/i&gt;", "&lt;img src=x onerror=alert(2)&gt;",
        "&quot;&gt;&lt;svg onload=alert(3)&gt;", "kaputt \xEF\xBF\xBD(",
        "Kisten &amp; Kartons &#39;n&#39; Grüße 🙂"})
    EXPECT_TRUE(contains(page, shown));
  EXPECT_TRUE(text::isValidUTF8(page));
}

TEST_F(BoardPageTest, LabelsWearTheirSlotColours) {
  Plan &plan = seed->plan("Umzug");
  Card &card = seed->card(seed->bucket(plan, "Offen"), "Kartons");
  seed->tag(card, seed->label(plan, 12, "Dringend"));
  seed->tag(card, seed->label(plan, 3, "Einkauf"));
  // Slot order, each with its palette fill and the text colour that reads best
  // on it.
  EXPECT_TRUE(contains(cardItem(render(), "Kartons"),
                       "<span style=\"background:#CBEBC9;color:#000000\">"
                       "Einkauf</span><span style=\"background:#C50F1F;"
                       "color:#ffffff\">Dringend</span>"));
}

// WCAG's contrast ratio of two "#RRGGBB" colours.
double contrast(std::string_view a, std::string_view b) {
  const auto luminance = [](std::string_view hex) {
    constexpr double kWeights[] = {0.2126, 0.7152, 0.0722};
    double sum = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      const double c =
          std::stoi(std::string(hex.substr(1 + 2 * i, 2)), nullptr, 16) / 255.0;
      sum += kWeights[i] *
             (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
  };
  const double x = luminance(a), y = luminance(b);
  return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

TEST(BoardPageLabels, EveryPaletteColourGetsReadableText) {
  for (const LabelColorSpec &colour : PlannerPalette::labelColors) {
    const std::string_view text = BoardPage::textColourOn(colour.backgroundHex);
    EXPECT_GE(contrast(colour.backgroundHex, text), 4.5)
        << colour.backgroundHex << " with " << text;
  }
}

// The rule itself is the core's isLate (CardRenderingTests).
TEST_F(BoardPageTest, LateCardsAreMarkedWithTheirDueDay) {
  Bucket &offen = bucket();
  seed->card(offen, "gestern").dueDate = seed->local(2025, 3, 11, 17);
  seed->card(offen, "morgen").dueDate = seed->local(2025, 3, 13, 17);
  const std::string page = render();
  EXPECT_TRUE(contains(cardItem(page, "gestern"),
                       "fällig Di. 11.03.2025 · überfällig"));
  EXPECT_FALSE(contains(cardItem(page, "morgen"), "überfällig"));
}

TEST_F(BoardPageTest, CompletedAndArchivedCardsWaitBehindTheToggle) {
  Bucket &offen = bucket();
  seed->card(offen, "offen");
  seed->card(offen, "erledigt").percentComplete = 100;
  seed->card(offen, "archiviert").isArchived = true;
  const std::string hidden = render(),
                    shown = render(ask(&Request::query, "", true));
  EXPECT_TRUE(contains(hidden, "Erledigte und archivierte anzeigen (2)"));
  for (const auto &[title, waits] :
       {std::pair{"offen", false}, {"erledigt", true}, {"archiviert", true}}) {
    EXPECT_EQ(cardItem(hidden, title).empty(), waits) << title;
    EXPECT_FALSE(cardItem(shown, title).empty()) << title;
  }
}

TEST_F(BoardPageTest, CardsFollowTheirBucketsAndSortOrder) {
  Plan &plan = seed->plan("Umzug");
  Bucket &later = seed->bucket(plan, "Später");
  Bucket &first = seed->bucket(plan, "Zuerst");
  first.sortOrder = -1;
  seed->card(first, "zweite").sortOrder = 20;
  seed->card(first, "erste").sortOrder = 10;
  seed->card(later, "dritte");
  const std::vector<std::string> parts = {"<h2>Zuerst", ">erste<", ">zweite<",
                                          "<h2>Später", ">dritte<"};
  const std::string page = render();
  std::vector<std::string> shown;
  std::copy_if(parts.begin(), parts.end(), std::back_inserter(shown),
               [&](auto &part) { return contains(page, part); });
  std::sort(shown.begin(), shown.end(),
            [&](auto &a, auto &b) { return page.find(a) < page.find(b); });
  EXPECT_EQ(shown, parts) << "in the order of the page";
}

TEST_F(BoardPageTest, WeekShowsPlannedCardsOnTheirDaysWithTodayMarked) {
  Bucket &offen = bucket();
  seed->card(offen, "Donnerstag geplant").plannedDate =
      seed->local(2025, 3, 13, 9);
  seed->card(offen, "Montag geplant").plannedDate = seed->local(2025, 3, 10, 9);
  seed->card(offen, "nächste Woche").plannedDate = seed->local(2025, 3, 17, 9);
  const std::string page = render(view(View::week));
  EXPECT_FALSE(
      cardItem(column(page, "Donnerstag 13.03."), "Donnerstag geplant").empty())
      << page;
  EXPECT_FALSE(
      cardItem(column(page, "Montag 10.03."), "Montag geplant").empty());
  EXPECT_TRUE(cardItem(page, "nächste Woche").empty());
  EXPECT_TRUE(contains(
      page, "<section class=\"col today\"><h2>Mittwoch 12.03. (heute)"));
}

TEST_F(BoardPageTest, OnASaturdayTheWeekIsTheOneThePlannerPlans) {
  Bucket &offen = bucket();
  seed->card(offen, "Samstag geplant").plannedDate =
      seed->local(2025, 3, 15, 9);
  seed->card(offen, "Montag danach").plannedDate = seed->local(2025, 3, 17, 9);
  const Date saturday = seed->local(2025, 3, 15, 10);
  // Wednesday: this week; Saturday, weekends unplanned: the next one.
  EXPECT_TRUE(
      contains(render(view(View::week)), "<h1>Woche 10.03.–16.03.2025</h1>"));
  const std::string page = render(view(View::week), saturday);
  EXPECT_TRUE(contains(page, "<h1>Woche 17.03.–23.03.2025</h1>"));
  EXPECT_FALSE(
      cardItem(column(page, "Montag 17.03."), "Montag danach").empty());
  EXPECT_TRUE(contains(page, "&amp;week=2025-03-10\">← Vorige Woche"));
  EXPECT_TRUE(contains(page, "&amp;week=2025-03-24\">Nächste Woche →"));
  // A week asked for by a day in it; a day that is none gives the planned week.
  EXPECT_TRUE(contains(render(view(View::week, "2025-03-12"), saturday),
                       "Woche 10.03.–16.03.2025"));
  EXPECT_TRUE(contains(render(view(View::week, "2025-02-30"), saturday),
                       "Woche 17.03.–23.03.2025"));
}

TEST_F(BoardPageTest, CardsSpeakGermanOnThePage) {
  Bucket &offen = bucket();
  Card &urgent = seed->card(offen, "Kartons");
  urgent.percentComplete = 50;
  urgent.priorityRaw = static_cast<int64_t>(Priority::urgent);
  seed->card(offen, "Lampen");
  const std::string page = render();
  EXPECT_TRUE(contains(cardItem(page, "Kartons"), ">In Bearbeitung<"));
  EXPECT_TRUE(contains(cardItem(page, "Kartons"), ">Dringend<"));
  EXPECT_TRUE(contains(cardItem(page, "Lampen"), ">Nicht begonnen<"));
  EXPECT_FALSE(contains(page, "in_progress"));
  EXPECT_FALSE(contains(page, "not_started"));
  EXPECT_TRUE(contains(page, "<title>Umzug – Taskory</title>"));
}

TEST_F(BoardPageTest, WithoutAChoiceThePageOpensTheToolsFirstPlan) {
  bucket("Alltag");
  Plan &favourite = seed->plan("Urlaub");
  favourite.isFavorite = true;
  seed->bucket(favourite, "Offen");
  const std::string page = render();
  EXPECT_TRUE(contains(page, "<h1>Alltag</h1>"));
  // Favourites still come first among the plans offered.
  EXPECT_LT(page.find("Urlaub</a>"), page.find(">Alltag</a>"));
  EXPECT_TRUE(
      contains(render(ask(&Request::planID, "verschwunden")),
               "Diesen Plan gibt es nicht (mehr); gezeigt wird „Alltag“."));
}

TEST_F(BoardPageTest, PlanPickerGroupsFavouritesUnderTheirTitles) {
  for (int i = 0; i < 8; ++i)
    seed->plan("Plan " + std::to_string(i)).isFavorite = i == 5;
  const std::string page = render();
  const std::size_t group = page.find("<optgroup label=\"Favoriten\">");
  ASSERT_NE(group, std::string::npos) << page;
  EXPECT_LT(group, page.find(">Plan 5</option>"));
  EXPECT_LT(page.find(">Plan 5</option>"),
            page.find("<optgroup label=\"Pläne\">"));
  EXPECT_FALSE(contains(page, "★ Plan"));
}

TEST_F(BoardPageTest, TheFilterKeepsTheCardsItNames) {
  Plan &plan = seed->plan("Haushalt");
  Bucket &offen = seed->bucket(plan, "Offen");
  Card &tax = seed->card(offen, "Lohnsteuerbescheinigung");
  tax.dueDate = seed->local(2025, 3, 11, 17);
  tax.priorityRaw = static_cast<int64_t>(Priority::urgent);
  seed->tag(tax, seed->label(plan, 3, "Papierkram"));
  Card &shopping = seed->card(offen, "Einkauf");
  shopping.notes = "Steuerberater anrufen";
  shopping.dueDate = seed->local(2025, 3, 30, 17);
  seed->card(offen, "Fenster putzen");

  const struct {
    const char *what;
    Request request;
    std::vector<std::string> titles;
  } cases[] = {
      {"text in title or notes",
       ask(&Request::query, "STEUER"),
       {"Lohnsteuerbescheinigung", "Einkauf"}},
      {"label",
       ask(&Request::label, "Papierkram"),
       {"Lohnsteuerbescheinigung"}},
      {"priority",
       ask(&Request::priority, "medium"),
       {"Einkauf", "Fenster putzen"}},
      {"overdue", ask(&Request::due, "overdue"), {"Lohnsteuerbescheinigung"}},
      {"within 30 days",
       ask(&Request::due, "30"),
       {"Lohnsteuerbescheinigung", "Einkauf"}}};
  for (const auto &c : cases) {
    const std::string page = render(c.request);
    std::vector<std::string> shown;
    for (const char *title :
         {"Lohnsteuerbescheinigung", "Einkauf", "Fenster putzen"})
      if (!cardItem(page, title).empty())
        shown.push_back(title);
    EXPECT_EQ(shown, c.titles) << c.what;
  }
  const std::string page = render(ask(&Request::query, "steuer", true));
  EXPECT_TRUE(contains(page, "name=\"q\" value=\"steuer\""));
  EXPECT_TRUE(contains(page, "2 Karten passen zum Filter."));
}

TEST_F(BoardPageTest, TodayGathersLateDueDayPlannedAndMyDayCardsAcrossPlans) {
  Bucket &home = bucket("Haushalt"), &work = bucket("Arbeit");
  seed->card(home, "gestern fällig").dueDate = seed->local(2025, 3, 11, 17);
  seed->card(work, "heute fällig").dueDate = seed->local(2025, 3, 12, 17);
  seed->card(home, "morgen fällig").dueDate = seed->local(2025, 3, 13, 17);
  seed->card(work, "heute geplant").plannedDate = seed->local(2025, 3, 12, 9);
  seed->card(home, "morgen geplant").plannedDate = seed->local(2025, 3, 13, 9);
  seed->card(work, "mein Tag").isOnMyDay = true;
  Card &done = seed->card(home, "erledigt, mein Tag");
  done.isOnMyDay = true;
  done.percentComplete = 100;

  const std::string page = render(view(View::today));
  for (const auto &[heading, title] :
       {std::pair{"Überfällig", "gestern fällig"},
        {"Heute fällig", "heute fällig"},
        {"Heute geplant", "heute geplant"},
        {"Mein Tag", "mein Tag"}})
    EXPECT_FALSE(cardItem(column(page, heading), title).empty()) << heading;
  for (const char *absent :
       {"morgen fällig", "morgen geplant", "erledigt, mein Tag"})
    EXPECT_TRUE(cardItem(page, absent).empty()) << absent;
  EXPECT_TRUE(contains(cardItem(page, "heute geplant"), ">Arbeit<"));
}

TEST_F(BoardPageTest, GoalsShowProgressAndTargetDate) {
  Bucket &offen = bucket();
  Goal &goal = seed->goal(*context->plan(*offen.plan), "Einzug");
  goal.targetDate = seed->local(2025, 4, 1, 17);
  Card &done = seed->card(offen, "a");
  done.percentComplete = 100;
  seed->tag(done, goal);
  seed->tag(seed->card(offen, "b"), goal);
  const std::string page = render(view(View::goals));
  const std::string item = page.substr(page.find(">Einzug<"), 300);
  EXPECT_TRUE(contains(item, "1/2 Karten"));
  EXPECT_TRUE(contains(item, "Ziel Di. 01.04.2025"));
  EXPECT_FALSE(contains(item, "überschritten"));
}

TEST_F(BoardPageTest, GoalsMarkAPassedTargetAndShowNotesAndEmptyPlans) {
  Goal &late = seed->goal(seed->plan("Umzug"), "Kündigung");
  seed->plan("Garten");
  late.targetDate = seed->local(2025, 3, 1, 17);
  late.notes = "Frist\nbeachten";
  const std::string page = render(view(View::goals));
  const std::string item = page.substr(page.find(">Kündigung<"), 400);
  for (const char *shown : {"überschritten", "keine Karten", "Frist\nbeachten"})
    EXPECT_TRUE(contains(item, shown));
  EXPECT_FALSE(contains(item, "<meter"));
  EXPECT_TRUE(contains(column(page, "Garten"), "Keine Ziele"));
}

TEST(BoardSessionCookie,
     OnlyThisServersCookieWithTheCurrentSecretOpensTheBoard) {
  const std::string token(64, 'a');
  const std::string secret = BoardSession::secretFor(token);
  const std::string key = BoardSession::keyFor(token);
  EXPECT_EQ(secret.size() + key.size(), 128u);
  EXPECT_TRUE(secret != token && key != token && key != secret);
  EXPECT_NE(secret, BoardSession::secretFor(std::string(64, 'b')));
  const std::string name = BoardSession::cookieName(8080);
  EXPECT_EQ(name, "taskory_board_8080");
  for (const std::string &cookies :
       {name + "=" + secret, "theme=dark; " + name + "=" + secret + "; x=1",
        name + "=old; " + name + "=" + secret})
    EXPECT_TRUE(BoardSession::carriesSecret(cookies, name, secret)) << cookies;
  for (const std::string &cookies :
       {name + "=" + token, name + "=" + key, name + "=" + secret.substr(1),
        "taskory_board_9090=" + secret, "taskory_board=" + secret,
        std::string()})
    EXPECT_FALSE(BoardSession::carriesSecret(cookies, name, secret)) << cookies;
  EXPECT_FALSE(BoardSession::carriesSecret(name + "=", name, ""));
}

} // namespace
} // namespace taskory
