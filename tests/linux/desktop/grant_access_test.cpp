// The grant helper as a process, run from a bundle of the test's own: the
// engine service it installs under a test root, the programs it has apply it,
// and everything it refuses. (That the service then runs and serves is seen
// with systemd itself, in the whole-system acceptance test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// The helper in a bundle with an engine and the units, and a root folder,
// owned by the user the helper runs as.
struct GrantAccessTest : ::testing::Test {
  void SetUp() override {
    writeText(bundle.file("Contents/Helpers/quorvelle-engine"), "the engine");
    fs::copy_file(QUORVELLE_GRANT_HELPER, helper);
    fs::create_directories(bundle.file("Contents/Resources"));
    fs::copy(QUORVELLE_SYSTEMD_RESOURCES, bundle.file("Contents/Resources/systemd"), fs::copy_options::recursive);
    chmod(bundle.path().c_str(), 0755);
    chmod(root.path().c_str(), 0755);
    if (geteuid() == 0) ASSERT_EQ(chown(root.path().c_str(), kNobody, kNobody), 0);
  }
  // systemctl, udevadm and systemd-sysusers that record how they were run.
  void installPrograms(int systemctlStatus = 0) {
    for (const char* program : {"usr/bin/systemctl", "usr/bin/udevadm", "usr/bin/systemd-sysusers"}) {
      writeText(root.file(program), "#!/bin/sh\necho \"${0##*/} $* [$PATH$QUORVELLE_PROBE]\" >> " + root.file("calls.log") +
                                        "\n[ ${0##*/} != systemctl ] || exit " + std::to_string(systemctlStatus) + "\n",
                true);
    }
    giveRootAway();
  }
  // What the test made under the root belongs to the user the helper runs as.
  void giveRootAway() {
    if (geteuid() != 0) return;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root.path())) {
      ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
    }
  }
  // Runs the helper; unprivileged and with the test root unless told otherwise.
  int grant(const std::vector<std::string>& arguments, bool privileged = false, bool withRoot = true) {
    std::vector<std::string> argv = !privileged && geteuid() == 0 ? kAsNobody : std::vector<std::string>{};
    argv.push_back(helper);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::optional<std::string> testRoot = withRoot ? std::optional(root.path()) : std::nullopt;
    ProgramResult result =
        runProgram(argv, environmentWith({{"QUORVELLE_GRANT_TEST_ROOT", testRoot}, {"QUORVELLE_PROBE", " leaked"}}));
    errors = result.err;
    return result.exitCode;
  }
  std::string read(const std::string& path) { return fs::exists(path) ? readText(path) : "<missing>"; }
  std::string calls() { return read(root.file("calls.log")); }

  TempDir bundle;
  TempDir root;
  std::string helper = bundle.file("Contents/Helpers/quorvelle-grant-access");
  std::string resources = bundle.file("Contents/Resources/systemd/");
  std::string errors;
};

TEST_F(GrantAccessTest, InstallsTheEngineServiceFromItsBundleAndRemovesIt) {
  installPrograms();
  writeText(root.file("etc/udev/rules.d/70-quorvelle.rules"), "an old uaccess rule");
  giveRootAway();
  ASSERT_EQ(grant({}), 0) << errors;

  EXPECT_EQ(fs::status(root.file("usr/local/libexec/quorvelle-engine")).permissions(), fs::perms(0755));
  EXPECT_EQ(read(root.file("usr/local/libexec/quorvelle-engine")), "the engine");
  std::string unit = read(resources + "quorvelle-engine.service");
  const size_t execStart = unit.find("ExecStart=/");
  ASSERT_NE(execStart, std::string::npos);
  unit.replace(execStart, unit.find('\n', execStart) - execStart, "ExecStart=/usr/local/libexec/quorvelle-engine");
  EXPECT_EQ(read(root.file("etc/systemd/system/quorvelle-engine.service")), unit);
  EXPECT_EQ(read(root.file("etc/systemd/system/quorvelle-engine.socket")), read(resources + "quorvelle-engine.socket"));
  EXPECT_EQ(read(root.file("etc/sysusers.d/quorvelle-engine.conf")), read(resources + "quorvelle-engine.conf"));
  EXPECT_EQ(read(root.file("etc/udev/rules.d/60-quorvelle-engine.rules")), read(resources + "60-quorvelle-engine.rules"));
  EXPECT_EQ(read(root.file("etc/udev/rules.d/70-quorvelle.rules")), "<missing>") << "the old rule goes";
  const std::string clean = " [/usr/sbin:/usr/bin:/sbin:/bin]\n";  // the caller's environment stays behind
  // The user before the rule and the unit that name it.
  EXPECT_EQ(calls(), "systemd-sysusers /etc/sysusers.d/quorvelle-engine.conf" + clean +
                         "udevadm control --reload" + clean +
                         "udevadm trigger --action=change --subsystem-match=misc --sysname-match=uinput" + clean +
                         "udevadm settle --timeout=10" + clean + "systemctl daemon-reload" + clean +
                         "systemctl enable --now quorvelle-engine.socket" + clean +
                         "systemctl try-restart quorvelle-engine.service" + clean);

  fs::remove(root.file("calls.log"));
  ASSERT_EQ(grant({"remove"}), 0) << errors;
  for (const char* path : {"usr/local/libexec", "etc/systemd/system", "etc/sysusers.d", "etc/udev/rules.d"}) {
    EXPECT_TRUE(fs::is_empty(root.file(path))) << path;
  }
  EXPECT_EQ(calls(), "systemctl disable --now quorvelle-engine.socket quorvelle-engine.service" + clean +
                         "systemctl daemon-reload" + clean + "udevadm control --reload" + clean);

  installPrograms(3);
  EXPECT_EQ(grant({"install"}), 1);
  EXPECT_THAT(errors, HasSubstr("installed the engine service, but it is not running: " +
                                root.file("usr/bin/systemctl") + " daemon-reload exited with status 3"));
}

TEST_F(GrantAccessTest, RefusesAnIncompleteCopyUnknownArgumentsMissingPrivilegesAndATestRootAsRoot) {
  installPrograms();
  fs::remove(bundle.file("Contents/Helpers/quorvelle-engine"));
  EXPECT_EQ(grant({"install"}), 1);
  EXPECT_THAT(errors, HasSubstr("this copy of Quorvelle is incomplete: " + bundle.file("Contents/Helpers/quorvelle-engine")));
  EXPECT_EQ(grant({"--root=/"}), 2);
  EXPECT_THAT(errors, HasSubstr("unknown argument: --root=/"));
  EXPECT_EQ(grant({"install", "remove"}), 2);
  EXPECT_EQ(grant({}, /*privileged=*/false, /*withRoot=*/false), 1);
  EXPECT_THAT(errors, HasSubstr("must run as root"));
  if (geteuid() == 0) {
    EXPECT_EQ(grant({}, /*privileged=*/true), 1);
    EXPECT_THAT(errors, HasSubstr("refusing it as root"));
  }
  EXPECT_EQ(calls(), "<missing>");
  EXPECT_FALSE(fs::exists(root.file("etc")));
}

}  // namespace
}  // namespace quorvelle::testing_support
