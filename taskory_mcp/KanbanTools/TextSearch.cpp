#include "KanbanTools/TextSearch.h"

#include "KanbanCore/Text.h"

#include <algorithm>

namespace taskory {

TextSearch::TextSearch(std::string_view query)
    : needle_(text::lowercased(query)),
      fastPath_(text::lowercasesLikeRoot()),
      needleIsASCII_(std::all_of(needle_.begin(), needle_.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      })) {}

bool TextSearch::matches(std::string_view title, std::string_view notes) {
  return contains(title) || contains(notes);
}

bool TextSearch::contains(std::string_view haystack) {
  if (fastPath_) {
    switch (lowerASCII(haystack)) {
    case Bytes::ascii:
      // A lower-cased ASCII text holds no other byte than ASCII ones.
      return needleIsASCII_ && buffer_.find(needle_) != std::string::npos;
    case Bytes::utf8:
      if (needleIsASCII_)
        return buffer_.find(needle_) != std::string::npos;
      break;
    case Bytes::lowersToASCII:
      break;
    }
  }
  return text::lowercased(haystack).find(needle_) != std::string::npos;
}

TextSearch::Bytes TextSearch::lowerASCII(std::string_view text) {
  buffer_.resize(text.size());
  bool ascii = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      ascii = false;
      // U+0130 is C4 B0, U+212A is E2 84 AA.
      if ((c == 0xC4 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) == 0xB0) ||
          (c == 0xE2 && text.substr(i + 1, 2) == "\x84\xAA"))
        return Bytes::lowersToASCII;
    }
    buffer_[i] =
        static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
  return ascii ? Bytes::ascii : Bytes::utf8;
}

} // namespace taskory
