#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-level input and output of the protocol: lines from a file descriptor,
// whole messages to a file descriptor. Plain read(2) and write(2) rather than
// iostreams, so that no locale, no stream buffer and no sync with stdio can
// change a byte or hold one back.
namespace taskory {

// Splits the bytes of `fd` into lines. A line may be of any length and may
// hold any bytes, NUL included; the line feed is removed and nothing else (a
// carriage return before it stays, and the JSON parser reads it as
// whitespace). A last line without a line feed is still returned. Interrupted
// reads are retried and a non-blocking descriptor is waited for; a read error
// counts as end of input. Does not own `fd`.
class LineReader {
public:
  explicit LineReader(int fd) : fd_(fd) {}

  // Stores the next line in `line`; false at end of input.
  bool next(std::string &line);
  // After next() ran out of memory on an overlong line: frees what was
  // buffered of it and reads on past its line feed.
  void skipRestOfLine();

private:
  bool fill();

  int fd_;
  std::string buffer_;
  std::size_t start_ = 0;   // first byte of the current line in buffer_
  std::size_t scanned_ = 0; // bytes from start_ known to hold no line feed
  bool atEnd_ = false;
};

// Writes all of `bytes` to `fd`, continuing after partial writes and
// interruptions and waiting on a non-blocking descriptor that is full.
// Returns 0 on success, else the errno of the failed write (EPIPE when the
// reader has gone; the caller must ignore SIGPIPE to see it).
int writeAll(int fd, std::string_view bytes);

} // namespace taskory
