#include "KanbanCore/Text.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace taskory::text {

namespace {

// Reads one UTF-8 sequence at the start of `text`. Returns true for a
// well-formed sequence; `length` is then its size. For an ill-formed one it
// is the size of the maximal subpart (the longest prefix that could still
// have begun a well-formed sequence, at least one byte), which is what one
// U+FFFD replaces in the Unicode recommended practice that ICU follows too.
bool readSequence(std::string_view text, std::size_t &length) {
  auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  unsigned char lead = byte(0);
  length = 1;
  if (lead < 0x80)
    return true;
  std::size_t need;
  unsigned char low = 0x80, high = 0xBF; // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3;
    if (lead == 0xE0)
      low = 0xA0; // overlong
    else if (lead == 0xED)
      high = 0x9F; // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4;
    if (lead == 0xF0)
      low = 0x90; // overlong
    else if (lead == 0xF4)
      high = 0x8F; // above U+10FFFF
  } else {
    return false; // continuation byte, C0/C1 or F5...FF
  }
  for (std::size_t i = 1; i < need; ++i) {
    if (i >= text.size())
      return false;
    unsigned char next = byte(i);
    unsigned char min = i == 1 ? low : 0x80;
    unsigned char max = i == 1 ? high : 0xBF;
    if (next < min || next > max)
      return false;
    length = i + 1;
  }
  return true;
}

icu::UnicodeString toUnicode(std::string_view text) {
  // fromUTF8 substitutes U+FFFD for ill-formed input on its own.
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUTF8(const icu::UnicodeString &text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString lowered(std::string_view text) {
  icu::UnicodeString unicode = toUnicode(text);
  unicode.toLower(icu::Locale::getDefault());
  return unicode;
}

std::unique_ptr<icu::BreakIterator> makeCharacterIterator() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getDefault(),
                                                  status));
  if (U_FAILURE(status) || !iterator) {
    status = U_ZERO_ERROR;
    iterator.reset(icu::BreakIterator::createCharacterInstance(
        icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
      return nullptr;
  }
  return iterator;
}

// Building an iterator loads its rules each time, which dominated listing
// goals with long notes: each thread keeps one per default locale.
icu::BreakIterator *characterIterator() {
  thread_local std::string locale;
  thread_local std::unique_ptr<icu::BreakIterator> cached;
  const char *name = icu::Locale::getDefault().getName();
  if (!cached || locale != name) {
    cached = makeCharacterIterator();
    locale = name;
  }
  return cached.get();
}

// Offsets (in UTF-16 units of `text`) of the first `limit` cluster ends, or
// of all of them when the text has fewer clusters.
std::size_t clusterEnd(const icu::UnicodeString &text, std::size_t limit,
                       std::size_t &clusters) {
  clusters = 0;
  auto iterator = characterIterator();
  if (!iterator) {
    // Without break data, fall back to code points: still never cuts a
    // UTF-8 sequence.
    int32_t points = text.countChar32();
    clusters = std::min<std::size_t>(limit, static_cast<std::size_t>(points));
    return static_cast<std::size_t>(
        text.moveIndex32(0, static_cast<int32_t>(clusters)));
  }
  iterator->setText(text);
  int32_t end = iterator->first();
  while (clusters < limit) {
    int32_t next = iterator->next();
    if (next == icu::BreakIterator::DONE)
      break;
    end = next;
    ++clusters;
  }
  return static_cast<std::size_t>(end);
}

} // namespace

bool isValidUTF8(std::string_view text) {
  std::size_t length = 0;
  while (!text.empty()) {
    if (!readSequence(text, length))
      return false;
    text.remove_prefix(length);
  }
  return true;
}

std::size_t wellFormedSequenceLength(std::string_view text) {
  std::size_t length = 0;
  return !text.empty() && readSequence(text, length) ? length : 0;
}

std::string sanitizedUTF8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t length = 0;
  while (!text.empty()) {
    if (readSequence(text, length))
      out.append(text.substr(0, length));
    else
      out.append("\xEF\xBF\xBD");
    text.remove_prefix(length);
  }
  return out;
}

std::string lowercased(std::string_view text) { return toUTF8(lowered(text)); }

bool lowercasesLikeRoot() {
  const std::string_view language = icu::Locale::getDefault().getLanguage();
  return language != "tr" && language != "az" && language != "lt";
}

namespace {

// The form namesEqual compares; nothing when normalisation fails.
std::optional<std::string> comparedForm(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2 *nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || !nfc)
    return std::nullopt;
  const icu::UnicodeString normalized = nfc->normalize(lowered(text), status);
  if (U_FAILURE(status))
    return std::nullopt;
  return toUTF8(normalized);
}

bool isASCII(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

} // namespace

NameMatcher::NameMatcher(std::string_view name)
    : name_(name), asciiLowering_(lowercasesLikeRoot()) {
  if (auto key = comparedForm(name)) {
    key_ = std::move(*key);
    keyed_ = true;
  }
}

bool NameMatcher::matches(std::string_view other) const {
  if (other == name_)
    return true;
  if (!keyed_) {
    // Without normalisation only the lower-cased forms can be compared.
    return lowered(other) == lowered(name_);
  }
  // Lower-casing ASCII under root rules gives ASCII, which NFC keeps as it
  // is: most titles never need ICU.
  if (asciiLowering_ && isASCII(other))
    return asciiLowercased(other) == key_;
  const std::optional<std::string> form = comparedForm(other);
  return form ? *form == key_ : lowered(other) == lowered(name_);
}

bool namesEqual(std::string_view a, std::string_view b) {
  return NameMatcher(b).matches(a);
}

std::size_t characterCount(std::string_view text) {
  std::size_t clusters = 0;
  clusterEnd(toUnicode(text), static_cast<std::size_t>(-1), clusters);
  return clusters;
}

std::string prefixCharacters(std::string_view text, std::size_t count) {
  // Cutting the UTF-16 form at a cluster boundary and converting back never
  // splits a sequence; ill-formed input comes back with U+FFFD in place.
  icu::UnicodeString unicode = toUnicode(text);
  std::size_t clusters = 0;
  std::size_t end = clusterEnd(unicode, count, clusters);
  return toUTF8(icu::UnicodeString(unicode, 0, static_cast<int32_t>(end)));
}

namespace {

// Below U+0300, where the combining marks begin, Unicode has no character
// that joins its neighbour into one user-perceived character except CR
// before LF: in text of such code points (Latin letters with their accents
// precomposed, as German text almost always is) each code point is one
// character. Returns the length of the first `count` of them, the whole
// length when there are no more, or nothing when the text holds anything
// else (or is not well-formed UTF-8) and needs the break rules.
std::optional<std::size_t> simpleCharactersEnd(std::string_view text,
                                               std::size_t count) {
  const auto simpleLead = [](unsigned char byte) {
    return byte < 0x80 ? byte != '\r' : byte >= 0xC2 && byte <= 0xCB;
  };
  std::size_t i = 0;
  for (std::size_t seen = 0; i < text.size() && seen < count; ++seen) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (!simpleLead(lead))
      return std::nullopt;
    if (lead < 0x80) {
      ++i;
    } else if (i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  // What follows the cut must not join the last character kept (a
  // combining mark would); a CR there begins a character of its own.
  if (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x80 &&
      !simpleLead(static_cast<unsigned char>(text[i])))
    return std::nullopt;
  return i;
}

} // namespace

std::optional<std::string> cutAfterCharacters(std::string_view text,
                                              std::size_t count) {
  // Every character takes at least one byte.
  if (text.size() <= count)
    return std::nullopt;
  if (const auto end = simpleCharactersEnd(text, count))
    return *end < text.size() ? std::optional<std::string>(text.substr(0, *end))
                              : std::nullopt;
  icu::UnicodeString unicode = toUnicode(text);
  std::size_t clusters = 0;
  const std::size_t end = clusterEnd(unicode, count, clusters);
  if (end >= static_cast<std::size_t>(unicode.length()))
    return std::nullopt;
  return toUTF8(icu::UnicodeString(unicode, 0, static_cast<int32_t>(end)));
}

struct NaturalOrder::Impl {
  std::unique_ptr<icu::Collator> collator;
};

NaturalOrder::NaturalOrder() : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  // Under LANG=C ICU's default locale is en_US_POSIX, whose collation orders
  // by code point (every capital before every small letter). Natural order
  // must ignore case there too, so that locale gets the root collation.
  icu::Locale locale = icu::Locale::getDefault();
  if (std::string_view(locale.getVariant()) == "POSIX")
    locale = icu::Locale::getRoot();
  impl_->collator.reset(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status) || !impl_->collator) {
    status = U_ZERO_ERROR;
    impl_->collator.reset(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
      impl_->collator.reset();
  }
  if (!impl_->collator)
    return;
  // Secondary strength ignores case but keeps accents apart; numeric
  // collation compares digit runs by value ("Plan 2" before "Plan 10").
  impl_->collator->setStrength(icu::Collator::SECONDARY);
  status = U_ZERO_ERROR;
  impl_->collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

NaturalOrder::~NaturalOrder() = default;

int NaturalOrder::compare(std::string_view a, std::string_view b) const {
  if (impl_->collator) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result = impl_->collator->compareUTF8(
        icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
        icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status))
      return static_cast<int>(result);
  }
  int bytes = a.compare(b);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

std::string asciiLowercased(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool equalIgnoringASCIICase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i]))
      return false;
  return true;
}

std::string_view trimmedSpacesAndTabs(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::string joined(const std::vector<std::string> &items,
                   std::string_view separator) {
  std::size_t size = 0;
  for (const std::string &item : items)
    size += item.size() + separator.size();
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0)
      out += separator;
    out += items[i];
  }
  return out;
}

} // namespace taskory::text
