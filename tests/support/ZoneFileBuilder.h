#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace taskory::test {

// A compiled zone file (TZif) as zic writes one, abbreviations left empty.
struct ZoneFileType {
  int32_t offset; // seconds east of UTC
  bool isDaylight;
};

inline std::string zoneFile(
    char version, const std::vector<std::pair<int64_t, uint8_t>> &transitions,
    const std::vector<ZoneFileType> &types, const std::string &footer = {}) {
  std::string out;
  auto put = [&out](int64_t value, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
      out.push_back(
          static_cast<char>((static_cast<uint64_t>(value) >> shift) & 0xff));
  };
  auto block = [&](int width) {
    out += "TZif";
    out.push_back(version);
    out.append(15, '\0');
    for (int64_t count : {0, 0, 0, static_cast<int>(transitions.size()),
                          static_cast<int>(types.size()), 1})
      put(count, 4);
    for (const auto &transition : transitions)
      put(transition.first, width);
    for (const auto &transition : transitions)
      put(transition.second, 1);
    for (const auto &type : types) {
      put(type.offset, 4);
      put(type.isDaylight ? 1 : 0, 1);
      put(0, 1);
    }
    out.push_back('\0');
  };
  block(4);
  if (version != '\0') {
    block(8);
    out += "\n" + footer + "\n";
  }
  return out;
}

} // namespace taskory::test
