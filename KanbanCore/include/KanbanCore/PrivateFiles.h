#pragma once

// The home directory and the private directories that the store and the
// settings live in.

#include <filesystem>
#include <optional>

namespace taskory::files {

// HOME, else the password database's home; nothing when neither names one.
std::optional<std::filesystem::path> homeDirectory();
// The environment variable's value when it is an absolute path.
std::optional<std::filesystem::path> absoluteVariable(const char *name);
// Creates `dir` and its missing parents with mode 0700 (the boards are
// private); returns the errno of the first failure, 0 on success.
int createPrivateDirectories(const std::filesystem::path &dir);

} // namespace taskory::files
