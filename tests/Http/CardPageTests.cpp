#include "Http/CardPage.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <string>

namespace taskory {
namespace {

using test::contains;

class CardPageTest : public test::SeededTest {
protected:
  std::optional<std::string> render(const std::string &id) {
    return BoardPage::renderCard(*context, store.calendar,
                                 test::TestStore::kNow, id, 7);
  }
};

TEST_F(CardPageTest, ShowsTheCardsWholeStory) {
  Plan &plan = seed->plan("Umzug");
  Card &card = seed->card(seed->bucket(plan, "Offen"), "Kartons besorgen");
  card.notes = "Zeile eins\nZeile zwei";
  card.startDate = seed->local(2025, 3, 10, 17);
  card.dueDate = seed->local(2025, 3, 11, 17);
  seed->item(card, "Baumarkt", true);
  seed->item(card, "Supermarkt fragen");
  seed->attachment(card, "Angebot", "https://example.org/angebot.pdf");
  seed->tag(card, seed->goal(plan, "Einzug"));
  seed->tag(card, seed->label(plan, 3, "Einkauf"));

  const std::string page = render(card.id).value_or("no page");
  for (const std::string &shown : std::initializer_list<std::string>{
           "<h1>Kartons besorgen</h1>", shortID(card.id), "Umzug / Offen",
           "Nicht begonnen", "Zeile eins\nZeile zwei", "Checkliste 1/2",
           "Supermarkt fragen",
           "href=\"https://example.org/angebot.pdf\">Angebot", "Ziele: Einzug",
           ">Einkauf</span>", "<dt>Start</dt><dd>Mo. 10.03.2025",
           "<dt>Fällig</dt><dd class=\"late\">Di. 11.03.2025 · überfällig",
           "<title>Kartons besorgen – Taskory</title>"})
    EXPECT_TRUE(contains(page, shown));
}

TEST_F(CardPageTest, OnlyWebAddressesInNotesBecomeLinks) {
  Card &card = seed->card(seed->bucket(seed->plan("Umzug"), "Offen"), "Links");
  card.notes = "Siehe https://example.org/a?b=1&c=2. Nicht javascript:alert(1) "
               "und <a href=\"javascript:x\">so</a>";
  seed->attachment(card, "Skript", "javascript:alert(2)");

  const std::string page = render(card.id).value_or("no page");
  EXPECT_TRUE(contains(page, "<a rel=\"noopener noreferrer\" "
                             "href=\"https://example.org/a?b=1&amp;c=2\">"));
  EXPECT_TRUE(contains(page, "</a>. Nicht javascript:alert(1)"));
  EXPECT_FALSE(contains(page, "href=\"javascript"));
  EXPECT_TRUE(contains(page, "&lt;a href=&quot;javascript:x&quot;&gt;"));
  EXPECT_TRUE(text::isValidUTF8(page));
}

TEST_F(CardPageTest, AnUnknownIdHasNoPage) {
  EXPECT_FALSE(render("00000000-0000-0000-0000-000000000000"));
  EXPECT_EQ(BoardPage::cardAddress("a b/ü"), "/card/a%20b%2F%C3%BC");
}

} // namespace
} // namespace taskory
