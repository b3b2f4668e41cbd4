#include "Http/Options.h"

#include "Http/HttpAccess.h"
#include "KanbanCore/Text.h"

#include <arpa/inet.h>
#include <cstddef>

namespace taskory::HttpServer {

std::variant<Options, std::string>
parseOptions(const std::vector<std::string_view> &arguments) {
  Options options;
  bool haveAddress = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool takesValue =
        argument == "--http" || argument == "--allow-origin";
    if (takesValue && i + 1 == arguments.size())
      return std::string(argument) + " braucht einen Wert";
    if (argument == "--no-auth") {
      options.noAuth = true;
    } else if (argument == "--allow-origin") {
      const std::string_view origin = arguments[++i];
      if (origin.empty())
        return std::string("--allow-origin braucht einen Wert");
      options.allowedOrigins.emplace_back(origin);
    } else if (argument == "--http") {
      if (haveAddress)
        return std::string("--http ist doppelt angegeben");
      haveAddress = true;
      const std::string_view value = arguments[++i];
      std::string_view host;
      std::string_view port = value;
      if (!value.empty() && value.front() == '[') {
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos || close + 1 >= value.size() ||
            value[close + 1] != ':')
          return "Ungültige Adresse: " + std::string(value);
        host = value.substr(1, close - 1);
        port = value.substr(close + 2);
      } else if (const std::size_t colon = value.find(':');
                 colon != std::string_view::npos) {
        if (value.find(':', colon + 1) != std::string_view::npos)
          return "IPv6-Adressen in eckigen Klammern angeben: " +
                 std::string(value);
        host = value.substr(0, colon);
        port = value.substr(colon + 1);
      }
      // At most five digits, so stoi cannot overflow.
      if (port.empty() || port.size() > 5 ||
          port.find_first_not_of("0123456789") != std::string_view::npos ||
          std::stoi(std::string(port)) > 65535)
        return "Ungültiger Port: " + std::string(port);
      options.port = std::stoi(std::string(port));
      if (!host.empty()) {
        std::string name = text::asciiLowercased(host);
        if (name == "localhost")
          name = "127.0.0.1";
        in6_addr address{};
        if (::inet_pton(AF_INET, name.c_str(), &address) != 1 &&
            ::inet_pton(AF_INET6, name.c_str(), &address) != 1)
          return "HOST muss eine IP-Adresse oder localhost sein: " +
                 std::string(host);
        options.host = name;
      }
    } else {
      return "Unbekannte Option: " + std::string(argument);
    }
  }
  if (!haveAddress)
    return std::string("--http [HOST:]PORT fehlt");
  if (options.noAuth && !HttpAccess::isLoopbackAddress(options.host))
    return "--no-auth ist nur auf einer Loopback-Adresse erlaubt (127.0.0.1, "
           "::1), nicht auf " +
           options.host;
  return options;
}

} // namespace taskory::HttpServer
