#include "Http/TokenFile.h"

#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

namespace taskory {
namespace {

namespace fs = std::filesystem;
using HttpServer::TokenFile;
using test::TempDir;

// Written beside the file and renamed over it, as an editor or a script
// replaces a file: a new inode, complete at once.
void replaceToken(const fs::path &file, const std::string &token) {
  const fs::path temporary = file.parent_path() / "new-token";
  test::writeFile(temporary, token + "\n");
  ::chmod(temporary.c_str(), 0600);
  fs::rename(temporary, file);
}

TEST(TokenFile, AReplacedFileIsTakenAtTheNextRequest) {
  TempDir dir;
  TokenFile tokens(dir / "http-token");
  const auto first = tokens.current();
  ASSERT_TRUE(first);
  EXPECT_EQ(tokens.current()->token, first->token);

  const std::string next(64, 'c');
  replaceToken(tokens.file(), next);
  const auto second = tokens.current();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->token, next);
  EXPECT_NE(second->sessionSecret, first->sessionSecret);
  EXPECT_NE(second->boardKey, first->boardKey);
}

TEST(TokenFile, ADeletedFileIsMadeAnewWithANewToken) {
  TempDir dir;
  TokenFile tokens(dir / "http-token");
  const std::string old = tokens.current()->token;
  fs::remove(tokens.file());
  const auto renewed = tokens.current();
  ASSERT_TRUE(renewed);
  EXPECT_NE(renewed->token, old);
  EXPECT_EQ(test::fileMode(tokens.file()), 0600u);
  EXPECT_EQ(tokens.current()->token, renewed->token);
}

TEST(TokenFile, AFileThatCannotBeTrustedRefusesEveryTokenUntilMended) {
  TempDir dir;
  TokenFile tokens(dir / "http-token");
  ::chmod(tokens.file().c_str(), 0644);
  // chmod alone changes no content: the change time tells.
  EXPECT_FALSE(tokens.current());
  ::chmod(tokens.file().c_str(), 0600);
  EXPECT_TRUE(tokens.current());
}

TEST(TokenFile, AFifoInItsPlaceIsRefusedWithoutWaitingForAWriter) {
  TempDir dir;
  const fs::path file = dir / "http-token";
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  try {
    TokenFile{file};
    ADD_FAILURE() << "a FIFO was taken for the token file";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos)
        << error.what();
  }

  fs::remove(file);
  TokenFile tokens(file);
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_FALSE(tokens.current());
}

} // namespace
} // namespace taskory
