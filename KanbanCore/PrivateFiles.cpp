#include "KanbanCore/PrivateFiles.h"

#include <cerrno>
#include <cstdlib>
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

} // namespace taskory::files
