#include "Http/BodyLimit.h"

namespace taskory::HttpServer {

bool announcesTooLarge(const HttpRequest &request) {
  const std::string_view length = request.header("Content-Length");
  if (length.empty())
    return false;
  std::size_t digits = 0; // significant ones
  for (char c : length) {
    if (c < '0' || c > '9')
      return false;
    if (digits > 0 || c != '0')
      ++digits;
  }
  // Nine digits are beyond the limit already; fewer always fit stoull.
  return digits > 8 ||
         std::stoull(std::string(length)) > static_cast<unsigned long long>(kMaxBodyBytes);
}

std::string tooLargeMessage() {
  return "Anfrage zu groß (höchstens " + std::to_string(kMaxBodyBytes >> 20) +
         " MiB)";
}

} // namespace taskory::HttpServer
