#include "Http/BoardSession.h"

#include "Http/HttpAccess.h"
#include "KanbanCore/Text.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace taskory::BoardSession {
namespace {

// Name what a secret is for, so that it can never pass for the token or for
// a secret derived for another use.
constexpr std::string_view kSessionLabel = "taskory board session v1";
constexpr std::string_view kKeyLabel = "taskory board address key v1";
constexpr std::string_view kFormLabel = "taskory board form v1";

std::string derived(std::string_view token, std::string_view label) {
  if (token.empty())
    return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), token.data(), static_cast<int>(token.size()),
            reinterpret_cast<const unsigned char *>(label.data()),
            label.size(), digest, &length))
    return {};
  constexpr std::string_view kHex = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 0xF];
  }
  return out;
}

} // namespace

std::string keyFor(std::string_view token) {
  return derived(token, kKeyLabel);
}

std::string secretFor(std::string_view token) {
  return derived(token, kSessionLabel);
}

std::string formTokenFor(std::string_view sessionSecret) {
  return derived(sessionSecret, kFormLabel);
}

std::string cookieName(int port) {
  return "taskory_board_" + std::to_string(port);
}

std::string setCookie(std::string_view name, std::string_view secret) {
  return std::string(name) + "=" + std::string(secret) +
         "; Path=/; HttpOnly; SameSite=Strict";
}

std::string_view cookieValue(std::string_view cookies, std::string_view name) {
  while (!cookies.empty()) {
    const std::size_t end = cookies.find(';');
    const std::string_view pair =
        text::trimmedSpacesAndTabs(cookies.substr(0, end));
    cookies = end == std::string_view::npos ? std::string_view()
                                            : cookies.substr(end + 1);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos &&
        text::trimmedSpacesAndTabs(pair.substr(0, equals)) == name)
      return text::trimmedSpacesAndTabs(pair.substr(equals + 1));
  }
  return {};
}

bool carriesSecret(std::string_view cookies, std::string_view name,
                   std::string_view secret) {
  if (secret.empty())
    return false;
  bool found = false;
  while (!cookies.empty()) {
    const std::size_t end = cookies.find(';');
    const std::string_view pair = text::trimmedSpacesAndTabs(cookies.substr(0, end));
    cookies = end == std::string_view::npos ? std::string_view()
                                            : cookies.substr(end + 1);
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos ||
        text::trimmedSpacesAndTabs(pair.substr(0, equals)) != name)
      continue;
    // Every cookie of that name is compared, so that the time taken does
    // not depend on which one matched.
    found = HttpAccess::equalInConstantTime(text::trimmedSpacesAndTabs(pair.substr(equals + 1)),
                                            secret) ||
            found;
  }
  return found;
}

} // namespace taskory::BoardSession
