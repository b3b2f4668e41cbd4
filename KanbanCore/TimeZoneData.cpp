#include "KanbanCore/TimeZoneData.h"

#include <cstddef>

namespace taskory::TimeZoneData {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

class RuleReader {
public:
  explicit RuleReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ == text_.size(); }
  bool peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool take(char c) {
    if (!peek(c))
      return false;
    ++pos_;
    return true;
  }
  bool peekOffset() const {
    return pos_ < text_.size() &&
           (isDigit(text_[pos_]) || text_[pos_] == '+' || text_[pos_] == '-');
  }

  // An abbreviation: three or more letters, or <...> with letters, digits,
  // '+' and '-'. Only its presence matters; ICU never shows it.
  bool name() {
    std::size_t length = 0;
    if (take('<')) {
      while (pos_ < text_.size() && text_[pos_] != '>') {
        const char c = text_[pos_];
        if (!isLetter(c) && !isDigit(c) && c != '+' && c != '-')
          return false;
        ++pos_;
        ++length;
      }
      return take('>') && length >= 3;
    }
    while (pos_ < text_.size() && isLetter(text_[pos_])) {
      ++pos_;
      ++length;
    }
    return length >= 3;
  }

  // [+-]hh[:mm[:ss]] in seconds, hh at most `maxHours`.
  std::optional<int32_t> duration(int maxHours) {
    int sign = 1;
    if (take('-'))
      sign = -1;
    else
      take('+');
    auto hours = number(3);
    if (!hours || *hours > maxHours)
      return std::nullopt;
    int32_t seconds = *hours * 3600;
    if (take(':')) {
      auto minutes = number(2);
      if (!minutes || *minutes > 59)
        return std::nullopt;
      seconds += *minutes * 60;
      if (take(':')) {
        auto secs = number(2);
        if (!secs || *secs > 59)
          return std::nullopt;
        seconds += *secs;
      }
    }
    return sign * seconds;
  }

  // Jn, n or Mm.w.d, then an optional /time.
  std::optional<ChangeDay> changeDay() {
    ChangeDay day;
    if (take('J')) {
      auto n = number(3);
      if (!n || *n < 1 || *n > 365)
        return std::nullopt;
      day.kind = ChangeDay::Kind::dayOfYear;
      day.day = *n;
    } else if (take('M')) {
      auto month = number(2);
      if (!month || *month < 1 || *month > 12 || !take('.'))
        return std::nullopt;
      auto week = number(1);
      if (!week || *week < 1 || *week > 5 || !take('.'))
        return std::nullopt;
      auto weekday = number(1);
      if (!weekday || *weekday > 6)
        return std::nullopt;
      day.kind = ChangeDay::Kind::weekdayOfMonth;
      day.month = *month;
      day.week = *week;
      day.weekday = *weekday;
    } else {
      auto n = number(3);
      if (!n || *n > 365)
        return std::nullopt;
      day.kind = ChangeDay::Kind::zeroBasedDay;
      day.day = *n;
    }
    if (take('/')) {
      auto time = duration(167);
      if (!time)
        return std::nullopt;
      day.seconds = *time;
    }
    return day;
  }

private:
  std::optional<int32_t> number(std::size_t maxDigits) {
    std::size_t digits = 0;
    int32_t value = 0;
    while (pos_ < text_.size() && isDigit(text_[pos_]) && digits < maxDigits) {
      value = value * 10 + (text_[pos_] - '0');
      ++pos_;
      ++digits;
    }
    if (digits == 0 || (pos_ < text_.size() && isDigit(text_[pos_])))
      return std::nullopt;
    return value;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// Big-endian fields of a zone file.
class FileReader {
public:
  explicit FileReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t position() const { return pos_; }
  bool has(std::size_t count) const { return bytes_.size() - pos_ >= count; }
  bool skip(std::size_t count) {
    if (!has(count))
      return false;
    pos_ += count;
    return true;
  }
  int64_t integer(std::size_t width) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
      value = (value << 8) | static_cast<unsigned char>(bytes_[pos_ + i]);
    pos_ += width;
    if (width == 4)
      return static_cast<int32_t>(static_cast<uint32_t>(value));
    return static_cast<int64_t>(value);
  }
  std::string_view rest() const { return bytes_.substr(pos_); }

private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

struct Header {
  char version = 0;
  int64_t isUTCCount, isStandardCount, leapCount, timeCount, typeCount,
      charCount;
};

std::optional<Header> readHeader(FileReader &in) {
  if (!in.has(44) || in.rest().substr(0, 4) != "TZif")
    return std::nullopt;
  Header header;
  header.version = in.rest()[4];
  in.skip(20);
  header.isUTCCount = in.integer(4);
  header.isStandardCount = in.integer(4);
  header.leapCount = in.integer(4);
  header.timeCount = in.integer(4);
  header.typeCount = in.integer(4);
  header.charCount = in.integer(4);
  // Real files hold a few hundred transitions; the bounds keep the size
  // arithmetic below far from overflow.
  for (int64_t count : {header.isUTCCount, header.isStandardCount,
                        header.leapCount, header.timeCount, header.charCount})
    if (count < 0 || count > 1'000'000)
      return std::nullopt;
  if (header.typeCount < 1 || header.typeCount > 256)
    return std::nullopt;
  return header;
}

std::size_t blockSize(const Header &h, std::size_t timeWidth) {
  return static_cast<std::size_t>(
      h.timeCount * (timeWidth + 1) + h.typeCount * 6 + h.charCount +
      h.leapCount * (timeWidth + 4) + h.isStandardCount + h.isUTCCount);
}

std::optional<ZoneFile> readBlock(FileReader &in, const Header &h,
                                  std::size_t timeWidth) {
  if (!in.has(blockSize(h, timeWidth)))
    return std::nullopt;
  ZoneFile zone;
  for (int64_t i = 0; i < h.timeCount; ++i) {
    const int64_t time = in.integer(timeWidth);
    if (!zone.transitions.empty() && time <= zone.transitions.back())
      return std::nullopt;
    zone.transitions.push_back(time);
  }
  for (int64_t i = 0; i < h.timeCount; ++i) {
    const auto index = static_cast<uint8_t>(in.integer(1));
    if (index >= h.typeCount)
      return std::nullopt;
    zone.typeIndices.push_back(index);
  }
  for (int64_t i = 0; i < h.typeCount; ++i) {
    LocalTimeType type;
    const int64_t offset = in.integer(4);
    // RFC 8536 allows -24 h < offset < 26 h.
    if (offset <= -86400 || offset >= 93600)
      return std::nullopt;
    type.offset = static_cast<int32_t>(offset);
    type.isDaylight = in.integer(1) != 0;
    in.skip(1); // abbreviation index
    zone.types.push_back(type);
  }
  in.skip(blockSize(h, timeWidth) -
          static_cast<std::size_t>(h.timeCount * (timeWidth + 1) +
                                   h.typeCount * 6));
  return zone;
}

} // namespace

std::optional<Rule> parseRule(std::string_view text) {
  RuleReader in(text);
  Rule rule;
  if (!in.name() || !in.peekOffset())
    return std::nullopt;
  auto standard = in.duration(24);
  if (!standard)
    return std::nullopt;
  rule.standardOffset = -*standard;
  if (in.atEnd())
    return rule;
  if (!in.name())
    return std::nullopt;
  Rule::Daylight daylight;
  daylight.offset = rule.standardOffset + 3600;
  if (in.peekOffset()) {
    auto offset = in.duration(24);
    if (!offset)
      return std::nullopt;
    daylight.offset = -*offset;
  }
  if (in.atEnd()) {
    daylight.start = {ChangeDay::Kind::weekdayOfMonth, 0, 3, 2, 0, 7200};
    daylight.end = {ChangeDay::Kind::weekdayOfMonth, 0, 11, 1, 0, 7200};
  } else {
    if (!in.take(','))
      return std::nullopt;
    auto start = in.changeDay();
    if (!start || !in.take(','))
      return std::nullopt;
    auto end = in.changeDay();
    if (!end || !in.atEnd())
      return std::nullopt;
    daylight.start = *start;
    daylight.end = *end;
  }
  rule.daylight = daylight;
  return rule;
}

std::optional<ZoneFile> parseZoneFile(std::string_view bytes) {
  FileReader in(bytes);
  auto header = readHeader(in);
  if (!header)
    return std::nullopt;
  if (header->version == 0) {
    auto zone = readBlock(in, *header, 4);
    return zone;
  }
  // Version 2 and later repeat the data with 64-bit times after the 32-bit
  // block, followed by the footer between two line feeds.
  if (!in.skip(blockSize(*header, 4)))
    return std::nullopt;
  auto wide = readHeader(in);
  if (!wide)
    return std::nullopt;
  auto zone = readBlock(in, *wide, 8);
  if (!zone)
    return std::nullopt;
  std::string_view rest = in.rest();
  if (rest.size() >= 2 && rest.front() == '\n') {
    const auto end = rest.find('\n', 1);
    if (end != std::string_view::npos)
      zone->footer = std::string(rest.substr(1, end - 1));
  }
  return zone;
}

} // namespace taskory::TimeZoneData
