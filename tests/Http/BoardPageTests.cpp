#include "Http/BoardPage.h"

#include "Http/BoardSession.h"
#include "KanbanCore/Text.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace taskory {
namespace {

using test::Seed;
using test::TestStore;

// The list item of the card whose (escaped) title is `title`; empty when
// the page shows no such card.
std::string cardItem(const std::string &page, const std::string &title) {
  const std::size_t at = page.find("<div class=\"t\">" + title + "</div>");
  if (at == std::string::npos)
    return {};
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

TEST(BoardPageEscaping, StoredTextCannotOpenMarkupOrBreakEncoding) {
  const struct {
    std::string stored, shown;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"Kisten & Kartons", "Kisten &amp; Kartons"},
      {"\" onmouseover='x'", "&quot; onmouseover=&#39;x&#39;"},
      {"Grüße 🙂", "Grüße 🙂"},
      {"halb\xC3", "halb\xEF\xBF\xBD"},
      {"\xFF<", "\xEF\xBF\xBD&lt;"},
      {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(BoardPage::escaped(c.stored), c.shown) << c.stored;
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

  const std::string page = render();
  for (const std::string markup :
       {"<script>alert", "<b>Plan", "<i>Spalte", "<img", "<svg"})
    EXPECT_EQ(page.find(markup), std::string::npos) << markup;
  for (const std::string shown :
       {"&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;b&gt;Plan&lt;/b&gt;",
        "&lt;i&gt;Spalte&lt;/i&gt;", "&lt;img src=x onerror=alert(2)&gt;",
        "&quot;&gt;&lt;svg onload=alert(3)&gt;", "kaputt \xEF\xBF\xBD("})
    EXPECT_NE(page.find(shown), std::string::npos) << shown;
  EXPECT_TRUE(text::isValidUTF8(page));
}

TEST_F(BoardPageTest, LabelsWearTheirSlotColours) {
  Plan &plan = seed_.plan("Umzug");
  Card &card = seed_.card(seed_.bucket(plan, "Offen"), "Kartons");
  seed_.tag(card, seed_.label(plan, 12, "Dringend"));
  seed_.tag(card, seed_.label(plan, 3, "Einkauf"));

  const std::string item = cardItem(render(), "Kartons");
  // Slot order, each with its palette fill and text colour.
  EXPECT_NE(item.find("<span style=\"background:#CBEBC9;color:#0B6A0B\">"
                      "Einkauf</span><span style=\"background:#C50F1F;"
                      "color:#FFFFFF\">Dringend</span>"),
            std::string::npos)
      << item;
}

TEST_F(BoardPageTest, LateMarkFollowsTheToolsRule) {
  Plan &plan = seed_.plan("Umzug");
  Bucket &bucket = seed_.bucket(plan, "Offen");
  const struct {
    std::string title;
    std::optional<Date> due;
    int64_t percent;
    bool late;
  } cases[] = {
      {"gestern offen", seed_.local(2025, 3, 11, 17), 0, true},
      {"heute früh offen", seed_.local(2025, 3, 12, 8), 50, false},
      {"morgen offen", seed_.local(2025, 3, 13, 17), 0, false},
      {"gestern erledigt", seed_.local(2025, 3, 11, 17), 100, false},
      {"ohne Datum", std::nullopt, 0, false},
  };
  for (const auto &c : cases) {
    Card &card = seed_.card(bucket, c.title);
    card.dueDate = c.due;
    card.percentComplete = c.percent;
  }
  const std::string page = render(withDone());
  for (const auto &c : cases) {
    const std::string item = cardItem(page, c.title);
    ASSERT_FALSE(item.empty()) << c.title;
    EXPECT_EQ(item.find("überfällig") != std::string::npos, c.late) << item;
  }
  EXPECT_NE(cardItem(page, "gestern offen").find("fällig 2025-03-11"),
            std::string::npos);
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

TEST(BoardPageWeek, DaysRunMondayToSundayAcrossDaylightSavingChanges) {
  const Calendar calendar("Europe/Berlin", "de_DE");
  const auto at = [&](int month, int day, int hour) {
    return *calendar.date(2025, month, day, hour);
  };
  const struct {
    Date now;
    std::vector<std::string> days;
  } cases[] = {
      // Clocks go forward on Sunday 30 March.
      {at(3, 26, 12),
       {"2025-03-24 00:00", "2025-03-25 00:00", "2025-03-26 00:00",
        "2025-03-27 00:00", "2025-03-28 00:00", "2025-03-29 00:00",
        "2025-03-30 00:00"}},
      {at(3, 30, 23),
       {"2025-03-24 00:00", "2025-03-25 00:00", "2025-03-26 00:00",
        "2025-03-27 00:00", "2025-03-28 00:00", "2025-03-29 00:00",
        "2025-03-30 00:00"}},
      // Back on Sunday 26 October; the week after starts on Monday.
      {at(10, 27, 0),
       {"2025-10-27 00:00", "2025-10-28 00:00", "2025-10-29 00:00",
        "2025-10-30 00:00", "2025-10-31 00:00", "2025-11-01 00:00",
        "2025-11-02 00:00"}},
      {at(10, 26, 2),
       {"2025-10-20 00:00", "2025-10-21 00:00", "2025-10-22 00:00",
        "2025-10-23 00:00", "2025-10-24 00:00", "2025-10-25 00:00",
        "2025-10-26 00:00"}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> shown;
    for (Date day : BoardPage::weekDays(c.now, calendar))
      shown.push_back(calendar.format(day, "yyyy-MM-dd HH:mm"));
    EXPECT_EQ(shown, c.days) << calendar.format(c.now, "yyyy-MM-dd HH:mm");
  }
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
  EXPECT_NE(item.find("Ziel 2025-04-01"), std::string::npos) << item;
}

TEST(BoardSessionCookie, OnlyThisServersCookieWithTheCurrentSecretOpensTheBoard) {
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
