#include "Server/DataAccessHint.h"

#include "support/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace taskory {
namespace {

namespace fs = std::filesystem;

TEST(DataAccessHint, OnlyARefusedPermissionCounts) {
  for (int error : {EACCES, EPERM, ENOENT, ENOTDIR, EIO, ELOOP, 0}) {
    EXPECT_EQ(DataAccessHint::isPermissionDenial(error),
              error == EACCES || error == EPERM)
        << error;
#ifndef __APPLE__ // only Apple's privacy protection needs the hint
    EXPECT_FALSE(DataAccessHint::hint(error)) << error;
#endif
  }
  EXPECT_FALSE(DataAccessHint::hint(std::nullopt));
}

TEST(DataAccessHint, ListingErrorsComeFromTheDirectoryItself) {
  const test::TempDir temp;
  const fs::path &dir = temp.path();
  std::ofstream(dir / "file") << "x";
  fs::create_directory(dir / "closed");
  fs::permissions(dir / "closed", fs::perms::none);
  EXPECT_EQ(DataAccessHint::listingError(dir), std::nullopt);
  EXPECT_EQ(DataAccessHint::listingError(dir / "missing"), ENOENT);
  EXPECT_EQ(DataAccessHint::listingError(dir / "file"), ENOTDIR);
  if (::geteuid() != 0) { // root lists any directory
    EXPECT_EQ(DataAccessHint::listingError(dir / "closed"), EACCES);
  }
  fs::permissions(dir / "closed", fs::perms::owner_all);
}

} // namespace
} // namespace taskory
