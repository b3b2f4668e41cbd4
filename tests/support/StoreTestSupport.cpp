#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace taskory::test {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "taskory-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

RawConnection::RawConnection(const std::filesystem::path &file) {
  if (sqlite3_open_v2(file.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db_);
    throw std::runtime_error("open failed");
  }
  sqlite3_busy_timeout(db_, 5000);
}

RawConnection::~RawConnection() {
  if (owned_)
    sqlite3_close_v2(db_);
}

bool RawConnection::inTransaction() const {
  return sqlite3_get_autocommit(db_) == 0;
}

void RawConnection::exec(std::string_view sql) {
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
    throw std::runtime_error("exec failed");
  }
}

namespace {
template <class F> auto firstValue(sqlite3 *db, std::string_view sql, F read) {
  sqlite3_stmt *stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt,
                         nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    throw std::runtime_error("prepare failed");
  }
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    throw std::runtime_error("step failed");
  }
  auto value = read(rc == SQLITE_ROW ? stmt : nullptr);
  sqlite3_finalize(stmt);
  return value;
}
} // namespace

int64_t RawConnection::integer(std::string_view sql) {
  return firstValue(db_, sql, [](sqlite3_stmt *stmt) -> int64_t {
    return stmt ? sqlite3_column_int64(stmt, 0) : 0;
  });
}

std::optional<std::string> RawConnection::text(std::string_view sql) {
  return firstValue(db_, sql,
                    [](sqlite3_stmt *stmt) -> std::optional<std::string> {
                      if (!stmt || sqlite3_column_type(stmt, 0) == SQLITE_NULL)
                        return std::nullopt;
                      const void *data = sqlite3_column_blob(stmt, 0);
                      int size = sqlite3_column_bytes(stmt, 0);
                      return std::string(static_cast<const char *>(data),
                                         static_cast<std::size_t>(size));
                    });
}

std::string fileBytes(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::filesystem::path &file, std::string_view bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

unsigned fileMode(const std::filesystem::path &file) {
  struct stat info {};
  EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
  return info.st_mode & 0777;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name) {
  if (const char *old = std::getenv(name))
    old_ = old;
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    ::setenv(name_.c_str(), old_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

} // namespace taskory::test
