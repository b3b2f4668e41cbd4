#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Who may talk to the HTTP endpoint: the bearer token that locks it to its
// user, and the Host and Origin checks that keep a web page from reaching a
// server on the loopback interface through DNS rebinding. Pure functions and
// one file; safe to call from any thread.
namespace taskory::HttpAccess {

// Random bytes in a token: 256 bits, written as 64 lower-case hex digits.
inline constexpr std::size_t kTokenBytes = 32;

// The token kept in `file`, created on first use (mode 0600, written to a
// temporary file and linked into place, so a second server starting at the
// same moment reads the same token and nobody ever sees half a token). A
// file whose content is not a token of ours is replaced. Refuses a file that is
// not a regular file (a symbolic link included), that belongs to another user
// or that others may read or write: a token that may have leaked locks nothing.
// Throws std::runtime_error with a German description of what is wrong.
std::string loadOrCreateToken(const std::filesystem::path &file);

// 256 random bits from the kernel as 64 lower-case hex digits. Throws
// std::runtime_error (German) when the kernel has none to give.
std::string randomToken();

// Equality whose running time depends only on the lengths, so that the time
// an answer takes does not tell how many leading characters of a guess were
// right.
bool equalInConstantTime(std::string_view a, std::string_view b);

// True when `authorization` (the header's value) is "Bearer <token>"; the
// scheme in any letter case.
bool carriesToken(std::string_view authorization, std::string_view token);

// A literal address of the loopback interface (127.0.0.0/8, ::1).
bool isLoopbackAddress(std::string_view host);

// A Host header naming the loopback interface: localhost, 127.0.0.1, [::1]
// or `bindHost` itself, each with or without a port.
bool isLoopbackHostHeader(std::string_view host, std::string_view bindHost);

// An Origin the server accepts: a localhost origin (http or https, one of
// the loopback names, any port) or one listed in `allowed` (compared
// ignoring letter case, as origins are case-insensitive).
bool isAcceptedOrigin(std::string_view origin,
                      const std::vector<std::string> &allowed);

} // namespace taskory::HttpAccess
