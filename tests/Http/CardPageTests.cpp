#include "Http/CardPage.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "support/Seed.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace taskory {
namespace {

using test::Seed;
using test::TestStore;

class CardPageTest : public ::testing::Test {
protected:
  std::optional<std::string> render(const std::string &id) {
    return BoardPage::renderCard(*context_, store_.calendar, TestStore::kNow,
                                 id, 7);
  }

  TestStore store_;
  std::unique_ptr<ModelContext> context_ = store_.context();
  Seed seed_{*context_, store_.calendar, TestStore::kNow};
};

TEST_F(CardPageTest, ShowsTheCardsWholeStory) {
  Plan &plan = seed_.plan("Umzug");
  Card &card = seed_.card(seed_.bucket(plan, "Offen"), "Kartons besorgen");
  card.notes = "Zeile eins\nZeile zwei";
  card.startDate = seed_.local(2025, 3, 10, 17);
  card.dueDate = seed_.local(2025, 3, 11, 17);
  seed_.item(card, "Baumarkt", true);
  seed_.item(card, "Supermarkt fragen");
  seed_.attachment(card, "Angebot", "https://example.org/angebot.pdf");
  seed_.tag(card, seed_.goal(plan, "Einzug"));
  seed_.tag(card, seed_.label(plan, 3, "Einkauf"));

  const auto page = render(card.id);
  ASSERT_TRUE(page);
  for (const std::string &shown : std::vector<std::string>{
           "<h1>Kartons besorgen</h1>", shortID(card.id), "Umzug / Offen",
        "Nicht begonnen", "Zeile eins\nZeile zwei", "Checkliste 1/2",
        "Supermarkt fragen", "href=\"https://example.org/angebot.pdf\">Angebot",
        "Ziele: Einzug", ">Einkauf</span>", "<dt>Start</dt><dd>Mo. 10.03.2025",
        "<dt>Fällig</dt><dd class=\"late\">Di. 11.03.2025 · überfällig",
        "<title>Kartons besorgen – Taskory</title>"})
    EXPECT_NE(page->find(shown), std::string::npos) << shown;
}

TEST_F(CardPageTest, OnlyWebAddressesInNotesBecomeLinks) {
  Card &card = seed_.card(seed_.bucket(seed_.plan("Umzug"), "Offen"), "Links");
  card.notes = "Siehe https://example.org/a?b=1&c=2. Nicht javascript:alert(1) "
               "und <a href=\"javascript:x\">so</a>";
  seed_.attachment(card, "Skript", "javascript:alert(2)");

  const auto page = render(card.id);
  ASSERT_TRUE(page);
  EXPECT_NE(page->find("<a rel=\"noopener noreferrer\" "
                       "href=\"https://example.org/a?b=1&amp;c=2\">"),
            std::string::npos)
      << *page;
  EXPECT_NE(page->find("</a>. Nicht javascript:alert(1)"), std::string::npos);
  EXPECT_EQ(page->find("href=\"javascript"), std::string::npos);
  EXPECT_NE(page->find("&lt;a href=&quot;javascript:x&quot;&gt;"),
            std::string::npos);
  EXPECT_TRUE(text::isValidUTF8(*page));
}

TEST_F(CardPageTest, AnUnknownIdHasNoPage) {
  EXPECT_FALSE(render("00000000-0000-0000-0000-000000000000"));
  EXPECT_EQ(BoardPage::cardAddress("a b/ü"), "/card/a%20b%2F%C3%BC");
}

} // namespace
} // namespace taskory
