#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The user's locale for ICU (weekday names, collation, case mapping).
//
// The rule: the first non-empty of LC_ALL, LC_TIME, LC_COLLATE, LC_CTYPE and
// LANG names it. LC_TIME comes before the others because weekday names are
// what the user sees of the locale; LC_MESSAGES is not read, since every text
// of the server is German whatever it says. An empty variable counts as
// unset, as POSIX has it. A value of C or POSIX that the environment sets is
// the user's or the host's explicit choice and is kept. Only when none of
// the variables is set, which is what MCP hosts do when they start a server
// with a bare environment, would the process fall into C by default; then the
// system's configured locale (/etc/locale.conf, else /etc/default/locale, the
// same variables in the same order) stands in, so that a user's locale does
// not depend on how the server happened to be started. Failing both, the
// POSIX locale.
//
// ICU reads the environment itself on first use (LC_ALL, LC_MESSAGES, LANG);
// apply() sets its default before that happens, so the rule above is the
// only one that counts. No locale needs to be installed on the system: ICU
// carries its own data, and a name it does not know falls back to the root
// locale rather than failing.
namespace taskory::UserLocale {

// Locale variable name to value, for the variables the rule reads.
using Variables = std::map<std::string, std::string, std::less<>>;

// The system files that name the configured locale, in the order consulted.
inline constexpr std::string_view kSystemFiles[] = {"/etc/locale.conf",
                                                   "/etc/default/locale"};

// The locale variables of the process environment: the one place that
// reads them.
Variables readEnvironment();

// The variables a locale file sets: KEY=VALUE lines, the value optionally in
// single or double quotes; blank lines and # comments are skipped.
Variables parseConfiguration(std::string_view text);

// The POSIX locale name chosen by the rule above from `environment` and the
// locale files `systemFiles` (missing or unreadable files name nothing), or
// nothing when neither names one.
std::optional<std::string>
choose(const Variables &environment,
       std::span<const std::filesystem::path> systemFiles);

// The ICU locale ID for a POSIX locale name: the code set and modifier are
// dropped ("de_DE.UTF-8@euro" is "de_DE"); C and POSIX, with or without a
// code set, are "en_US_POSIX", as ICU itself maps them.
std::string icuLocaleID(std::string_view posixName);

// Chooses the locale from the process environment and the system files and
// makes it ICU's default. Call before anything uses ICU. Never throws.
void apply();

} // namespace taskory::UserLocale
