#include "Http/TokenFile.h"

#include "Http/BoardSession.h"
#include "Http/HttpAccess.h"
#include "Server/KanbanMCPServer.h"

#include <stdexcept>
#include <utility>

namespace taskory::HttpServer {

Secrets Secrets::of(std::string token) {
  Secrets secrets;
  secrets.boardKey = BoardSession::keyFor(token);
  secrets.sessionSecret = BoardSession::secretFor(token);
  secrets.token = std::move(token);
  return secrets;
}

bool TokenFile::Identity::operator==(const Identity &other) const {
  return device == other.device && inode == other.inode &&
         size == other.size && modified.tv_sec == other.modified.tv_sec &&
         modified.tv_nsec == other.modified.tv_nsec &&
         changed.tv_sec == other.changed.tv_sec &&
         changed.tv_nsec == other.changed.tv_nsec;
}

TokenFile::Identity TokenFile::identityOf(const struct stat &info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

TokenFile::TokenFile(std::filesystem::path file) : file_(std::move(file)) {
  std::lock_guard lock(mutex_);
  secrets_ = std::make_shared<const Secrets>(
      Secrets::of(HttpAccess::loadOrCreateToken(file_)));
  struct stat info {};
  if (::lstat(file_.c_str(), &info) == 0)
    identity_ = identityOf(info);
}

std::shared_ptr<const Secrets> TokenFile::current() {
  std::lock_guard lock(mutex_);
  struct stat info {};
  // A file that is gone is made anew by the reload, as at start.
  if (::lstat(file_.c_str(), &info) != 0 || !(identityOf(info) == identity_) ||
      !secrets_)
    reload();
  return secrets_;
}

void TokenFile::reload() {
  try {
    std::string token = HttpAccess::loadOrCreateToken(file_);
    secrets_ = std::make_shared<const Secrets>(Secrets::of(std::move(token)));
    lastProblem_.clear();
  } catch (const std::exception &error) {
    secrets_.reset();
    if (lastProblem_ != error.what()) {
      lastProblem_ = error.what();
      KanbanMCPServer::log(lastProblem_);
    }
  }
  // Taken after the reload, which may have created or replaced the file.
  struct stat info {};
  identity_ = ::lstat(file_.c_str(), &info) == 0 ? identityOf(info) : Identity{};
}

} // namespace taskory::HttpServer
