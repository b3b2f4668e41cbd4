#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace taskory::HttpServer {

// What the token opens: the token itself (the MCP endpoint), the key of the
// board's address (the board alone) and the secret of the board's cookie.
// Each is derived from the token, so a new token ends every board session.
struct Secrets {
  std::string token;
  std::string boardKey;
  std::string sessionSecret;

  static Secrets of(std::string token);
};

// The token file, read as the store's files are: a file replaced, changed
// or deleted while the server runs is noticed at the next request (a
// deleted one is created anew), so the new token is valid and the old one
// refused from then on. Costs one lstat per request. Safe from any thread.
class TokenFile {
public:
  // Reads or creates the token at once; throws std::runtime_error with a
  // German description of what is wrong (HttpAccess::loadOrCreateToken).
  explicit TokenFile(std::filesystem::path file);

  // The secrets of the file as it is now; nothing while it cannot be read
  // (the reason is logged once), which refuses every token.
  std::shared_ptr<const Secrets> current();

  const std::filesystem::path &file() const { return file_; }

private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const Identity &other) const;
  };
  static Identity identityOf(const struct stat &info);
  void reload();

  const std::filesystem::path file_;
  std::mutex mutex_;
  Identity identity_;                      // guarded by mutex_
  std::shared_ptr<const Secrets> secrets_; // guarded by mutex_
  std::string lastProblem_;                // guarded by mutex_
};

} // namespace taskory::HttpServer
