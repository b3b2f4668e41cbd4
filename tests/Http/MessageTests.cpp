#include "Http/Message.h"

#include <gtest/gtest.h>

namespace taskory {
namespace {

using HttpServer::HttpRequest;
using HttpServer::HttpResponse;

TEST(HttpMessage, HeadersAreFoundWhateverTheLetterCase) {
  HttpRequest request;
  request.headers = {{"Content-Type", "application/json"},
                     {"X-Twice", "first"},
                     {"x-twice", "second"}};
  EXPECT_EQ(request.header("content-type"), "application/json");
  EXPECT_EQ(request.header("X-TWICE"), "first");
  EXPECT_TRUE(request.hasHeader("CONTENT-TYPE"));
  EXPECT_FALSE(request.hasHeader("Origin"));
  EXPECT_EQ(request.header("Origin"), "");

  HttpResponse response;
  response.set("Cache-Control", "no-store");
  response.set("cache-control", "private");
  EXPECT_EQ(response.headers.size(), 1u);
  EXPECT_EQ(response.header("Cache-Control"), "private");
}

TEST(HttpMessage, QueryParametersAreDecoded) {
  // clang-format off
  const struct {
    const char *query;
    const char *name;
    bool present;
    const char *value;
  } cases[] = {
      {"view=week&plan=AB", "plan", true, "AB"}, {"plan=M%C3%BCll+Abfuhr", "plan", true, "Müll Abfuhr"},
      {"p%6Can=x", "plan", true, "x"},           {"plan=100%", "plan", true, "100%"},
      {"plan=%zz", "plan", true, "%zz"},         {"plan", "plan", true, ""},
      {"plan=a&plan=b", "plan", true, "a"},      {"planx=a", "plan", false, ""},
      {"", "plan", false, ""}};
  // clang-format on
  for (const auto &c : cases) {
    HttpRequest request;
    request.query = c.query;
    EXPECT_EQ(request.hasParam(c.name), c.present) << c.query;
    EXPECT_EQ(request.param(c.name), c.value) << c.query;
  }
}

} // namespace
} // namespace taskory
