#pragma once

#include <string>
#include <string_view>

namespace taskory {

// Substring search in the locale lower-cased title or notes. Lower-casing
// through ICU costs a conversion per text, which dominates a search over a
// large store. Wherever the locale lower-cases like the root locale (all but
// the Turkic and Lithuanian ones; checked once per search), lower-casing
// turns ASCII capitals into ASCII small letters and every other character
// into characters without ASCII letters, except U+0130 and U+212A. So an
// ASCII needle is found in the text with only its ASCII bytes lower-cased,
// byte for byte, unless the text holds one of those two; then, and for a
// needle beyond ASCII in a text that is not ASCII, ICU decides.
class TextSearch {
public:
  explicit TextSearch(std::string_view query);

  // Whether the title or the notes hold the query, both lower-cased by the
  // user's locale. Not safe from two threads at once (it keeps a buffer).
  bool matches(std::string_view title, std::string_view notes);

private:
  bool contains(std::string_view haystack);

  enum class Bytes { ascii, utf8, lowersToASCII };
  // `text` with its ASCII letters lower-cased into buffer_, and what else it
  // holds.
  Bytes lowerASCII(std::string_view text);

  std::string needle_;
  bool fastPath_;
  bool needleIsASCII_;
  std::string buffer_;
};

} // namespace taskory
