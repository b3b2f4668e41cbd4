#include "Server/LineIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace taskory {
namespace {

// A temporary file holding `bytes`, positioned at its start.
struct InputFile {
  explicit InputFile(const std::string &bytes) : file(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    std::rewind(file);
  }
  ~InputFile() { std::fclose(file); }
  int fd() const { return fileno(file); }
  FILE *file;
};

std::vector<std::string> readLines(const std::string &bytes) {
  InputFile input(bytes);
  LineReader reader(input.fd());
  std::vector<std::string> lines;
  std::string line;
  while (reader.next(line))
    lines.push_back(line);
  return lines;
}

TEST(LineReader, SplitsAtLineFeedsOnly) {
  using Lines = std::vector<std::string>;
  const struct {
    std::string input;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"\n\n", {"", ""}},
      {"a\nb\n", {"a", "b"}},
      {"a\nlast", {"a", "last"}},
      {"crlf\r\n", {"crlf\r"}},
      {"lone\rcr\n", {"lone\rcr"}},
      {std::string("nul\0byte\n", 9), {std::string("nul\0byte", 8)}},
      {"\xFF\xFE\n", {"\xFF\xFE"}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(readLines(c.input), c.lines) << testing::PrintToString(c.input);
}

TEST(LineReader, ReadsLinesLongerThanAnyBuffer) {
  const std::string big(10 * 1024 * 1024 + 7, 'x');
  const auto lines = readLines(big + "\nshort\n" + big);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], big);
  EXPECT_EQ(lines[1], "short");
  EXPECT_EQ(lines[2], big);
}

TEST(LineReader, KeepsReturningEndAfterEndOfInput) {
  InputFile input("only");
  LineReader reader(input.fd());
  std::string line;
  EXPECT_TRUE(reader.next(line));
  EXPECT_EQ(line, "only");
  EXPECT_FALSE(reader.next(line));
  EXPECT_FALSE(reader.next(line));
}

TEST(WriteAll, ReportsAGoneReaderAsEPIPE) {
  std::signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  EXPECT_EQ(writeAll(fds[1], "{}\n"), EPIPE);
  ::close(fds[1]);
}

} // namespace
} // namespace taskory
