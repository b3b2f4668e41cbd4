#pragma once

#include <string>
#include <string_view>

// How a browser proves it may see the board: a person opens the address
// with the token once, and the cookie set then carries a secret derived from
// the token, so the token itself never stays in a URL, a history entry or a
// cookie jar, and a new token ends every session. Pure; safe from any thread.
namespace taskory::BoardSession {

inline constexpr std::string_view kCookieName = "taskory_board";

// HMAC-SHA-256 of a fixed label under `token`, as 64 lower-case hex digits;
// empty for an empty token.
std::string secretFor(std::string_view token);

// The Set-Cookie value that holds `secret` for the whole site.
std::string setCookie(std::string_view secret);

// True when the Cookie header (`cookies`, "a=1; b=2") holds our cookie with
// exactly `secret`.
bool carriesSecret(std::string_view cookies, std::string_view secret);

} // namespace taskory::BoardSession
