#pragma once

// Helpers for tests of the store: a temporary directory, and a plain SQLite
// connection that plays "another program" writing the same file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace taskory::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::filesystem::path &path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / name;
  }

private:
  std::filesystem::path path_;
};

// A connection of our own, outside the store code, or a container's own
// borrowed; a failure fails the test and throws.
class RawConnection {
public:
  explicit RawConnection(const std::filesystem::path &file);
  explicit RawConnection(sqlite3 *borrowed) : db_(borrowed), owned_(false) {}
  ~RawConnection();
  RawConnection(const RawConnection &) = delete;
  RawConnection &operator=(const RawConnection &) = delete;

  void exec(std::string_view sql);
  int64_t integer(std::string_view sql);
  // The first column of the first row as bytes; nothing for NULL or no row.
  std::optional<std::string> text(std::string_view sql);
  bool inTransaction() const;
  sqlite3 *handle() const { return db_; }

private:
  sqlite3 *db_ = nullptr;
  bool owned_ = true;
};

// The whole file as bytes (to prove that a refused file was not touched).
std::string fileBytes(const std::filesystem::path &file);
// Replaces the file's bytes, creating its directory if need be.
void writeFile(const std::filesystem::path &file, std::string_view bytes);
// The file's permission bits.
unsigned fileMode(const std::filesystem::path &file);

// Sets an environment variable for the scope and restores it afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const char *value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

} // namespace taskory::test
