// The grant helper as a process: the rule it installs under a test root, the
// udev run that applies it, and everything it refuses. (That the access really
// comes and goes is seen with udev itself, in the whole-system acceptance test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "linux/file_util.h"
#include "linux/input_access_rule.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::HasSubstr;

// The helper copied where nobody may run it, and a root folder, owned by the
// user the helper runs as, with a udevadm that records how it was run.
class GrantAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(QUORVELLE_GRANT_HELPER, helper);
    chmod(bin.path().c_str(), 0755);
    chmod(root.path().c_str(), 0755);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(root.path().c_str(), kNobody, kNobody), 0);
    }
  }
  // udevadm and modprobe that record how they were run.
  void installUdevadm(int exitStatus) {
    std::string error;
    for (const char* program : {"usr/bin/udevadm", "usr/sbin/modprobe"}) {
      makeDirectories(parentPath(root.file(program)), &error);
      std::ofstream(root.file(program)) << "#!/bin/sh\necho \"${0##*/} $* [$PATH$QUORVELLE_PROBE]\" >> "
                                        << root.file("udevadm.log") << "\nexit " << exitStatus << "\n";
      chmod(root.file(program).c_str(), 0755);
    }
  }
  // Runs the helper; unprivileged and with the test root unless told otherwise.
  int grant(std::vector<std::string> arguments, bool privileged = false, bool withRoot = true) {
    const auto body = [&](int out) {
      dup2(out, STDERR_FILENO);
      if (withRoot) setenv("QUORVELLE_GRANT_TEST_ROOT", root.path().c_str(), 1);
      setenv("QUORVELLE_PROBE", " leaked", 1);
      std::vector<char*> argv{helper.data()};
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(helper.c_str(), argv.data());
      return 126;
    };
    return privileged ? runPrivileged(body, &errors) : runUnprivileged(body, &errors);
  }
  std::string read(const std::string& path) {
    std::string error;
    return readFile(path, &error).value_or("<missing>");
  }

  TempDir bin;
  TempDir root;
  std::string helper = bin.file("quorvelle-grant-access");
  std::string errors;
};

TEST_F(GrantAccessTest, InstallsAndRemovesTheRuleAndHasUdevApplyIt) {
  ASSERT_EQ(grant({"install"}), 0) << errors;
  EXPECT_THAT(errors, HasSubstr("udevadm not found"));
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), inputAccessRuleText());

  installUdevadm(0);
  ASSERT_EQ(grant({}), 0) << errors;
  struct stat info;
  ASSERT_EQ(stat(root.file(kInputAccessRulePath).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  const std::string clean = " [/usr/sbin:/usr/bin:/sbin:/bin]\n";  // the caller's environment stays behind
  const std::string reload = "udevadm control --reload" + clean;
  const std::string apply = "udevadm trigger --action=change --subsystem-match=input --subsystem-match=misc" +
                            clean + "udevadm settle --timeout=10" + clean;
  // uinput is loaded first: its static node is no device that udev could reach.
  EXPECT_EQ(read(root.file("udevadm.log")), reload + "modprobe uinput" + clean + apply);

  ASSERT_EQ(grant({"remove"}), 0) << errors;
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), "<missing>");
  EXPECT_EQ(read(root.file("udevadm.log")), reload + "modprobe uinput" + clean + apply + reload + apply);

  installUdevadm(3);
  EXPECT_EQ(grant({"install"}), 1);
  EXPECT_THAT(errors, HasSubstr("but udev did not apply it: " + root.file("usr/bin/udevadm") +
                                " control --reload exited with status 3"));
}

TEST_F(GrantAccessTest, RefusesUnknownArgumentsMissingPrivilegesAndATestRootAsRoot) {
  EXPECT_EQ(grant({"--root=/"}), 2);
  EXPECT_THAT(errors, HasSubstr("unknown argument: --root=/"));
  EXPECT_EQ(grant({"install", "remove"}), 2);
  EXPECT_EQ(grant({}, /*privileged=*/false, /*withRoot=*/false), 1);
  EXPECT_THAT(errors, HasSubstr("must run as root"));
  if (geteuid() == 0) {
    EXPECT_EQ(grant({}, /*privileged=*/true), 1);
    EXPECT_THAT(errors, HasSubstr("refusing it as root"));
  }
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), "<missing>");
}

}  // namespace
}  // namespace quorvelle::testing_support
