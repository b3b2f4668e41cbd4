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

TEST(WriteAll, WritesEverythingToAFile) {
  FILE *file = std::tmpfile();
  const std::string bytes(3 * 1024 * 1024, 'y');
  EXPECT_EQ(writeAll(fileno(file), bytes), 0);
  EXPECT_EQ(::lseek(fileno(file), 0, SEEK_CUR),
            static_cast<off_t>(bytes.size()));
  std::fclose(file);
}

TEST(SanitizedUTF8, ReplacesEachMaximalIllFormedSubpart) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string input, expected;
  } cases[] = {
      {"", ""},
      {"plain ASCII", "plain ASCII"},
      {"Pläne → „Ziel“ 😀", "Pläne → „Ziel“ 😀"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\x80", fffd},                                  // stray continuation
      {"\xC3", fffd},                                  // truncated at the end
      {"\xC3(", fffd + "("},                           // truncated before ASCII
      {"\xE2\x86", fffd},                              // two of three bytes
      {"\xE2\x86x", fffd + "x"},                       // ... then ASCII
      {"\xC0\xAF", fffd + fffd},                       // overlong "/"
      {"\xE0\x80\xAF", fffd + fffd + fffd},            // overlong, three bytes
      {"\xED\xA0\x80", fffd + fffd + fffd},            // surrogate U+D800
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, // above U+10FFFF
      {"\xF0\x9F\x98", fffd},                          // three of four bytes
      {"\xFF\xFEok", fffd + fffd + "ok"},
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"}, // U+10FFFF itself
  };
  for (const auto &c : cases)
    EXPECT_EQ(sanitizedUTF8(c.input), c.expected)
        << testing::PrintToString(c.input);
}

} // namespace
} // namespace taskory
