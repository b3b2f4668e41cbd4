#include "KanbanCore/Uuid.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

namespace taskory {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool isHyphenPosition(std::size_t i) {
  return i == 8 || i == 13 || i == 18 || i == 23;
}

} // namespace

UUID makeUUID() {
  // random_device reads the operating system's generator; a UUID needs
  // nothing faster, and no generator state outlives the call.
  std::random_device device;
  std::array<uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    uint32_t value = device();
    for (std::size_t k = 0; k < 4; ++k)
      bytes[i + k] = static_cast<uint8_t>(value >> (8 * k));
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40); // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80); // RFC 4122
  UUID text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      text.push_back('-');
    text.push_back(kHexDigits[bytes[i] >> 4]);
    text.push_back(kHexDigits[bytes[i] & 0x0f]);
  }
  return text;
}

std::optional<UUID> parseUUID(std::string_view text) {
  if (text.size() != 36)
    return std::nullopt;
  UUID canonical;
  canonical.reserve(36);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (isHyphenPosition(i) ? c != '-' : !isHexDigit(c))
      return std::nullopt;
    canonical.push_back(asciiUpper(c));
  }
  return canonical;
}

std::string canonicalID(std::string_view id) {
  std::string result(id);
  for (char &c : result)
    c = asciiUpper(c);
  return result;
}

std::string shortID(std::string_view id) {
  std::string canonical = canonicalID(id);
  std::size_t end = std::min<std::size_t>(8, canonical.size());
  // Stored ids are meant to be UUIDs, but one written by another program
  // may hold other text: never cut inside a UTF-8 sequence.
  while (end > 0 && end < canonical.size() &&
         (static_cast<unsigned char>(canonical[end]) & 0xc0) == 0x80)
    --end;
  canonical.resize(end);
  return canonical;
}

} // namespace taskory
