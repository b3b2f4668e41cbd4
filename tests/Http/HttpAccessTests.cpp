#include "Http/HttpAccess.h"

#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/stat.h>

namespace taskory {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using test::fileMode;

void writeFile(const fs::path &file, const std::string &content, mode_t mode) {
  test::writeFile(file, content);
  ::chmod(file.c_str(), mode);
}

TEST(HttpToken, FirstStartCreatesAPrivateTokenThatLaterStartsReuse) {
  TempDir dir;
  const fs::path file = dir / "http-token";
  const std::string token = HttpAccess::loadOrCreateToken(file);
  EXPECT_EQ(token.size(), 64u);
  EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(fileMode(file), 0600u);
  EXPECT_EQ(HttpAccess::loadOrCreateToken(file), token);
  // Only the token file itself is left behind, no temporary one.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  TempDir other;
  EXPECT_NE(HttpAccess::loadOrCreateToken(other / "http-token"), token);
}

TEST(HttpToken, FileWithoutATokenGetsANewOne) {
  for (const std::string &content :
       {std::string(), std::string("geheim\n"), std::string(64, 'G')}) {
    TempDir dir;
    const fs::path file = dir / "http-token";
    writeFile(file, content, 0600);
    const std::string token = HttpAccess::loadOrCreateToken(file);
    EXPECT_EQ(token.size(), 64u) << content;
    EXPECT_EQ(test::fileBytes(file), token + "\n") << content;
  }
}

TEST(HttpToken, AFileOthersCouldReadOrSwapIsRefusedUntouched) {
  const std::string token(64, 'a');
  TempDir dir;
  writeFile(dir / "readable", token, 0644);
  writeFile(dir / "writable", token, 0620);
  writeFile(dir / "target", token, 0600);
  fs::create_symlink(dir / "target", dir / "link");
  fs::create_directory(dir / "directory");
  for (const char *name : {"readable", "writable", "link", "directory"}) {
    EXPECT_THROW(HttpAccess::loadOrCreateToken(dir / name), std::runtime_error) << name;
  }
  EXPECT_EQ(test::fileBytes(dir / "readable"), token);
  EXPECT_EQ(fileMode(dir / "readable"), 0644u);
}

TEST(HttpAccess, OnlyTheExactBearerTokenAuthorizes) {
  const std::string token = "0123456789abcdef";
  const struct {
    std::string header;
    bool accepted;
  } cases[] = {{"Bearer 0123456789abcdef", true},
               {"BEARER \t0123456789abcdef  ", true},
               {"", false},
               {"Bearer", false},
               {"0123456789abcdef", false},
               {"Basic 0123456789abcdef", false},
               {"Bearer0123456789abcdef", false},
               {"Bearer 0123456789abcde", false},
               {"Bearer 0123456789ABCDEF", false},
               {"Bearer 0123456789abcdef x", false},
               {std::string("Bearer 0123456789abcdef\0", 24), false}};
  for (const auto &c : cases)
    EXPECT_EQ(HttpAccess::carriesToken(c.header, token), c.accepted) << c.header;
  EXPECT_FALSE(HttpAccess::carriesToken("Bearer ", ""));
}

TEST(HttpAccess, HostHeaderMustNameTheLoopbackInterface) {
  const struct {
    std::string host;
    std::string bindHost;
    bool accepted;
  } cases[] = {{"localhost", "127.0.0.1", true},
               {"LocalHost:8080", "127.0.0.1", true},
               {"[::1]:8080", "::1", true},
               {"[::1]", "127.0.0.1", true},
               {"127.0.0.2:8080", "127.0.0.2", true},
               {"[::1]:8080", "127.0.0.2", true},
               {"127.0.0.2:8080", "127.0.0.1", false},
               {"", "127.0.0.1", false},
               {"localhost.evil.example", "127.0.0.1", false},
               {"127.0.0.1.nip.io:80", "127.0.0.1", false},
               {"localhost:", "127.0.0.1", false},
               {"localhost:123456", "127.0.0.1", false},
               {"::1", "::1", false},
               {"0.0.0.0:80", "0.0.0.0", false}};
  for (const auto &c : cases)
    EXPECT_EQ(HttpAccess::isLoopbackHostHeader(c.host, c.bindHost), c.accepted)
        << c.host << " bound to " << c.bindHost;
}

TEST(HttpAccess, OriginMustBeLocalOrListed) {
  const std::vector<std::string> listed = {"https://planer.example"};
  const struct {
    std::string origin;
    bool accepted;
  } cases[] = {{"http://localhost:3000", true},
               {"HTTPS://LOCALHOST:443", true},
               {"http://127.0.0.1:8080", true},
               {"http://[::1]:8080", true},
               {"https://planer.example", true},
               {"https://Planer.Example", true},
               {"", false},
               {"null", false},
               {"file://localhost", false},
               {"http://localhost:3000/mcp", false},
               {"http://localhost.evil.example", false},
               {"http://evil.example", false},
               {"https://planer.example:8443", false},
               {"http://planer.example", false}};
  for (const auto &c : cases)
    EXPECT_EQ(HttpAccess::isAcceptedOrigin(c.origin, listed), c.accepted) << c.origin;
}

} // namespace
} // namespace taskory
