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
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()),
                          fs::directory_iterator()),
            1);
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
    EXPECT_THROW(HttpAccess::loadOrCreateToken(dir / name), std::runtime_error)
        << name;
  }
  EXPECT_EQ(test::fileBytes(dir / "readable"), token);
  EXPECT_EQ(fileMode(dir / "readable"), 0644u);
}

TEST(HttpAccess, OnlyTheExactBearerTokenAuthorizes) {
  const std::string token = "0123456789abcdef";
  for (const char *header :
       {"Bearer 0123456789abcdef", "BEARER \t0123456789abcdef  "})
    EXPECT_TRUE(HttpAccess::carriesToken(header, token)) << header;
  for (const std::string &header : std::initializer_list<std::string>{
           "", "Bearer", "0123456789abcdef", "Basic 0123456789abcdef",
           "Bearer0123456789abcdef", "Bearer 0123456789abcde",
           "Bearer 0123456789ABCDEF", "Bearer 0123456789abcdef x",
           std::string("Bearer 0123456789abcdef\0", 24)})
    EXPECT_FALSE(HttpAccess::carriesToken(header, token)) << header;
  EXPECT_FALSE(HttpAccess::carriesToken("Bearer ", ""));
}

TEST(HttpAccess, HostHeaderMustNameTheLoopbackInterface) {
  // Each: a Host header and the address the server is bound to.
  const std::pair<const char *, const char *> accepted[] = {
      {"localhost", "127.0.0.1"},      {"LocalHost:8080", "127.0.0.1"},
      {"[::1]:8080", "::1"},           {"[::1]", "127.0.0.1"},
      {"127.0.0.2:8080", "127.0.0.2"}, {"[::1]:8080", "127.0.0.2"}};
  for (const auto &[host, bound] : accepted)
    EXPECT_TRUE(HttpAccess::isLoopbackHostHeader(host, bound))
        << host << " bound to " << bound;
  for (const char *host :
       {"127.0.0.2:8080", "", "localhost.evil.example", "127.0.0.1.nip.io:80",
        "localhost:", "localhost:123456"})
    EXPECT_FALSE(HttpAccess::isLoopbackHostHeader(host, "127.0.0.1")) << host;
  EXPECT_FALSE(HttpAccess::isLoopbackHostHeader("::1", "::1"))
      << "IPv6 without brackets";
  EXPECT_FALSE(HttpAccess::isLoopbackHostHeader("0.0.0.0:80", "0.0.0.0"));
}

TEST(HttpAccess, OriginMustBeLocalOrListed) {
  const std::vector<std::string> listed = {"https://planer.example"};
  for (const char *origin :
       {"http://localhost:3000", "HTTPS://LOCALHOST:443",
        "http://127.0.0.1:8080", "http://[::1]:8080", "https://planer.example",
        "https://Planer.Example"})
    EXPECT_TRUE(HttpAccess::isAcceptedOrigin(origin, listed)) << origin;
  for (const char *origin :
       {"", "null", "file://localhost", "http://localhost:3000/mcp",
        "http://localhost.evil.example", "http://evil.example",
        "https://planer.example:8443", "http://planer.example"})
    EXPECT_FALSE(HttpAccess::isAcceptedOrigin(origin, listed)) << origin;
}

} // namespace
} // namespace taskory
