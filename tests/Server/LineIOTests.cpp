#include "Server/LineIO.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace taskory {
namespace {

// Every line of `bytes`; a reader that yields more after its end adds a mark.
std::vector<std::string> readLines(const std::string &bytes) {
  FILE *file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
  std::rewind(file);
  LineReader reader(fileno(file));
  std::vector<std::string> lines;
  for (std::string_view line; reader.next(line);)
    lines.emplace_back(line);
  if (std::string_view line; reader.next(line))
    lines.push_back("<more after the end>");
  std::fclose(file);
  return lines;
}

TEST(LineReader, SplitsAtLineFeedsOnlyWhateverTheLength) {
  const std::string big(10 * 1024 * 1024 + 7, 'x');
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"\n\n", {"", ""}},
      {"a\nlast", {"a", "last"}},
      {"crlf\r\n", {"crlf\r"}},
      {"lone\rcr\n", {"lone\rcr"}},
      {std::string("nul\0byte\n", 9), {std::string("nul\0byte", 8)}},
      {"\xFF\xFE\n", {"\xFF\xFE"}},
      {big + "\nshort\n" + big, {big, "short", big}}};
  for (const auto &[input, lines] : cases)
    EXPECT_TRUE(readLines(input) == lines)
        << testing::PrintToString(input.substr(0, 20));
}

} // namespace
} // namespace taskory
