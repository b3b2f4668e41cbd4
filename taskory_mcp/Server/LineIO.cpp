#include "Server/LineIO.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace taskory {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// Lines from this size on are large: what they cost is given back.
constexpr std::size_t kLargeLine = 1024 * 1024;

// Blocks until `fd` is ready for `events`; used when a parent hands us a
// non-blocking descriptor, which would otherwise make us spin or give up.
void waitFor(int fd, short events) {
  pollfd descriptor{fd, events, 0};
  while (poll(&descriptor, 1, -1) < 0 && errno == EINTR) {
  }
}

} // namespace

void LineReader::resize(std::size_t capacity) {
  if (capacity == 0) {
    data_.reset();
    capacity_ = 0;
    return;
  }
  void *moved = std::realloc(data_.get(), capacity);
  if (!moved)
    throw std::bad_alloc();
  (void)data_.release();
  data_.reset(static_cast<char *>(moved));
  capacity_ = capacity;
}

void LineReader::giveBack() {
  large_ = false;
  const std::size_t kept = size_ - start_;
  if (start_ > 0 && kept > 0)
    std::memmove(data_.get(), data_.get() + start_, kept);
  size_ = kept;
  start_ = 0;
  if (capacity_ > kept + kReadChunk)
    resize(kept + kReadChunk);
#if defined(__GLIBC__)
  // The request's values were many small blocks that free() keeps in the
  // heap; only trimming hands their pages back.
  malloc_trim(0);
#endif
}

bool LineReader::fill() {
  if (start_ > 0) {
    // Drop consumed lines so that the buffer only ever holds the line being
    // assembled plus one chunk.
    std::memmove(data_.get(), data_.get() + start_, size_ - start_);
    size_ -= start_;
    start_ = 0;
  }
  if (capacity_ - size_ < kReadChunk)
    resize(std::max(capacity_ * 2, size_ + kReadChunk));
  for (;;) {
    const ssize_t count = ::read(fd_, data_.get() + size_, kReadChunk);
    if (count > 0) {
      size_ += static_cast<std::size_t>(count);
      return true;
    }
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitFor(fd_, POLLIN);
      continue;
    }
    atEnd_ = true;
    return false;
  }
}

bool LineReader::next(std::string_view &line) {
  if (large_)
    giveBack();
  for (;;) {
    const std::size_t from = start_ + scanned_;
    if (from < size_) {
      const void *feed = std::memchr(data_.get() + from, '\n', size_ - from);
      if (feed) {
        const auto end = static_cast<std::size_t>(
            static_cast<const char *>(feed) - data_.get());
        line = std::string_view(data_.get() + start_, end - start_);
        start_ = end + 1;
        scanned_ = 0;
        large_ = line.size() >= kLargeLine;
        return true;
      }
      scanned_ = size_ - start_;
    }
    if (atEnd_ || !fill()) {
      if (start_ >= size_)
        return false;
      line = std::string_view(data_.get() + start_, size_ - start_);
      start_ = size_;
      scanned_ = 0;
      large_ = line.size() >= kLargeLine;
      return true;
    }
  }
}

void LineReader::skipRestOfLine() {
  resize(0);
  size_ = 0;
  start_ = 0;
  scanned_ = 0;
  char chunk[4096];
  while (!atEnd_) {
    const ssize_t count = ::read(fd_, chunk, sizeof chunk);
    if (count > 0) {
      const auto *feed = static_cast<const char *>(
          std::memchr(chunk, '\n', static_cast<std::size_t>(count)));
      if (feed) {
        const auto rest = static_cast<std::size_t>(chunk + count - (feed + 1));
        resize(rest + kReadChunk);
        std::memcpy(data_.get(), feed + 1, rest);
        size_ = rest;
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
