#include "KanbanCore/PrivateFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace taskory::files {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> passwordHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd *result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) !=
          0 ||
      !result || !result->pw_dir || !*result->pw_dir)
    return std::nullopt;
  return fs::path(result->pw_dir);
}

} // namespace

std::optional<fs::path> homeDirectory() {
  if (const char *home = std::getenv("HOME"); home && *home)
    return fs::path(home);
  return passwordHome();
}

std::optional<fs::path> absoluteVariable(const char *name) {
  const char *value = std::getenv(name);
  if (value && value[0] == '/')
    return fs::path(value);
  return std::nullopt;
}

int createPrivateDirectories(const fs::path &dir) {
  if (dir.empty())
    return 0;
  // Asked for on every tool call: one look when it is there already instead
  // of a mkdir for each component of the path.
  if (struct stat info{};
      ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    return 0;
  fs::path current;
  for (const fs::path &part : dir) {
    current /= part;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST)
      return errno;
  }
  struct stat info {};
  if (::stat(dir.c_str(), &info) != 0)
    return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

std::optional<std::string> readRegularFile(const fs::path &file,
                                           std::optional<std::size_t> limit) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return std::nullopt;
  std::optional<std::string> result;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const std::size_t wanted = limit.value_or(SIZE_MAX);
    std::string bytes;
    char buffer[16 * 1024];
    ssize_t got = 0;
    while (
        bytes.size() < wanted &&
        ((got = ::read(fd, buffer,
                       std::min(sizeof buffer, wanted - bytes.size()))) > 0 ||
         (got < 0 && errno == EINTR)))
      if (got > 0)
        bytes.append(buffer, static_cast<std::size_t>(got));
    if (got >= 0)
      result = std::move(bytes);
  }
  ::close(fd);
  return result;
}

} // namespace taskory::files
