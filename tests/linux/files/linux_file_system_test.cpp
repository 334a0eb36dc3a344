// The Linux file system seam on real files: writability of made-on-demand and
// truly read-only folders, copies that never overwrite, the freedesktop trash.
#include "linux/files/linux_file_system.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/test_files.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;

struct LinuxFileSystemTest : testing::Test {
  testing_support::TempDir temp;
  std::string trash = temp.file("home/.local/share/Trash");
  LinuxFileSystem files{LinuxFileSystem::Options{
      temp.file("home"), trash, {temp.file("home/.local/bin"), temp.file("home/Apps"), temp.file("locked/own")}}};
  std::string error;
};

TEST_F(LinuxFileSystemTest, MissingFoldersAreWritableOnlyWhenTheyAreTheUsersAndCanBeMade) {
  fs::create_directories(temp.file("home"));
  fs::create_directories(temp.file("locked"));
  EXPECT_FALSE(files.isWritableDirectory(temp.file("home/.local/other"))) << "not one of the user's own";
  testing_support::ReadOnlyFolder locked(temp.file("locked"));
  if (!locked.readOnly()) GTEST_SKIP() << "no way to make a folder read-only here";
  EXPECT_FALSE(files.isWritableDirectory(temp.file("locked")));
  EXPECT_FALSE(files.isWritableDirectory(temp.file("locked/own"))) << "its parent cannot take it";
  EXPECT_FALSE(files.createSymbolicLink(temp.file("locked/own/x"), "/bin/sh", &error));
  EXPECT_THAT(error, testing::HasSubstr("locked/own"));
}

TEST_F(LinuxFileSystemTest, CopyKeepsModesAndLinksAndNeverOverwrites) {
  fs::create_directories(temp.file("app/MacOS"));
  std::ofstream(temp.file("app/MacOS/run")) << "binary";
  chmod(temp.file("app/MacOS/run").c_str(), 0751);
  fs::create_symlink("MacOS/run", temp.file("app/link"));
  ASSERT_TRUE(files.copyItem(temp.file("app"), temp.file("home/Apps/app"), &error)) << error;
  EXPECT_EQ(fs::status(temp.file("home/Apps/app/MacOS/run")).permissions(), static_cast<fs::perms>(0751));
  EXPECT_EQ(files.destinationOfSymbolicLink(temp.file("home/Apps/app/link")), "MacOS/run");

  std::ofstream(temp.file("home/Apps/app/MacOS/run")) << "newer";
  EXPECT_FALSE(files.copyItem(temp.file("app"), temp.file("home/Apps/app"), &error));
  EXPECT_EQ(testing_support::readText(temp.file("home/Apps/app/MacOS/run")), "newer");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.file("home/Apps")), {}), 1) << "no leftovers";
}

// Folders with their contents, and a second item of the same name, go to
// the trash in the command installer's test.
TEST_F(LinuxFileSystemTest, TrashKeepsWhereEachItemCameFrom) {
  fs::create_directories(temp.file("old copy"));
  ASSERT_TRUE(files.trashItem(temp.file("old copy"), &error)) << error;
  EXPECT_TRUE(fs::is_directory(trash + "/files/old copy"));
  EXPECT_THAT(testing_support::readText(trash + "/info/old copy.trashinfo"),
              testing::StartsWith("[Trash Info]\nPath=" + temp.path() + "/old%20copy\nDeletionDate="));
}

}  // namespace
}  // namespace quorvelle
