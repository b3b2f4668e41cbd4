#include "Server/UserLocale.h"

#include "KanbanCore/PrivateFiles.h"

#include <unicode/locid.h>

#include <cstdlib>
#include <iterator>
#include <vector>

namespace taskory::UserLocale {
namespace {

// In order of precedence.
constexpr std::string_view kVariableNames[] = {
    "LC_ALL", "LC_TIME", "LC_COLLATE", "LC_CTYPE", "LANG"};

// A locale file is a few lines; anything larger is not one.
constexpr std::size_t kMaxFileSize = 64 * 1024;

std::optional<std::string> firstNamed(const Variables &variables) {
  for (std::string_view name : kVariableNames)
    if (auto found = variables.find(name);
        found != variables.end() && !found->second.empty())
      return found->second;
  return std::nullopt;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos)
    return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

} // namespace

Variables readEnvironment() {
  Variables variables;
  for (std::string_view name : kVariableNames)
    if (const char *value = std::getenv(std::string(name).c_str()))
      variables.emplace(name, value);
  return variables;
}

Variables parseConfiguration(std::string_view text) {
  Variables variables;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{}
                                         : text.substr(end + 1);
    const auto equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos)
      continue;
    std::string_view value = line.substr(equals + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    // A later line overrides an earlier one, as when a shell sources it.
    variables.insert_or_assign(std::string(line.substr(0, equals)),
                               std::string(value));
  }
  return variables;
}

std::optional<std::string>
choose(const Variables &environment,
       std::span<const std::filesystem::path> systemFiles) {
  if (auto named = firstNamed(environment))
    return named;
  for (const auto &file : systemFiles)
    if (auto text = files::readRegularFile(file, kMaxFileSize))
      if (auto named = firstNamed(parseConfiguration(*text)))
        return named;
  return std::nullopt;
}

std::string icuLocaleID(std::string_view posixName) {
  const std::string_view language =
      posixName.substr(0, posixName.find_first_of(".@"));
  if (language.empty() || language == "C" || language == "POSIX")
    return "en_US_POSIX";
  return std::string(language);
}

void apply() {
  try {
    std::vector<std::filesystem::path> files(std::begin(kSystemFiles),
                                             std::end(kSystemFiles));
    const auto chosen = choose(readEnvironment(), files);
    icu::Locale locale(icuLocaleID(chosen.value_or("C")).c_str());
    if (locale.isBogus())
      locale = icu::Locale("en_US_POSIX");
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(locale, status);
  } catch (...) {
    // Only allocation can fail here; ICU then keeps the locale it would
    // have read from the environment itself.
  }
}

} // namespace taskory::UserLocale
