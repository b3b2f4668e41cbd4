#include "Server/LineIO.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace taskory {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Blocks until `fd` is ready for `events`; used when a parent hands us a
// non-blocking descriptor, which would otherwise make us spin or give up.
void waitFor(int fd, short events) {
  pollfd descriptor{fd, events, 0};
  while (poll(&descriptor, 1, -1) < 0 && errno == EINTR) {
  }
}

} // namespace

bool LineReader::fill() {
  if (start_ > 0) {
    // Drop consumed lines so that the buffer only ever holds the line being
    // assembled plus one chunk.
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const std::size_t oldSize = buffer_.size();
  buffer_.resize(oldSize + kReadChunk);
  for (;;) {
    const ssize_t count = ::read(fd_, buffer_.data() + oldSize, kReadChunk);
    if (count > 0) {
      buffer_.resize(oldSize + static_cast<std::size_t>(count));
      return true;
    }
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitFor(fd_, POLLIN);
      continue;
    }
    buffer_.resize(oldSize);
    atEnd_ = true;
    return false;
  }
}

bool LineReader::next(std::string &line) {
  for (;;) {
    const std::size_t from = start_ + scanned_;
    if (from < buffer_.size()) {
      const void *feed =
          std::memchr(buffer_.data() + from, '\n', buffer_.size() - from);
      if (feed) {
        const auto end = static_cast<std::size_t>(
            static_cast<const char *>(feed) - buffer_.data());
        line.assign(buffer_, start_, end - start_);
        start_ = end + 1;
        scanned_ = 0;
        return true;
      }
      scanned_ = buffer_.size() - start_;
    }
    if (atEnd_ || !fill()) {
      if (start_ >= buffer_.size())
        return false;
      line.assign(buffer_, start_, std::string::npos);
      start_ = buffer_.size();
      scanned_ = 0;
      return true;
    }
  }
}

void LineReader::skipRestOfLine() {
  std::string().swap(buffer_);
  start_ = 0;
  scanned_ = 0;
  char chunk[4096];
  while (!atEnd_) {
    const ssize_t count = ::read(fd_, chunk, sizeof chunk);
    if (count > 0) {
      const auto *feed = static_cast<const char *>(
          std::memchr(chunk, '\n', static_cast<std::size_t>(count)));
      if (feed) {
        buffer_.assign(feed + 1, static_cast<std::size_t>(chunk + count - (feed + 1)));
        return;
      }
      continue;
    }
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitFor(fd_, POLLIN);
      continue;
    }
    atEnd_ = true;
  }
}

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(count));
      continue;
    }
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      waitFor(fd, POLLOUT);
      continue;
    }
    return errno;
  }
  return 0;
}

} // namespace taskory
