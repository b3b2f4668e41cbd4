#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Why a store could not be opened, in the one case that the user can fix:
// on Apple platforms the privacy protection refuses a command-line program
// access to another application's group container, and the error the store
// reports says nothing about that. The classification is separate from the
// directory listing so that it can be checked with any error code.
namespace taskory::DataAccessHint {

// The errno of listing the entries of `directory`; nothing when it lists.
std::optional<int> listingError(const std::filesystem::path &directory);

// True for the errors a refused permission gives: EACCES and EPERM.
bool isPermissionDenial(int error);

// The hint for a listing that ended with `error`, nothing for a directory that
// lists or fails for another reason. Only builds for Apple platforms have a
// hint; elsewhere this always returns nothing.
std::optional<std::string> hint(std::optional<int> error);

// The hint for the store's own directory: listed here, when the store could
// not be opened, because only a listing tells the refusal apart.
std::optional<std::string> forStore();

} // namespace taskory::DataAccessHint
