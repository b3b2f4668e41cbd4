#pragma once

#include <optional>
#include <string>
#include <string_view>

// gzip for the board's pages: a 500-card plan is some 170 kB of HTML that
// compresses to a fifth, for about a millisecond of CPU at the level used.
// Brotli would save a little more on the wire, at many times the CPU, which
// on loopback is all there is to pay. Pure; safe from any thread.
namespace taskory::HttpServer {

// Whether an Accept-Encoding header's value takes gzip (a q of 0 refuses it).
bool acceptsGzip(std::string_view acceptEncoding);

// `text` as a gzip member; nothing when zlib fails.
std::optional<std::string> gzipped(std::string_view text);

} // namespace taskory::HttpServer
