#pragma once

// The home directory and the private directories that the store and the
// settings live in, and the reading of the small files the server looks at
// (settings, zone and locale files).

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace taskory::files {

// HOME, else the password database's home; nothing when neither names one.
std::optional<std::filesystem::path> homeDirectory();
// The environment variable's value when it is an absolute path.
std::optional<std::filesystem::path> absoluteVariable(const char *name);
// Creates `dir` and its missing parents with mode 0700 (the boards are
// private); returns the errno of the first failure, 0 on success.
int createPrivateDirectories(const std::filesystem::path &dir);
// The first `limit` bytes of a regular file (all of it without a limit);
// nothing when it is missing, unreadable or not a regular file. Never waits
// for a writer, as opening a FIFO would. Plain system calls: a file stream
// would set up the C++ locale machinery before the server's first answer.
std::optional<std::string>
readRegularFile(const std::filesystem::path &file,
                std::optional<std::size_t> limit = std::nullopt);

} // namespace taskory::files
