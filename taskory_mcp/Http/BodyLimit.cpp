#include "Http/BodyLimit.h"

namespace taskory::HttpServer {

bool announcesTooLarge(const httplib::Request &request) {
  if (!request.has_header("Content-Length"))
    return false;
  const std::string length = request.get_header_value("Content-Length");
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
         std::stoull(length) > static_cast<unsigned long long>(kMaxBodyBytes);
}

BodyRead readBody(const httplib::ContentReader &read, std::string &body) {
  bool tooLarge = false;
  const bool complete = read([&](const char *data, std::size_t size) {
    // Written so that it cannot overflow: body.size() <= kMaxBodyBytes.
    if (size > kMaxBodyBytes - body.size()) {
      tooLarge = true;
      return false;
    }
    body.append(data, size);
    return true;
  });
  return tooLarge   ? BodyRead::tooLarge
         : complete ? BodyRead::complete
                    : BodyRead::incomplete;
}

std::string tooLargeMessage() {
  return "Anfrage zu groß (höchstens " + std::to_string(kMaxBodyBytes >> 20) +
         " MiB)";
}

} // namespace taskory::HttpServer
