#pragma once

#include <string>
#include <string_view>

// How a browser proves it may see the board: a person opens the address
// printed at start, whose key opens the board and nothing else, and the
// cookie set then carries a secret of its own. Both are derived from the
// token, which never appears in a URL, a history entry, a log or a cookie
// jar, and a new token ends every session. Pure; safe from any thread.
namespace taskory::BoardSession {

// HMAC-SHA-256 of a fixed label under `token`, as 64 lower-case hex digits;
// empty for an empty token. The key of the board's address and the cookie's
// secret have labels of their own, so neither can pass for the other or
// for the token.
std::string keyFor(std::string_view token);
std::string secretFor(std::string_view token);
// The token every change form of the board carries, derived from the
// cookie's secret: a page from elsewhere can make a browser send the cookie,
// but cannot read a page of ours to learn this.
std::string formTokenFor(std::string_view sessionSecret);

// The cookie's name for the server on `port`. Browsers send a loopback
// cookie to every port of the host, so each server's board needs a name of
// its own, or two boards would overwrite each other's sessions.
std::string cookieName(int port);

// The Set-Cookie value that holds `secret` under `name` for the whole site.
std::string setCookie(std::string_view name, std::string_view secret);

// The value of the first cookie `name` in a Cookie header; empty when there
// is none.
std::string_view cookieValue(std::string_view cookies, std::string_view name);

// True when the Cookie header (`cookies`, "a=1; b=2") holds the cookie
// `name` with exactly `secret`.
bool carriesSecret(std::string_view cookies, std::string_view name,
                   std::string_view secret);

} // namespace taskory::BoardSession
