#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/Calendar.h"
#include "KanbanTools/ToolError.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

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

  std::string parseError(const std::string &text) {
    try {
      parse(text);
    } catch (const ToolError &error) {
      return error.message;
    }
    return "<no error>";
  }
};

TEST_F(CardFields, ClearingWordsGiveNoDate) {
  for (const char *text : {"", "none", "None", "NONE", "null", "NULL", "nUlL"})
    EXPECT_EQ(parse(text), std::nullopt) << text;
}

TEST_F(CardFields, InternetDateTimesGiveExactlyThatInstant) {
  struct Case {
    const char *text;
    Date expected;
  };
  const Case cases[] = {
      {"2025-03-01T08:00:00Z", 1740816000},
      {"2025-03-01T09:30:00+01:00", 1740817800},
      {"2025-03-01T02:30:00-05:30", 1740816000},
      {"2024-02-29T23:59:59Z", 1709251199},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1},
      {"0000-03-01T00:00:00Z", -62162035200},
      {"9999-12-31T23:59:59Z", 253402300799},
      // The instant does not depend on the local zone.
      {"2025-03-30T01:30:00Z", 1743298200},
  };
  for (const Case &c : cases)
    EXPECT_EQ(parse(c.text), std::optional<Date>(c.expected)) << c.text;
  EXPECT_EQ(parse("2025-03-01T08:00:00Z", "America/New_York"),
            std::optional<Date>(1740816000));
}

TEST_F(CardFields, PlainDatesMeanFivePmLocalTime) {
  struct Case {
    const char *text;
    Date expected;
  };
  const Case cases[] = {
      {"2025-03-01", 1740844800}, // 17:00 CET
      {"2025-03-30", 1743346800}, // the spring-forward day, 17:00 CEST
      {"2025-10-26", 1761494400}, // the fall-back day, 17:00 CET
      {"2024-02-29", 1709222400},
      {"2025-3-1", 1740844800}, // single-digit month and day are read too
  };
  for (const Case &c : cases)
    EXPECT_EQ(parse(c.text), std::optional<Date>(c.expected)) << c.text;
}

TEST_F(CardFields, PlainDateOnASkippedDayMovesToTheNextExistingTime) {
  // Samoa jumped from 29 to 31 December 2011: the 30th has no 17:00 at all,
  // and the next existing time is midnight at the start of the 31st.
  Calendar apia("Pacific/Apia", "de_DE");
  auto expected = apia.date(2011, 12, 31, 0, 0, 0);
  ASSERT_TRUE(expected);
  EXPECT_EQ(parse("2011-12-30", "Pacific/Apia"), expected);
}

TEST_F(CardFields, UnreadableDatesNameTheInputAndTheFormats) {
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
                           "2025-00-10",
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
                           "morgen",
                           "noneX",
                           "99999999999999999999-01-01",
                           "999999999999999999-01-01",
                           "2025-03-01T08:00:00Z\n"})
    EXPECT_EQ(parseError(text), std::string("Datum nicht lesbar: ") + text +
                                    " (erwartet YYYY-MM-DD oder ISO-8601)")
        << text;
}

TEST_F(CardFields, StatusWordsInAnyLetterCase) {
  struct Case {
    const char *text;
    CardProgress expected;
  };
  const Case cases[] = {
      {"not_started", CardProgress::notStarted},
      {"NotStarted", CardProgress::notStarted},
      {"in_progress", CardProgress::inProgress},
      {"INPROGRESS", CardProgress::inProgress},
      {"completed", CardProgress::completed},
      {"DONE", CardProgress::completed},
  };
  for (const Case &c : cases)
    EXPECT_EQ(KanbanTools::parseStatus(c.text), c.expected) << c.text;
  for (const char *text : {"", "started", "in progress", "erledigt", "done "}) {
    try {
      KanbanTools::parseStatus(text);
      ADD_FAILURE() << text;
    } catch (const ToolError &error) {
      EXPECT_EQ(error.message, std::string("Unbekannter Status: ") + text);
    }
  }
}

TEST_F(CardFields, PriorityWordsInAnyLetterCase) {
  struct Case {
    const char *text;
    Priority expected;
  };
  const Case cases[] = {{"urgent", Priority::urgent},
                        {"Important", Priority::important},
                        {"MEDIUM", Priority::medium},
                        {"low", Priority::low}};
  for (const Case &c : cases)
    EXPECT_EQ(KanbanTools::parsePriority(c.text), c.expected) << c.text;
  for (const char *text : {"", "high", "dringend", "5"}) {
    try {
      KanbanTools::parsePriority(text);
      ADD_FAILURE() << text;
    } catch (const ToolError &error) {
      EXPECT_EQ(error.message, std::string("Unbekannte Priorität: ") + text);
    }
  }
}

} // namespace
} // namespace taskory
