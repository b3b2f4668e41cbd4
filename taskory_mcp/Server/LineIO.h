#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
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
//
// Memory: a line is handed out where it was read, never copied, and the
// buffer grows with realloc, which moves large blocks by remapping pages
// rather than copying them; so a line of N bytes costs about N. After a line
// of a mebibyte or more, the next call gives that memory back to the system
// (the buffer shrinks, and so does the allocator's free heap, which the
// large request's parsed values have just returned to it): one huge request
// must not leave the process large for the rest of the session.
class LineReader {
public:
  explicit LineReader(int fd) : fd_(fd) {}

  // Points `line` at the next line, valid until the next call; false at end
  // of input. Throws std::bad_alloc when a line does not fit in memory.
  bool next(std::string_view &line);
  // After next() ran out of memory on an overlong line: frees what was
  // buffered of it and reads on past its line feed.
  void skipRestOfLine();

private:
  struct Free {
    void operator()(char *bytes) const { std::free(bytes); }
  };

  bool fill();
  void resize(std::size_t capacity);
  void giveBack();

  int fd_;
  std::unique_ptr<char, Free> data_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;    // bytes held in data_
  std::size_t start_ = 0;   // first byte of the current line in data_
  std::size_t scanned_ = 0; // bytes from start_ known to hold no line feed
  bool atEnd_ = false;
  bool large_ = false; // the line last handed out was large
};

// Writes all of `bytes` to `fd`, continuing after partial writes and
// interruptions and waiting on a non-blocking descriptor that is full.
// Returns 0 on success, else the errno of the failed write (EPIPE when the
// reader has gone; the caller must ignore SIGPIPE to see it).
int writeAll(int fd, std::string_view bytes);

} // namespace taskory
