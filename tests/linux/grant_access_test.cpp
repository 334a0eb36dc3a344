// The grant helper as a process: the rule it installs under a test root, the
// udev run that applies it, and everything it refuses.
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

// The helper, runnable by nobody from a folder of the test's own, and a
// root folder with a udevadm that records how it was run.
class GrantAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    helper = bin.file("quorvelle-grant-access");
    std::filesystem::copy_file(QUORVELLE_GRANT_HELPER, helper);
    chmod(bin.path().c_str(), 0755);
    chmod(helper.c_str(), 0755);
    chmod(root.path().c_str(), 0755);
    if (geteuid() == 0) {
      ASSERT_EQ(chown(root.path().c_str(), kNobody, kNobody), 0);
    }
  }

  void installUdevadm(int exitStatus) {
    std::string error;
    ASSERT_TRUE(makeDirectories(root.file("usr/bin"), &error));
    std::ofstream(root.file("usr/bin/udevadm"))
        << "#!/bin/sh\necho \"$* [PATH=$PATH PROBE=$QUORVELLE_PROBE]\" >> \"" << root.file("udevadm.log")
        << "\"\nexit " << exitStatus << "\n";
    chmod(root.file("usr/bin/udevadm").c_str(), 0755);
  }

  // Runs the helper unprivileged, with the test root unless told otherwise.
  int grant(std::vector<std::string> arguments, std::string* errors, bool withRoot = true) {
    return runUnprivileged(
        [&](int out) {
          dup2(out, STDERR_FILENO);
          if (withRoot) setenv("QUORVELLE_GRANT_TEST_ROOT", root.path().c_str(), 1);
          setenv("QUORVELLE_PROBE", "leaked", 1);
          std::vector<char*> argv{helper.data()};
          for (std::string& argument : arguments) argv.push_back(argument.data());
          argv.push_back(nullptr);
          execv(helper.c_str(), argv.data());
          return 126;
        },
        errors);
  }

  std::string read(const std::string& path) {
    std::string error;
    return readFile(path, &error).value_or("<missing>");
  }

  TempDir bin;
  TempDir root;
  std::string helper;
};

TEST_F(GrantAccessTest, InstallsTheRuleAndHasUdevApplyItWithACleanEnvironment) {
  installUdevadm(0);
  std::string errors;
  ASSERT_EQ(grant({}, &errors), 0) << errors;
  const std::string rule = root.file(kInputAccessRulePath);
  EXPECT_EQ(read(rule), inputAccessRuleText());
  struct stat info;
  ASSERT_EQ(stat(rule.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  const std::string clean = " [PATH=/usr/sbin:/usr/bin:/sbin:/bin PROBE=]\n";
  EXPECT_EQ(read(root.file("udevadm.log")),
            "control --reload" + clean + "trigger --action=change --subsystem-match=input --subsystem-match=misc" +
                clean + "settle --timeout=10" + clean);

  ASSERT_EQ(grant({"remove"}, &errors), 0) << errors;
  EXPECT_EQ(read(rule), "<missing>");
  ASSERT_EQ(grant({"remove"}, &errors), 0) << "removing twice is fine: " << errors;
}

TEST_F(GrantAccessTest, WithoutUdevTheRuleStillInstallsAndAFailingUdevIsReported) {
  std::string errors;
  ASSERT_EQ(grant({"install"}, &errors), 0) << errors;
  EXPECT_THAT(errors, HasSubstr("udevadm not found"));
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), inputAccessRuleText());

  installUdevadm(3);
  EXPECT_EQ(grant({"install"}, &errors), 1);
  EXPECT_THAT(errors, HasSubstr("udev did not apply it"));
  EXPECT_THAT(errors, HasSubstr("control --reload exited with status 3"));
}

TEST_F(GrantAccessTest, RefusesUnknownArgumentsMissingPrivilegesAndTestRootsAsRoot) {
  std::string errors;
  EXPECT_EQ(grant({"--root=/"}, &errors), 2);
  EXPECT_THAT(errors, HasSubstr("unknown argument: --root=/"));
  EXPECT_EQ(grant({"install", "remove"}, &errors), 2);
  EXPECT_EQ(grant({}, &errors, /*withRoot=*/false), 1);
  EXPECT_THAT(errors, HasSubstr("must run as root"));
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), "<missing>");

  if (geteuid() != 0) GTEST_SKIP() << "the privileged refusal needs root";
  // As root, the test root is refused rather than followed.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDERR_FILENO);
    setenv("QUORVELLE_GRANT_TEST_ROOT", root.path().c_str(), 1);
    execl(helper.c_str(), helper.c_str(), nullptr);
    _exit(126);
  }
  close(pipeFds[1]);
  char buffer[512] = {};
  const ssize_t length = ::read(pipeFds[0], buffer, sizeof buffer - 1);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_THAT(std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0), HasSubstr("refusing it as root"));
  EXPECT_EQ(read(root.file(kInputAccessRulePath)), "<missing>");
}

}  // namespace
}  // namespace quorvelle::testing_support
