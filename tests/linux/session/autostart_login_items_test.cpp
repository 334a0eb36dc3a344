// Launch at login through an XDG autostart entry, on real files.
#include "linux/session/autostart_login_items.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/desktop/desktop_entry.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/test_files.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;

struct AutostartTest : testing::Test {
  AutostartTest() {
    testing_support::writeText(executable, "#!/bin/sh\n", true);
  }
  std::string entryValue(const std::string& key) const {
    return desktopEntryGroup(testing_support::readText(items.entryPath()), "Desktop Entry")[key];
  }
  std::string exec() const { return entryValue("Exec"); }
  void writeEntry(const std::string& text) { std::ofstream(items.entryPath()) << text; }

  testing_support::TempDir temp;
  std::string folder = temp.file("config/autostart");
  // Spaces, quotes, a dollar and a percent sign must survive the Exec line.
  std::string executable = temp.file("Apps/My \"Q\" $5 100%.app/Contents/MacOS/Quorvelle");
  AutostartLoginItems items{folder, "com.quorvelle.Quorvelle", executable, temp.file("icon.svg")};
  std::string error;
};

TEST_F(AutostartTest, AnEntryThatRunsThisExecutableAtLoginUnlessTheDesktopSwitchedItOff) {
  EXPECT_EQ(items.status(), LoginItemStatus::NotRegistered);
  ASSERT_TRUE(items.registerItem(&error)) << error;
  EXPECT_EQ(items.entryPath(), folder + "/com.quorvelle.Quorvelle.desktop");
  EXPECT_EQ(items.status(), LoginItemStatus::Enabled);
  EXPECT_THAT(parseDesktopExec(exec()).value(), testing::ElementsAre(executable, "--launched-at-login"));
  EXPECT_EQ(entryValue("TryExec"), executable) << "skipped at login once the program is gone";

  const std::string line = "Exec=" + exec() + "\n";
  writeEntry("[Desktop Entry]\n" + line + "Hidden=true\n");
  EXPECT_EQ(items.status(), LoginItemStatus::RequiresApproval);
  writeEntry("[Desktop Entry]\n" + line + "X-GNOME-Autostart-enabled=false\n");
  EXPECT_EQ(items.status(), LoginItemStatus::RequiresApproval);
  writeEntry("[Other]\nHidden=true\n[Desktop Entry]\n" + line);
  EXPECT_EQ(items.status(), LoginItemStatus::Enabled);
  writeEntry("[Desktop Entry]\nExec=/opt/Other.app/Contents/MacOS/Quorvelle --launched-at-login\n");
  EXPECT_EQ(items.status(), LoginItemStatus::NotRegistered) << "another copy's entry";
  ASSERT_TRUE(items.unregisterItem(&error)) << error;
  EXPECT_EQ(items.status(), LoginItemStatus::NotRegistered);
  EXPECT_TRUE(items.unregisterItem(&error)) << "nothing there is no failure";
  fs::remove(executable);
  EXPECT_EQ(items.status(), LoginItemStatus::NotFound);
  EXPECT_FALSE(items.registerItem(&error));
}

// A failed write is tested with the other writers of files.
TEST_F(AutostartTest, AReadOnlyFolderFailsRemovalWithADescription) {
  ASSERT_TRUE(items.registerItem(&error)) << error;
  testing_support::ReadOnlyFolder locked(folder);
  if (!locked.readOnly()) GTEST_SKIP() << "no way to make a folder read-only here";
  EXPECT_FALSE(items.unregisterItem(&error));
  EXPECT_THAT(error, testing::HasSubstr(items.entryPath()));
  EXPECT_EQ(items.status(), LoginItemStatus::Enabled);
}

}  // namespace
}  // namespace quorvelle
