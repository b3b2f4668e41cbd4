#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Unicode text helpers over ICU, in the user's default locale. The store is
// shared with other programs, so every function here accepts any bytes:
// invalid UTF-8 is read as U+FFFD and never fails.
namespace taskory::text {

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string sanitizedUTF8(std::string_view text);
bool isValidUTF8(std::string_view text);
// The size of the well-formed UTF-8 sequence `text` starts with; 0 when it
// starts with an ill-formed one or is empty.
std::size_t wellFormedSequenceLength(std::string_view text);

// ASCII letters lower-cased, every other byte kept. For keywords and ids:
// the locale's lower-casing would turn "I" into a dotless i under a Turkish
// locale, so "IN_PROGRESS" would no longer be recognised.
std::string asciiLowercased(std::string_view text);
// Equal once ASCII letters are lower-cased (header names, schemes, origins).
bool equalIgnoringASCIICase(std::string_view a, std::string_view b);

// Without the spaces and tabs at either end (HTTP's optional white space).
std::string_view trimmedSpacesAndTabs(std::string_view text);

// The value of a hex digit in either letter case; -1 for any other byte.
int hexDigitValue(char c);

// The items with `separator` between them.
std::string joined(const std::vector<std::string> &items,
                   std::string_view separator);

// Locale-aware full lower-casing (default locale).
std::string lowercased(std::string_view text);
// Whether the default locale lower-cases like the root locale does: every
// ASCII capital to its small letter, and no other character to anything
// holding an ASCII letter but U+0130 (to "i" and a combining dot) and
// U+212A KELVIN SIGN (to "k"). False for Turkish, Azeri and Lithuanian,
// whose rules for I differ.
bool lowercasesLikeRoot();

// Name equality of the tools: lower-cased in the default locale, then equal
// under canonical equivalence (NFC). No trimming, no diacritic folding.
bool namesEqual(std::string_view a, std::string_view b);

// namesEqual against one name, with that name's compared form made once: for
// finding a name among the titles of thousands of plans.
class NameMatcher {
public:
  explicit NameMatcher(std::string_view name);
  bool matches(std::string_view other) const;

private:
  std::string name_;
  std::string key_; // lower-cased, NFC, as UTF-8
  bool keyed_ = false;
  bool asciiLowering_ = false;
};

// Number of user-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view text);
// The first `count` user-perceived characters; never cuts inside a UTF-8
// sequence or a grapheme cluster.
std::string prefixCharacters(std::string_view text, std::size_t count);
// The same when `text` has more than `count` characters, nothing otherwise:
// one pass where counting and then cutting would take two.
std::optional<std::string> cutAfterCharacters(std::string_view text,
                                              std::size_t count);

// Natural title order: default-locale collator, secondary strength (case
// ignored), digit runs compared by value ("Plan 2" < "Plan 10"). Create one per
// sort; building the collator is the expensive part.
class NaturalOrder {
public:
  NaturalOrder();
  ~NaturalOrder();
  NaturalOrder(const NaturalOrder &) = delete;
  NaturalOrder &operator=(const NaturalOrder &) = delete;

  // <0, 0 or >0.
  int compare(std::string_view a, std::string_view b) const;
  bool operator()(std::string_view a, std::string_view b) const {
    return compare(a, b) < 0;
  }

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace taskory::text
