#include "KanbanCore/Text.h"

#include "support/DefaultLocale.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace taskory::text {
namespace {

using namespace std::string_literals;

const std::string kFFFD = "\xEF\xBF\xBD";

// Sets ICU's default locale for one test and restores the previous one.
class WithDefaultLocale : public ::testing::Test {
protected:
  void use(const char *id) {
    ASSERT_TRUE(test::DefaultLocale::set(icu::Locale(id))) << id;
  }

private:
  test::DefaultLocale restore_;
};

// The text search matches an ASCII needle byte for byte in any other text
// on this promise (in every locale that lower-cases like the root one).
TEST_F(WithDefaultLocale, OnlyTwoCharactersBeyondASCIILowerCaseToASCIILetters) {
  use("de_DE");
  ASSERT_TRUE(lowercasesLikeRoot());
  std::vector<char32_t> lowerToASCII;
  for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF)
      continue;
    std::string character;
    icu::UnicodeString(static_cast<UChar32>(c)).toUTF8String(character);
    const std::string lower = lowercased(character);
    if (std::any_of(lower.begin(), lower.end(),
                    [](char b) { return b >= 'a' && b <= 'z'; }))
      lowerToASCII.push_back(c);
  }
  EXPECT_EQ(lowerToASCII, (std::vector<char32_t>{0x130, 0x212A}));
  for (const char *own : {"tr_TR", "az_AZ", "lt_LT"}) {
    use(own);
    EXPECT_FALSE(lowercasesLikeRoot()) << own;
  }
}

TEST(Text, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
  const std::pair<std::string, std::string> cases[] = {
      {"Grüße 😀 a\0b"s, "Grüße 😀 a\0b"s},
      {"\xC0\xAF", kFFFD + kFFFD},                         // overlong "/"
      {"\xED\xA0\x80", kFFFD + kFFFD + kFFFD},             // high surrogate
      {"\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD}, // > U+10FFFF
      {"\xE2\x82", kFFFD},                                 // cut at the end
      {"\xF0\x9F\x98\xF0\x9F\x98\x80z", kFFFD + "😀z"}};
  for (const auto &[input, expected] : cases) {
    EXPECT_EQ(sanitizedUTF8(input), expected) << input;
    EXPECT_EQ(isValidUTF8(input), input == expected) << input;
  }
}

TEST(Text, PrefixesEndBetweenGraphemeClusters) {
  const std::string family = "👨\u200D👩\u200D👧"; // one cluster
  const std::string accented = "e\xCC\x81";     // e + combining acute
  const std::tuple<std::string, std::size_t, std::string> prefixes[] = {
      {family + "x", 1, family},
      {"🇩🇪🇫🇷", 1, "🇩🇪"},
      {"a" + accented + "b", 2, "a" + accented},
      {"a\xE2\x82z", 2, "a" + kFFFD}};
  for (const auto &[text, count, expected] : prefixes)
    EXPECT_EQ(prefixCharacters(text, count), expected)
        << text << " / " << count;
  EXPECT_EQ(characterCount(family + accented), 2u);
}

TEST(Text, CutAfterCharactersOnlyWhenThereAreMore) {
  const std::string family = "👨\u200D👩\u200D👧"; // one cluster, 18 bytes
  const std::string accented = "e\xCC\x81";
  const std::tuple<std::string, std::size_t, std::optional<std::string>>
      cases[] = {
          {"abc", 3, std::nullopt},
          {"abcd", 3, "abc"},
          {family + family, 2, std::nullopt},
          {family + family + "x", 2, family + family},
          {"a" + accented, 2, std::nullopt},
          {"a" + accented + "b", 2, "a" + accented},
          {"", 0, std::nullopt},
          // Latin text with precomposed accents, and what joins across it.
          {"Grüße aus Köln", 5, "Grüße"},
          {"Grüße", 5, std::nullopt},
          {"Straße\xC2\xADname", 7, "Straße\xC2\xAD"}, // soft hyphen
          {"ab" + accented + "c", 3, "ab" + accented},
          {"a\r\nb", 2, "a\r\n"},
          {"a\xFF"
           "bc",
           2, "a\xEF\xBF\xBD"}};
  for (const auto &[text, count, expected] : cases)
    EXPECT_EQ(cutAfterCharacters(text, count), expected)
        << text << " / " << count;
}

TEST_F(WithDefaultLocale, NamesMatchIgnoringOnlyCaseOrNormalForm) {
  use("de_DE");
  const std::tuple<std::string, std::string, bool> names[] = {
      {"ÄPFEL", "äpfel", true},
      {"Einkäufe", "Einka\xCC\x88ufe", true}, // precomposed vs combining
      {"Apfel", "Äpfel", false},              // no diacritic folding
      {"Apfel ", "Apfel", false},             // no trimming
      // An ASCII title against a name that lower-cases to ASCII, both ways.
      {"KILO", "\xE2\x84\xAAilo", true}, // U+212A KELVIN SIGN
      {"\xE2\x84\xAAilo", "kilo", true},
      {"TITEL", "titel", true}};
  for (const auto &[a, b, equal] : names)
    EXPECT_EQ(namesEqual(a, b), equal) << a << " | " << b;
  // Turkish lower-cases I to a dotless i: no ASCII shortcut there.
  use("tr_TR");
  EXPECT_FALSE(namesEqual("TITEL", "titel"));
  EXPECT_TRUE(namesEqual("TITEL", "t\xC4\xB1tel"));
}

TEST_F(WithDefaultLocale, NaturalOrderCountsNumbersWhateverTheCase) {
  use("de_DE");
  NaturalOrder order;
  EXPECT_LT(order.compare("a\xFF", "b"), 0);
  std::vector<std::string> titles = {"Projekt 10", "projekt 9", "Zebra",
                                     "Äpfel", "apfel"};
  std::stable_sort(titles.begin(), titles.end(), std::ref(order));
  EXPECT_EQ(titles, (std::vector<std::string>{"apfel", "Äpfel", "projekt 9",
                                              "Projekt 10", "Zebra"}));
}

TEST_F(WithDefaultLocale, NaturalOrderHoldsUnderThePOSIXLocale) {
  use("en_US_POSIX"); // what ICU makes of LANG=C
  NaturalOrder posix;
  EXPECT_LT(posix.compare("plan 2", "Plan 10"), 0);
  EXPECT_EQ(posix.compare("Einkauf", "EINKAUF"), 0);
}

} // namespace
} // namespace taskory::text
