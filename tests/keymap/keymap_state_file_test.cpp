#include "linux/keymap/keymap_state_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "linux/file_util.h"
#include "linux/keymap/keymap_applier.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"

namespace quorvelle {
namespace {

using testing_support::TempDir;

KeymapState sampleState() {
  KeymapState state;
  state.mapping = {{0x700000039, 0x70000006D}};
  state.devices = {{{"kbd", "usb-1", "", 3, 1, 2, 3}, {{{0x3a}, 58}}}};
  return state;
}

TEST(KeymapStateFileTest, SavesLoadsAndRemovesTheFile) {
  TempDir dir;
  KeymapStateFile file(dir.path());
  std::string error, warning;
  ASSERT_TRUE(file.lock(&error)) << error;
  EXPECT_EQ(file.load(&error, &warning), KeymapState{});
  ASSERT_TRUE(file.save(sampleState(), &error)) << error;
  struct stat info;
  ASSERT_EQ(stat(file.path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(file.load(&error, &warning), sampleState());
  EXPECT_TRUE(warning.empty());
  ASSERT_TRUE(file.save(KeymapState{}, &error)) << error;
  EXPECT_NE(access(file.path().c_str(), F_OK), 0);
}

TEST(KeymapStateFileTest, SetsAsideFilesItCannotTrust) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> make;
  } cases[] = {
      {"garbage", [](const std::string& path) { std::string e; writeFileAtomically(path, "nonsense\n", &e, 0600); }},
      {"cut off", [](const std::string& path) {
         std::string e, text = serializeKeymapState(sampleState());
         writeFileAtomically(path, text.substr(0, text.size() - 4), &e, 0600);
       }},
      {"writable by others", [](const std::string& path) {
         std::string e;
         writeFileAtomically(path, serializeKeymapState(sampleState()), &e, 0666);
       }},
      {"a symbolic link", [](const std::string& path) { ASSERT_EQ(symlink("/etc/passwd", path.c_str()), 0); }},
      {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
  };
  alarm(60);  // a FIFO waited on would hang the test instead
  for (const Case& c : cases) {
    TempDir dir;
    KeymapStateFile file(dir.path());
    c.make(file.path());
    std::string error, warning;
    auto state = file.load(&error, &warning);
    ASSERT_TRUE(state) << c.name << ": " << error;
    EXPECT_TRUE(state->empty()) << c.name;
    EXPECT_NE(warning.find("kept it as " + file.path() + ".invalid"), std::string::npos) << c.name << ": " << warning;
    EXPECT_NE(access((file.path() + ".invalid").c_str(), F_OK), -1) << c.name;
    EXPECT_NE(access(file.path().c_str(), F_OK), 0) << c.name;
  }
  alarm(0);
}

TEST(KeymapStateFileTest, TheLockExcludesOtherProcesses) {
  TempDir dir;
  KeymapStateFile file(dir.path());
  std::string error, output;
  ASSERT_TRUE(file.lock(&error)) << error;
  EXPECT_EQ(testing_support::runPrivileged(
                [&](int) {
                  // Not even a shared lock.
                  int fd = open((file.path() + ".lock").c_str(), O_RDWR);
                  return fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
                },
                &output),
            0);
}

TEST(KeymapStateDirectory, IsAPrivateFolderInTheRuntimeDirectoryOrOneOfItsOwn) {
  TempDir dir;
  std::string error;
  setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
  EXPECT_EQ(keymapStateDirectory(&error), dir.path() + "/quorvelle") << error;
  struct stat info;
  ASSERT_EQ(stat((dir.path() + "/quorvelle").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // A folder others may enter, or a link, is refused rather than used.
  chmod((dir.path() + "/quorvelle").c_str(), 0755);
  EXPECT_FALSE(keymapStateDirectory(&error));
  EXPECT_NE(error.find("may be entered by other users"), std::string::npos) << error;
  TempDir other;
  rmdir((dir.path() + "/quorvelle").c_str());
  ASSERT_EQ(symlink(other.path().c_str(), (dir.path() + "/quorvelle").c_str()), 0);
  EXPECT_FALSE(keymapStateDirectory(&error));
  // Without a runtime directory, a folder of its own.
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(keymapStateDirectory(&error), "/tmp/quorvelle-" + std::to_string(geteuid())) << error;
}

// With no input devices (as on this machine) the applier still keeps the
// mapping in effect, and reports nodes that are no devices.
TEST(KeymapApplierTest, RecordsTheMappingAndReportsNodesThatAreNoDevices) {
  TempDir state, input;
  KeymapApplier applier(state.path(), input.path());
  std::vector<std::string> warnings;
  ASSERT_TRUE(applier.setMapping({{0x700000039, 0x70000006D}}, &warnings));
  EXPECT_EQ(applier.mapping(&warnings), (std::vector<UsageMapping>{{0x700000039, 0x70000006D}}));
  EXPECT_TRUE(warnings.empty());

  std::string error;
  ASSERT_TRUE(writeFileAtomically(input.file("event7"), "", &error)) << error;
  EXPECT_FALSE(applier.setMapping({}, &warnings));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(input.file("event7") + ": cannot read the device id"), std::string::npos) << warnings[0];
  EXPECT_EQ(applier.mapping(&warnings), std::vector<UsageMapping>{});
  EXPECT_NE(access(state.file("keymap-state").c_str(), F_OK), 0);

  EXPECT_FALSE(applier.setMapping({{0x800000039, 0x70000006D}}, &warnings));
}

TEST(KeymapApplierTest, PreparesNothingOnAFileThatIsNoDevice) {
  TempDir state, input;
  KeymapApplier applier(state.path(), input.path());
  std::vector<std::string> warnings;
  ASSERT_TRUE(applier.setMapping({{0x700000039, 0x70000006D}}, &warnings));
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_TRUE(applier.prepareDevice(fds[0], &warnings).empty());
  EXPECT_EQ(warnings.size(), 1u);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace quorvelle
