#include "Server/DataAccessHint.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

namespace taskory {
namespace {

TEST(DataAccessHint, OnlyARefusedPermissionCounts) {
  const struct {
    int error;
    bool denial;
  } cases[] = {
      {EACCES, true}, {EPERM, true},  {ENOENT, false}, {ENOTDIR, false},
      {EIO, false},   {ELOOP, false}, {EMFILE, false}, {0, false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(DataAccessHint::isPermissionDenial(c.error), c.denial) << c.error;
}

TEST(DataAccessHint, HintOnlyForARefusedListingAndOnlyOnApplePlatforms) {
  EXPECT_EQ(DataAccessHint::hint(std::nullopt), std::nullopt);
  EXPECT_EQ(DataAccessHint::hint(ENOENT), std::nullopt);
  EXPECT_EQ(DataAccessHint::hint(EIO), std::nullopt);
  for (int error : {EACCES, EPERM}) {
    const auto hint = DataAccessHint::hint(error);
#ifdef __APPLE__
    ASSERT_TRUE(hint) << error;
    EXPECT_EQ(hint->rfind("macOS verweigert den Zugriff auf die Daten von "
                          "Taskory. Unter macOS 15: Systemeinstellungen → ",
                          0),
              0u);
    EXPECT_NE(hint->find("„Daten werden von Taskory und zugehörigen Apps "
                         "geteilt“ einschalten und das Programm neu starten.\n"
                         "macOS denied access to Taskory's data."),
              std::string::npos);
    EXPECT_NE(hint->find("turn on “Data shared by Taskory and affiliated "
                         "apps” for the app"),
              std::string::npos);
#else
    EXPECT_EQ(hint, std::nullopt) << error;
#endif
  }
}

TEST(DataAccessHint, ListingErrorsComeFromTheDirectoryItself) {
  char pattern[] = "/tmp/taskory-hint-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  std::ofstream(dir / "file") << "x";

  EXPECT_EQ(DataAccessHint::listingError(dir), std::nullopt);
  EXPECT_EQ(DataAccessHint::listingError(dir / "missing"), ENOENT);
  EXPECT_EQ(DataAccessHint::listingError(dir / "file"), ENOTDIR);
  if (::geteuid() != 0) { // root lists any directory
    std::filesystem::create_directory(dir / "closed");
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::none);
    EXPECT_EQ(DataAccessHint::listingError(dir / "closed"), EACCES);
    std::filesystem::permissions(dir / "closed",
                                 std::filesystem::perms::owner_all);
  }
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace taskory
