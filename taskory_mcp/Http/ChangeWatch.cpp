#include "Http/ChangeWatch.h"

#include <sys/stat.h>
#include <utility>

namespace taskory::HttpServer {
namespace {

struct stat identityOf(const std::filesystem::path &file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0)
    info = {};
  return info;
}

} // namespace

ChangeWatch::ChangeWatch(std::filesystem::path store)
    : store_(std::move(store)), counter_(store_),
      device_(identityOf(store_).st_dev),
      inode_(identityOf(store_).st_ino) {}

std::optional<std::string> ChangeWatch::replacedNotice() {
  const struct stat now = identityOf(store_);
  if (now.st_dev == device_ && now.st_ino == inode_)
    return std::nullopt;
  return "Die Store-Datei wurde ersetzt – bitte den Server neu starten";
}

} // namespace taskory::HttpServer
