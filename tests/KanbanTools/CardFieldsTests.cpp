#include "KanbanTools/KanbanTools.h"

#include "KanbanTools/ToolError.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

namespace taskory {
namespace {

class CardFields : public ::testing::Test {
protected:
  test::TestStore store;
  std::unique_ptr<ModelContext> context = store.context();

  std::optional<Date> parse(const std::string &text,
                            const char *zone = "Europe/Berlin") {
    KanbanTools tools(*context, test::TestStore::kNow, Calendar(zone, "de_DE"));
    return tools.parseOptionalDate(text);
  }
  template <class Parse> std::string error(Parse parse) {
    try {
      parse();
    } catch (const ToolError &error) {
      return error.message;
    }
    return "<no error>";
  }
};

TEST_F(CardFields, AcceptedDates) {
  const std::pair<const char *, std::optional<Date>> cases[] = {
      {"", std::nullopt},
      {"None", std::nullopt},
      {"NULL", std::nullopt},
      {"2025-03-01T08:00:00Z", 1740816000},
      {"2025-03-01T09:30:00+01:00", 1740817800},
      {"2025-03-01T02:30:00-05:30", 1740816000},
      {"2024-02-29T23:59:59Z", 1709251199},
      {"1969-12-31T23:59:59Z", -1},
      {"9999-12-31T23:59:59Z", 253402300799},
      {"2025-03-01", 1740844800}, // 17:00 CET
      {"2025-3-1", 1740844800},
      {"2025-03-30", 1743346800}, // spring-forward day, 17:00 CEST
      {"2025-10-26", 1761494400}, // fall-back day, 17:00 CET
  };
  for (const auto &[text, expected] : cases)
    EXPECT_EQ(parse(text), expected) << text;
  EXPECT_EQ(parse("2025-03-01T08:00:00Z", "America/New_York"),
            std::optional<Date>(1740816000));
  // Samoa skipped 30 December 2011: its next existing time is the 31st, 00:00.
  EXPECT_EQ(parse("2011-12-30", "Pacific/Apia"),
            Calendar("Pacific/Apia", "de_DE").date(2011, 12, 31));
}

TEST_F(CardFields, UnreadableDates) {
  for (const char *text : {"01.03.2025",
                           "2025-03-01T08:00",
                           "2025-03-01T08:00:00",
                           "2025-03-01T08:00:00.500Z",
                           "2025-03-01 08:00:00Z",
                           "2025-03-01x",
                           " 2025-03-01",
                           "2025-03-01 ",
                           "2025-02-29",
                           "2025-02-29T08:00:00Z",
                           "2025-13-01",
                           "2025-04-31",
                           "2025-03-00",
                           "2025-03-01T24:00:00Z",
                           "2025-03-01T23:60:00Z",
                           "2025-03-01T23:59:60Z",
                           "2025-03-01T08:00:00+01:60",
                           "2025-03-01T08:00:00+0100",
                           "2025-03-01T08:00:00z",
                           "-2025-03-01",
                           "2025-003-01",
                           "noneX",
                           "0000-01-01",
                           "10000-01-01",
                           "999999999999999999-01-01",
                           "99999999999999999999-01-01"})
    EXPECT_EQ(error([&] { parse(text); }),
              std::string("Datum nicht lesbar: ") + text +
                  " (erwartet YYYY-MM-DD oder ISO-8601)")
        << text;
}

TEST_F(CardFields, StatusAndPriorityWordsInAnyLetterCase) {
  const std::pair<const char *, CardProgress> statuses[] = {
      {"not_started", CardProgress::notStarted},
      {"NotStarted", CardProgress::notStarted},
      {"IN_PROGRESS", CardProgress::inProgress},
      {"inprogress", CardProgress::inProgress},
      {"completed", CardProgress::completed},
      {"DONE", CardProgress::completed}};
  for (const auto &[text, expected] : statuses)
    EXPECT_EQ(KanbanTools::parseStatus(text), expected) << text;
  const std::pair<const char *, Priority> priorities[] = {
      {"urgent", Priority::urgent},
      {"Important", Priority::important},
      {"MEDIUM", Priority::medium},
      {"low", Priority::low}};
  for (const auto &[text, expected] : priorities)
    EXPECT_EQ(KanbanTools::parsePriority(text), expected) << text;
  for (const char *text : {"", "started", "in progress", "done "})
    EXPECT_EQ(error([&] { KanbanTools::parseStatus(text); }),
              std::string("Unbekannter Status: ") + text);
  for (const char *text : {"", "high", "5"})
    EXPECT_EQ(error([&] { KanbanTools::parsePriority(text); }),
              std::string("Unbekannte Priorität: ") + text);
}

} // namespace
} // namespace taskory
