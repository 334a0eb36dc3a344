// The Linux file system seam on real files: writability (made-on-demand
// folders, truly read-only folders), copies that leave nothing half done, and
// the freedesktop.org trash.
#include "linux/linux_file_system.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/read_only_folder.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing_support::ReadOnlyFolder;
using testing_support::TempDir;

std::string contents(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

struct LinuxFileSystemTest : testing::Test {
  TempDir temp;
  LinuxFileSystem files{LinuxFileSystem::Options{temp.file("home"), temp.file("home/.local/share/Trash"),
                                                 {temp.file("home/.local/bin"), temp.file("home/Applications"),
                                                  temp.file("locked/own")}}};
  std::string error;
};

TEST_F(LinuxFileSystemTest, MissingFoldersAreWritableOnlyWhenTheyAreTheUsersAndCanBeMade) {
  fs::create_directories(temp.file("home"));
  fs::create_directories(temp.file("locked"));
  EXPECT_TRUE(files.isWritableDirectory(temp.file("home/.local/bin")));
  EXPECT_FALSE(files.isWritableDirectory(temp.file("home/.local/other")));
  EXPECT_FALSE(files.fileExists(temp.file("home/.local"))) << "asking makes nothing";

  ReadOnlyFolder locked(temp.file("locked"));
  if (!locked.readOnly()) GTEST_SKIP() << "no way to make a folder read-only here";
  EXPECT_FALSE(files.isWritableDirectory(temp.file("locked")));
  EXPECT_FALSE(files.isWritableDirectory(temp.file("locked/own"))) << "its parent cannot take it";
  EXPECT_FALSE(files.createSymbolicLink(temp.file("locked/own/x"), "/bin/sh", &error));
  EXPECT_THAT(error, HasSubstr("locked/own"));

  ASSERT_TRUE(files.createSymbolicLink(temp.file("home/.local/bin/quorvelle"), "/bin/sh", &error)) << error;
  EXPECT_EQ(files.destinationOfSymbolicLink(temp.file("home/.local/bin/quorvelle")), "/bin/sh");
  EXPECT_TRUE(files.isExecutableFile(temp.file("home/.local/bin/quorvelle")));
  EXPECT_FALSE(files.isExecutableFile(temp.file("home/.local/bin"))) << "a folder is no executable file";
}

TEST_F(LinuxFileSystemTest, CopyKeepsModesAndLinksAndNeverOverwrites) {
  fs::create_directories(temp.file("app/Contents/MacOS"));
  std::ofstream(temp.file("app/Contents/MacOS/run")) << "binary";
  chmod(temp.file("app/Contents/MacOS/run").c_str(), 0751);
  fs::create_symlink("MacOS/run", temp.file("app/Contents/link"));

  ASSERT_TRUE(files.copyItem(temp.file("app"), temp.file("home/Applications/app"), &error)) << error;
  EXPECT_TRUE(fs::exists(temp.file("home/Applications/app/Contents/link"))) << "the user's folder made on demand";
  ASSERT_TRUE(files.copyItem(temp.file("app"), temp.file("copy"), &error)) << error;
  EXPECT_EQ(contents(temp.file("copy/Contents/MacOS/run")), "binary");
  EXPECT_EQ(fs::status(temp.file("copy/Contents/MacOS/run")).permissions() & fs::perms::all,
            static_cast<fs::perms>(0751));
  EXPECT_EQ(files.destinationOfSymbolicLink(temp.file("copy/Contents/link")), "MacOS/run");

  std::ofstream(temp.file("copy/Contents/MacOS/run")) << "newer";
  EXPECT_FALSE(files.copyItem(temp.file("app"), temp.file("copy"), &error));
  EXPECT_EQ(contents(temp.file("copy/Contents/MacOS/run")), "newer");
  EXPECT_FALSE(files.copyItem(temp.file("absent"), temp.file("other"), &error));
  for (const auto& entry : fs::directory_iterator(temp.path())) {
    EXPECT_THAT(entry.path().filename().string(), testing::Not(HasSubstr("quorvelle-copy"))) << "no leftovers";
  }
}

TEST_F(LinuxFileSystemTest, TrashKeepsWhereEachItemCameFrom) {
  fs::create_directories(temp.file("old copy"));
  std::ofstream(temp.file("old copy/file")) << "x";
  ASSERT_TRUE(files.trashItem(temp.file("old copy"), &error)) << error;
  EXPECT_FALSE(files.fileExists(temp.file("old copy")));
  const std::string trash = temp.file("home/.local/share/Trash");
  EXPECT_EQ(contents(trash + "/files/old copy/file"), "x");
  std::string info = contents(trash + "/info/old copy.trashinfo");
  EXPECT_THAT(info, testing::StartsWith("[Trash Info]\nPath=" + temp.path() + "/old%20copy\nDeletionDate="));

  fs::create_directories(temp.file("old copy"));
  ASSERT_TRUE(files.trashItem(temp.file("old copy"), &error)) << error;
  EXPECT_TRUE(fs::is_directory(trash + "/files/old copy.2")) << "a second item of the name gets its own entry";
  EXPECT_TRUE(fs::exists(trash + "/info/old copy.2.trashinfo"));
  EXPECT_FALSE(files.trashItem(temp.file("absent"), &error));
}

TEST_F(LinuxFileSystemTest, RemoveAndResolve) {
  fs::create_directories(temp.file("real/deep"));
  fs::create_symlink(temp.file("real"), temp.file("alias"));
  EXPECT_EQ(files.resolvingSymlinks(temp.file("alias/deep/missing")),
            fs::canonical(temp.path()).string() + "/real/deep/missing");
  EXPECT_TRUE(files.removeItem(temp.file("alias"), &error)) << error;
  EXPECT_TRUE(fs::exists(temp.file("real/deep"))) << "a link is removed, not its target";
  EXPECT_TRUE(files.removeItem(temp.file("real"), &error)) << error;
  EXPECT_FALSE(fs::exists(temp.file("real")));
  EXPECT_FALSE(files.removeItem(temp.file("real"), &error));
  EXPECT_THAT(error, HasSubstr("No such file"));
}

}  // namespace
}  // namespace quorvelle
