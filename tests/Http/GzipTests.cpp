#include "Http/Gzip.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

namespace taskory {
namespace {

std::string gunzipped(const std::string &packed) {
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

TEST(Gzip, WhatABrowserAcceptsDecides) {
  for (const char *header : {"gzip, deflate, br, zstd", "GZIP", "x-gzip",
                             "gzip;q=0.5", "br;q=1, gzip;q=0.01"})
    EXPECT_TRUE(HttpServer::acceptsGzip(header)) << header;
  for (const char *header : {"br", "gzip;q=0", "gzip; q=0.000", "", "gzipper"})
    EXPECT_FALSE(HttpServer::acceptsGzip(header)) << header;
}

TEST(Gzip, APageComesBackWhole) {
  std::string page;
  for (int i = 0; i < 2000; ++i)
    page += "<li class=\"card\">Karte " + std::to_string(i) + " · Öffnen</li>";
  const auto packed = HttpServer::gzipped(page);
  ASSERT_TRUE(packed);
  EXPECT_LT(packed->size(), page.size() / 5);
  EXPECT_EQ(gunzipped(*packed), page);
  EXPECT_EQ(gunzipped(*HttpServer::gzipped("")), "");
}

} // namespace
} // namespace taskory
