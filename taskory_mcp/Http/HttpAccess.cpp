#include "Http/HttpAccess.h"

#include "KanbanCore/Text.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taskory::HttpAccess {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string quoted(const fs::path &file) { return "„" + file.string() + "“"; }

[[noreturn]] void refuse(const fs::path &file, std::string_view problem) {
  throw std::runtime_error("Token-Datei " + quoted(file) + " " +
                           std::string(problem));
}

bool isToken(std::string_view text) {
  return text.size() == 2 * kTokenBytes &&
         text.find_first_not_of(kHexDigits) == std::string_view::npos;
}


// The token in `file`; empty when the file holds something else, nothing
// (and errno ENOENT) when there is no file.
std::optional<std::string> readToken(const fs::path &file) {
  // Without blocking: a FIFO put in the token's place would otherwise hold
  // the start (or a request) in open() until someone writes to it.
  const int fd =
      ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT)
      return std::nullopt;
    if (errno == ELOOP)
      refuse(file, "ist ein symbolischer Link.");
    refuse(file, std::string("ist nicht lesbar: ") + std::strerror(errno));
  }
  struct stat info {};
  std::string content;
  const bool statted = ::fstat(fd, &info) == 0;
  if (statted && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
      (info.st_mode & 077) == 0) {
    char buffer[256];
    ssize_t got;
    while (content.size() < 4 * sizeof buffer &&
           ((got = ::read(fd, buffer, sizeof buffer)) > 0 ||
            (got < 0 && errno == EINTR)))
      if (got > 0)
        content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (!statted || !S_ISREG(info.st_mode))
    refuse(file, "ist keine gewöhnliche Datei.");
  if (info.st_uid != ::geteuid())
    refuse(file, "gehört einem anderen Benutzer.");
  if ((info.st_mode & 077) != 0)
    refuse(file, "ist auch für andere zugänglich; lösche sie, damit ein "
                 "neues Token entsteht.");
  while (!content.empty() && (content.back() == '\n' ||
                              content.back() == '\r' || content.back() == ' '))
    content.pop_back();
  return isToken(content) ? content : std::string();
}

// Writes a new token beside `file` and moves it into place: linked when no
// file may exist yet (so a token another process put there first wins),
// renamed over a file that held no token.
std::optional<std::string> writeToken(const fs::path &file, bool replace) {
  const std::string token = randomToken();
  std::string temporary = (file.parent_path() / ".http-token.XXXXXX").string();
  // mkstemp creates the file with mode 0600.
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0)
    refuse(file,
           std::string("kann nicht angelegt werden: ") + std::strerror(errno));
  const std::string line = token + "\n";
  bool written = ::write(fd, line.data(), line.size()) ==
                 static_cast<ssize_t>(line.size());
  written = ::fsync(fd) == 0 && written;
  ::close(fd);
  int error = 0;
  if (!written)
    error = errno ? errno : EIO;
  else if (replace ? ::rename(temporary.c_str(), file.c_str()) != 0
                   : ::link(temporary.c_str(), file.c_str()) != 0)
    error = errno;
  ::unlink(temporary.c_str());
  if (error == EEXIST && !replace)
    return std::nullopt; // another server made it first: read that one
  if (error != 0)
    refuse(file,
           std::string("kann nicht angelegt werden: ") + std::strerror(error));
  return token;
}

// `text` after an optional ":port" is taken off: the port must be digits.
std::optional<std::string_view> withoutPort(std::string_view text) {
  std::size_t colon = text.rfind(':');
  const std::size_t bracket = text.rfind(']');
  if (colon == std::string_view::npos ||
      (bracket != std::string_view::npos && colon < bracket))
    return text;
  const std::string_view port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return text.substr(0, colon);
}

bool isLoopbackName(std::string_view name, std::string_view bindHost) {
  if (text::equalIgnoringASCIICase(name, "localhost") || name == "127.0.0.1" ||
      name == "[::1]")
    return true;
  if (bindHost.empty() || !isLoopbackAddress(bindHost))
    return false;
  if (name == bindHost)
    return true;
  return name.size() == bindHost.size() + 2 && name.front() == '[' &&
         name.back() == ']' && name.substr(1, bindHost.size()) == bindHost;
}

} // namespace

std::string loadOrCreateToken(const fs::path &file) {
  // Two rounds at most: a server that loses the race to create the file
  // reads the winner's token in the second.
  for (int round = 0; round < 2; ++round) {
    std::optional<std::string> token = readToken(file);
    if (token && !token->empty())
      return *token;
    if (auto written = writeToken(file, token.has_value()))
      return *written;
  }
  refuse(file, "kann nicht angelegt werden.");
}

std::string randomToken() {
  unsigned char bytes[kTokenBytes];
  // The kernel's generator, which blocks only until it is seeded at boot.
  if (::getentropy(bytes, sizeof bytes) != 0)
    throw std::runtime_error(
        std::string("Keine Zufallszahlen für das Token: ") +
        std::strerror(errno));
  std::string token;
  for (unsigned char byte : bytes) {
    token += kHexDigits[byte >> 4];
    token += kHexDigits[byte & 0xF];
  }
  return token;
}

bool equalInConstantTime(std::string_view a, std::string_view b) {
  const std::size_t length = a.size() > b.size() ? a.size() : b.size();
  volatile unsigned char difference = a.size() != b.size();
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference = difference | (x ^ y);
  }
  return difference == 0;
}

bool carriesToken(std::string_view authorization, std::string_view token) {
  constexpr std::string_view kScheme = "bearer";
  if (authorization.size() <= kScheme.size() ||
      !text::equalIgnoringASCIICase(authorization.substr(0, kScheme.size()), kScheme) ||
      (authorization[kScheme.size()] != ' ' &&
       authorization[kScheme.size()] != '\t'))
    return false;
  std::string_view presented = authorization.substr(kScheme.size());
  while (!presented.empty() &&
         (presented.front() == ' ' || presented.front() == '\t'))
    presented.remove_prefix(1);
  while (!presented.empty() &&
         (presented.back() == ' ' || presented.back() == '\t'))
    presented.remove_suffix(1);
  return !token.empty() && equalInConstantTime(presented, token);
}

bool isLoopbackAddress(std::string_view host) {
  const std::string text(host);
  in_addr v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) == 1)
    return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1 &&
         IN6_IS_ADDR_LOOPBACK(&v6);
}

bool isLoopbackHostHeader(std::string_view host, std::string_view bindHost) {
  const auto name = withoutPort(host);
  return name && isLoopbackName(*name, bindHost);
}

bool isAcceptedOrigin(std::string_view origin,
                      const std::vector<std::string> &allowed) {
  for (const std::string &listed : allowed)
    if (text::equalIgnoringASCIICase(origin, listed))
      return true;
  for (std::string_view scheme : {"http://", "https://"}) {
    if (origin.size() <= scheme.size() ||
        !text::equalIgnoringASCIICase(origin.substr(0, scheme.size()), scheme))
      continue;
    const auto name = withoutPort(origin.substr(scheme.size()));
    return name && isLoopbackName(*name, {});
  }
  return false;
}

} // namespace taskory::HttpAccess
