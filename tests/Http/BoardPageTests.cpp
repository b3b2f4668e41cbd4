#include "Http/BoardPage.h"

#include "Http/BoardSession.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/Text.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace taskory {
namespace {

using test::Seed;
using test::TestStore;

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

BoardPage::Request withDone() {
  BoardPage::Request request;
  request.showDone = true;
  return request;
}

BoardPage::Request view(BoardPage::View view) {
  BoardPage::Request request;
  request.view = view;
  return request;
}

class BoardPageTest : public ::testing::Test {
protected:
  std::string render(BoardPage::Request request = {}) {
    return BoardPage::render(*context_, store_.calendar, TestStore::kNow,
                             request, 7);
  }

  TestStore store_;
  std::unique_ptr<ModelContext> context_ = store_.context();
  Seed seed_{*context_, store_.calendar, TestStore::kNow};
};

TEST_F(BoardPageTest, MarkupStoredByAnyProgramIsShownAsText) {
  Plan &plan = seed_.plan("<b>Plan</b>");
  Bucket &bucket = seed_.bucket(plan, "<i>Spalte</i>");
  Card &card = seed_.card(bucket, "<script>alert(1)</script>");
  seed_.tag(card, seed_.label(plan, 4, "<img src=x onerror=alert(2)>"));
  seed_.tag(card, seed_.goal(plan, "\"><svg onload=alert(3)>"));
  seed_.card(bucket, "kaputt \xC3\x28");
  seed_.card(bucket, "Kisten & Kartons 'n' Grüße 🙂");
  // Colours land in a style attribute: only a colour gets there.
  seed_.card(bucket, "bunt").colorHex = "red;background:url(//x)";
  bucket.colorHex = "#12345\"><b>";

  const std::string page = render();
  for (const std::string style : {"url(", "red;", "#12345"})
    EXPECT_EQ(page.find(style), std::string::npos) << style;
  for (const std::string markup :
       {"<script>alert", "<b>Plan", "<i>Spalte", "<img", "<svg"})
    EXPECT_EQ(page.find(markup), std::string::npos) << markup;
  for (const std::string shown :
       {"&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;b&gt;Plan&lt;/b&gt;",
        "&lt;i&gt;Spalte&lt;/i&gt;", "&lt;img src=x onerror=alert(2)&gt;",
        "&quot;&gt;&lt;svg onload=alert(3)&gt;", "kaputt \xEF\xBF\xBD(",
        "Kisten &amp; Kartons &#39;n&#39; Grüße 🙂"})
    EXPECT_NE(page.find(shown), std::string::npos) << shown;
  EXPECT_TRUE(text::isValidUTF8(page));
}

TEST_F(BoardPageTest, LabelsWearTheirSlotColours) {
  Plan &plan = seed_.plan("Umzug");
  Card &card = seed_.card(seed_.bucket(plan, "Offen"), "Kartons");
  seed_.tag(card, seed_.label(plan, 12, "Dringend"));
  seed_.tag(card, seed_.label(plan, 3, "Einkauf"));

  const std::string item = cardItem(render(), "Kartons");
  // Slot order, each with its palette fill and the text colour that reads
  // best on it.
  EXPECT_NE(item.find("<span style=\"background:#CBEBC9;color:#000000\">"
                      "Einkauf</span><span style=\"background:#C50F1F;"
                      "color:#ffffff\">Dringend</span>"),
            std::string::npos)
      << item;
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
  Bucket &bucket = seed_.bucket(seed_.plan("Umzug"), "Offen");
  seed_.card(bucket, "gestern").dueDate = seed_.local(2025, 3, 11, 17);
  seed_.card(bucket, "morgen").dueDate = seed_.local(2025, 3, 13, 17);
  const std::string page = render();
  EXPECT_NE(
      cardItem(page, "gestern").find("fällig Di. 11.03.2025 · überfällig"),
      std::string::npos)
      << cardItem(page, "gestern");
  EXPECT_EQ(cardItem(page, "morgen").find("überfällig"), std::string::npos);
}

TEST_F(BoardPageTest, CompletedAndArchivedCardsWaitBehindTheToggle) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  seed_.card(bucket, "offen");
  seed_.card(bucket, "erledigt").percentComplete = 100;
  seed_.card(bucket, "archiviert").isArchived = true;

  const std::string hidden = render();
  EXPECT_FALSE(cardItem(hidden, "offen").empty());
  EXPECT_TRUE(cardItem(hidden, "erledigt").empty());
  EXPECT_TRUE(cardItem(hidden, "archiviert").empty());
  EXPECT_NE(hidden.find("Erledigte und archivierte anzeigen (2)"),
            std::string::npos);

  const std::string shown = render(withDone());
  EXPECT_FALSE(cardItem(shown, "erledigt").empty());
  EXPECT_FALSE(cardItem(shown, "archiviert").empty());
}

TEST_F(BoardPageTest, CardsFollowTheirBucketsAndSortOrder) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &later = seed_.bucket(plan, "Später");
  Bucket &first = seed_.bucket(plan, "Zuerst");
  first.sortOrder = -1;
  seed_.card(first, "zweite").sortOrder = 20;
  seed_.card(first, "erste").sortOrder = 10;
  seed_.card(later, "dritte");

  const std::string page = render();
  const std::size_t zuerst = page.find("<h2>Zuerst");
  const std::size_t spaeter = page.find("<h2>Später");
  ASSERT_NE(zuerst, std::string::npos);
  EXPECT_LT(zuerst, spaeter);
  EXPECT_LT(page.find(">erste<"), page.find(">zweite<"));
  EXPECT_LT(page.find(">zweite<"), spaeter);
  EXPECT_GT(page.find(">dritte<"), spaeter);
}

TEST_F(BoardPageTest, WeekShowsPlannedCardsOnTheirDaysWithTodayMarked) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  seed_.card(bucket, "Donnerstag geplant").plannedDate =
      seed_.local(2025, 3, 13, 9);
  seed_.card(bucket, "Montag geplant").plannedDate =
      seed_.local(2025, 3, 10, 9);
  seed_.card(bucket, "nächste Woche").plannedDate = seed_.local(2025, 3, 17, 9);

  const std::string page = render(view(BoardPage::View::week));
  EXPECT_FALSE(
      cardItem(column(page, "Donnerstag 13.03."), "Donnerstag geplant").empty())
      << page;
  EXPECT_FALSE(
      cardItem(column(page, "Montag 10.03."), "Montag geplant").empty());
  EXPECT_TRUE(cardItem(page, "nächste Woche").empty());
  EXPECT_NE(page.find("<section class=\"col today\"><h2>Mittwoch 12.03. "
                      "(heute)"),
            std::string::npos);
}

TEST_F(BoardPageTest, OnASaturdayTheWeekIsTheOneThePlannerPlans) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  seed_.card(bucket, "Samstag geplant").plannedDate =
      seed_.local(2025, 3, 15, 9);
  seed_.card(bucket, "Montag danach").plannedDate = seed_.local(2025, 3, 17, 9);
  BoardPage::Request week = view(BoardPage::View::week);
  const auto onDay = [&](Date now, const BoardPage::Request &request) {
    return BoardPage::render(*context_, store_.calendar, now, request, 7);
  };

  // Wednesday: this week; Saturday, weekends unplanned: the next one.
  EXPECT_NE(
      onDay(TestStore::kNow, week).find("<h1>Woche 10.03.–16.03.2025</h1>"),
      std::string::npos);
  const std::string saturday = onDay(seed_.local(2025, 3, 15, 10), week);
  EXPECT_NE(saturday.find("<h1>Woche 17.03.–23.03.2025</h1>"),
            std::string::npos);
  EXPECT_FALSE(
      cardItem(column(saturday, "Montag 17.03."), "Montag danach").empty());
  EXPECT_NE(saturday.find("&amp;week=2025-03-10\">← Vorige Woche"),
            std::string::npos);
  EXPECT_NE(saturday.find("&amp;week=2025-03-24\">Nächste Woche →"),
            std::string::npos);

  // A week asked for by a day in it; a day that is none gives the planned week.
  week.week = "2025-03-12";
  EXPECT_NE(
      onDay(seed_.local(2025, 3, 15, 10), week).find("Woche 10.03.–16.03.2025"),
      std::string::npos);
  week.week = "2025-02-30";
  EXPECT_NE(
      onDay(seed_.local(2025, 3, 15, 10), week).find("Woche 17.03.–23.03.2025"),
      std::string::npos);
}

TEST_F(BoardPageTest, CardsSpeakGermanOnThePage) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  Card &urgent = seed_.card(bucket, "Kartons");
  urgent.percentComplete = 50;
  urgent.priorityRaw = static_cast<int64_t>(Priority::urgent);
  seed_.card(bucket, "Lampen");

  const std::string page = render();
  const std::string item = cardItem(page, "Kartons");
  EXPECT_NE(item.find(">In Bearbeitung<"), std::string::npos) << item;
  EXPECT_NE(item.find(">Dringend<"), std::string::npos) << item;
  EXPECT_NE(cardItem(page, "Lampen").find(">Nicht begonnen<"),
            std::string::npos);
  EXPECT_EQ(page.find("in_progress"), std::string::npos);
  EXPECT_EQ(page.find("not_started"), std::string::npos);
  EXPECT_NE(page.find("<title>Umzug – Taskory</title>"), std::string::npos);
}

TEST_F(BoardPageTest, WithoutAChoiceThePageOpensTheToolsFirstPlan) {
  Plan &first = seed_.plan("Alltag");
  Plan &favourite = seed_.plan("Urlaub");
  favourite.isFavorite = true;
  seed_.bucket(first, "Offen");
  seed_.bucket(favourite, "Offen");

  const std::string page = render();
  EXPECT_NE(page.find("<h1>Alltag</h1>"), std::string::npos);
  // Favourites still come first among the plans offered.
  EXPECT_LT(page.find("Urlaub</a>"), page.find(">Alltag</a>"));

  BoardPage::Request unknown;
  unknown.planID = "verschwunden";
  const std::string notice = render(unknown);
  EXPECT_NE(
      notice.find("Diesen Plan gibt es nicht (mehr); gezeigt wird „Alltag“."),
      std::string::npos);
}

TEST_F(BoardPageTest, PlanPickerGroupsFavouritesUnderTheirTitles) {
  for (int i = 0; i < 8; ++i)
    seed_.plan("Plan " + std::to_string(i)).isFavorite = i == 5;
  const std::string page = render();
  const std::size_t group = page.find("<optgroup label=\"Favoriten\">");
  ASSERT_NE(group, std::string::npos) << page;
  EXPECT_LT(group, page.find(">Plan 5</option>"));
  EXPECT_LT(page.find(">Plan 5</option>"),
            page.find("<optgroup label=\"Pläne\">"));
  EXPECT_EQ(page.find("★ Plan"), std::string::npos);
}

TEST_F(BoardPageTest, TheFilterKeepsTheCardsItNames) {
  Plan &plan = seed_.plan("Haushalt");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  Card &tax = seed_.card(bucket, "Lohnsteuerbescheinigung");
  tax.dueDate = seed_.local(2025, 3, 11, 17);
  tax.priorityRaw = static_cast<int64_t>(Priority::urgent);
  seed_.tag(tax, seed_.label(plan, 3, "Papierkram"));
  Card &shopping = seed_.card(bucket, "Einkauf");
  shopping.notes = "Steuerberater anrufen";
  shopping.dueDate = seed_.local(2025, 3, 30, 17);
  seed_.card(bucket, "Fenster putzen");

  const auto shown = [&](BoardPage::Request request) {
    const std::string page = render(request);
    std::vector<std::string> titles;
    for (const std::string title :
         {"Lohnsteuerbescheinigung", "Einkauf", "Fenster putzen"})
      if (!cardItem(page, title).empty())
        titles.push_back(title);
    return titles;
  };
  const struct {
    const char *what;
    std::string BoardPage::Request::*field;
    const char *value;
    std::vector<std::string> titles;
  } cases[] = {
      {"text in title or notes",
       &BoardPage::Request::query,
       "STEUER",
       {"Lohnsteuerbescheinigung", "Einkauf"}},
      {"label",
       &BoardPage::Request::label,
       "Papierkram",
       {"Lohnsteuerbescheinigung"}},
      {"priority",
       &BoardPage::Request::priority,
       "medium",
       {"Einkauf", "Fenster putzen"}},
      {"overdue",
       &BoardPage::Request::due,
       "overdue",
       {"Lohnsteuerbescheinigung"}},
      {"within 30 days",
       &BoardPage::Request::due,
       "30",
       {"Lohnsteuerbescheinigung", "Einkauf"}},
  };
  for (const auto &c : cases) {
    BoardPage::Request request;
    request.*c.field = c.value;
    EXPECT_EQ(shown(request), c.titles) << c.what;
  }
  BoardPage::Request request;
  request.query = "steuer";
  request.showDone = true;
  const std::string page = render(request);
  EXPECT_NE(page.find("name=\"q\" value=\"steuer\""), std::string::npos);
  EXPECT_NE(page.find("2 Karten passen zum Filter."), std::string::npos);
}

TEST_F(BoardPageTest, TodayGathersLateDueDayPlannedAndMyDayCardsAcrossPlans) {
  Bucket &home = seed_.bucket(seed_.plan("Haushalt"), "Offen");
  Bucket &work = seed_.bucket(seed_.plan("Arbeit"), "Offen");
  seed_.card(home, "gestern fällig").dueDate = seed_.local(2025, 3, 11, 17);
  seed_.card(work, "heute fällig").dueDate = seed_.local(2025, 3, 12, 17);
  seed_.card(home, "morgen fällig").dueDate = seed_.local(2025, 3, 13, 17);
  seed_.card(work, "heute geplant").plannedDate = seed_.local(2025, 3, 12, 9);
  seed_.card(home, "morgen geplant").plannedDate = seed_.local(2025, 3, 13, 9);
  seed_.card(work, "mein Tag").isOnMyDay = true;
  Card &done = seed_.card(home, "erledigt, mein Tag");
  done.isOnMyDay = true;
  done.percentComplete = 100;

  const std::string page = render(view(BoardPage::View::today));
  const struct {
    const char *column;
    const char *title;
  } expected[] = {{"Überfällig", "gestern fällig"},
                  {"Heute fällig", "heute fällig"},
                  {"Heute geplant", "heute geplant"},
                  {"Mein Tag", "mein Tag"}};
  for (const auto &e : expected)
    EXPECT_FALSE(cardItem(column(page, e.column), e.title).empty()) << e.column;
  for (const std::string absent :
       {"morgen fällig", "morgen geplant", "erledigt, mein Tag"})
    EXPECT_TRUE(cardItem(page, absent).empty()) << absent;
  EXPECT_NE(cardItem(page, "heute geplant").find(">Arbeit<"),
            std::string::npos);
}

TEST_F(BoardPageTest, GoalsShowProgressAndTargetDate) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  Goal &goal = seed_.goal(plan, "Einzug");
  goal.targetDate = seed_.local(2025, 4, 1, 17);
  Card &done = seed_.card(bucket, "a");
  done.percentComplete = 100;
  seed_.tag(done, goal);
  seed_.tag(seed_.card(bucket, "b"), goal);

  const std::string page = render(view(BoardPage::View::goals));
  const std::string item = page.substr(page.find(">Einzug<"), 300);
  EXPECT_NE(item.find("1/2 Karten"), std::string::npos) << item;
  EXPECT_NE(item.find("Ziel Di. 01.04.2025"), std::string::npos) << item;
  EXPECT_EQ(item.find("überschritten"), std::string::npos) << item;
}

TEST_F(BoardPageTest, GoalsMarkAPassedTargetAndShowNotesAndEmptyPlans) {
  Plan &plan = seed_.plan("Umzug");
  seed_.plan("Garten");
  Goal &late = seed_.goal(plan, "Kündigung");
  late.targetDate = seed_.local(2025, 3, 1, 17);
  late.notes = "Frist\nbeachten";

  const std::string page = render(view(BoardPage::View::goals));
  const std::string item = page.substr(page.find(">Kündigung<"), 400);
  EXPECT_NE(item.find("überschritten"), std::string::npos) << item;
  EXPECT_NE(item.find("keine Karten"), std::string::npos) << item;
  EXPECT_EQ(item.find("<meter"), std::string::npos) << item;
  EXPECT_NE(item.find("Frist\nbeachten"), std::string::npos) << item;
  EXPECT_NE(column(page, "Garten").find("Keine Ziele"), std::string::npos);
}

TEST(BoardSessionCookie,
     OnlyThisServersCookieWithTheCurrentSecretOpensTheBoard) {
  const std::string token(64, 'a');
  const std::string secret = BoardSession::secretFor(token);
  const std::string key = BoardSession::keyFor(token);
  EXPECT_EQ(secret.size(), 64u);
  EXPECT_EQ(key.size(), 64u);
  EXPECT_NE(secret, token);
  EXPECT_NE(key, token);
  EXPECT_NE(key, secret);
  EXPECT_NE(secret, BoardSession::secretFor(std::string(64, 'b')));
  const std::string name = BoardSession::cookieName(8080);
  EXPECT_EQ(name, "taskory_board_8080");
  const struct {
    std::string cookies;
    bool opens;
  } cases[] = {
      {name + "=" + secret, true},
      {"theme=dark; " + name + "=" + secret + "; x=1", true},
      {name + "=old; " + name + "=" + secret, true},
      {name + "=" + token, false},
      {name + "=" + key, false},
      {name + "=" + secret.substr(1), false},
      {"taskory_board_9090=" + secret, false},
      {"taskory_board=" + secret, false},
      {"", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(BoardSession::carriesSecret(c.cookies, name, secret), c.opens)
        << c.cookies;
  EXPECT_FALSE(BoardSession::carriesSecret(name + "=", name, ""));
}

} // namespace
} // namespace taskory
