#include "Http/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace taskory {
namespace {

std::variant<HttpServer::Options, std::string>
parse(std::vector<std::string_view> arguments) {
  return HttpServer::parseOptions(arguments);
}

TEST(HttpOptions, AddressFormsGiveHostAndPort) {
  // clang-format off
  const struct {
    std::vector<std::string_view> arguments;
    std::string host;
    int port;
  } cases[] = {
      {{"--http", "8080"}, "127.0.0.1", 8080},          {{"--http", "0"}, "127.0.0.1", 0},
      {{"--http", "65535"}, "127.0.0.1", 65535},        {{"--http", "localhost:80"}, "127.0.0.1", 80},
      {{"--http", "LOCALHOST:80"}, "127.0.0.1", 80},    {{"--http", "0.0.0.0:9000"}, "0.0.0.0", 9000},
      {{"--http", "[::1]:9000"}, "::1", 9000},          {{"--http", "[::]:9000"}, "::", 9000},
      {{"--no-auth", "--http", "127.0.0.5:1"}, "127.0.0.5", 1}};
  // clang-format on
  for (const auto &c : cases) {
    const auto parsed = parse(c.arguments);
    const auto *options = std::get_if<HttpServer::Options>(&parsed);
    ASSERT_NE(options, nullptr)
        << c.arguments[1] << ": " << std::get<std::string>(parsed);
    EXPECT_EQ(options->host, c.host) << c.arguments[1];
    EXPECT_EQ(options->port, c.port) << c.arguments[1];
  }
}

// Around and between other options, in the order given.
const std::vector<std::string_view> kOriginsAndNoAuth = {
    "--allow-origin", "https://a.example", "--http",           "[::1]:1",
    "--no-auth",      "--allow-origin",    "https://b.example"};

TEST(HttpOptions, NoAuthIsNoticedAmongOtherOptions) {
  const auto parsed = parse(kOriginsAndNoAuth);
  EXPECT_TRUE(std::get<HttpServer::Options>(parsed).noAuth);
}

TEST(HttpOptions, EveryAllowedOriginIsKeptInOrder) {
  const auto parsed = parse(kOriginsAndNoAuth);
  const auto &options = std::get<HttpServer::Options>(parsed);
  EXPECT_EQ(
      options.allowedOrigins,
      (std::vector<std::string>{"https://a.example", "https://b.example"}));
}

TEST(HttpOptions, BadCommandLinesAreRefusedWithTheReason) {
  const struct {
    std::vector<std::string_view> arguments;
    std::string problem;
  } cases[] = {
      {{}, "--http [HOST:]PORT fehlt"},
      {{"--http"}, "--http braucht einen Wert"},
      {{"--http", "80", "--allow-origin"}, "--allow-origin braucht einen Wert"},
      {{"--http", "80", "--http", "81"}, "--http ist doppelt angegeben"},
      {{"--http", "80", "--verbose"}, "Unbekannte Option: --verbose"},
      {{"--http", "65536"}, "Ungültiger Port: 65536"},
      {{"--http", "-1"}, "Ungültiger Port: -1"},
      {{"--http", "127.0.0.1:"}, "Ungültiger Port: "},
      {{"--http", "host:80"},
       "HOST muss eine IP-Adresse oder localhost sein: host"},
      {{"--http", "::1:80"},
       "IPv6-Adressen in eckigen Klammern angeben: ::1:80"},
      {{"--http", "[::1]80"}, "Ungültige Adresse: [::1]80"},
      {{"--http", "0.0.0.0:80", "--no-auth"},
       "--no-auth ist nur auf einer Loopback-Adresse erlaubt (127.0.0.1, ::1), "
       "nicht auf 0.0.0.0"},
      {{"--no-auth", "--http", "[::]:80"},
       "--no-auth ist nur auf einer Loopback-Adresse erlaubt (127.0.0.1, ::1), "
       "nicht auf ::"}};
  for (const auto &c : cases) {
    const auto parsed = parse(c.arguments);
    const auto *problem = std::get_if<std::string>(&parsed);
    std::string line;
    for (auto argument : c.arguments)
      line += std::string(argument) + " ";
    ASSERT_NE(problem, nullptr) << line;
    EXPECT_EQ(*problem, c.problem) << line;
  }
}

} // namespace
} // namespace taskory
