// The key mapping tool as the engine runs it: a real process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/key_mapping.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using testing_support::TempDir;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

ToolRun runTool(const std::string& runtimeDir, const std::vector<std::string>& arguments) {
  int out[2], err[2];
  ToolRun run;
  if (pipe(out) != 0 || pipe(err) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    // No input devices: the keyboards of the machine stay untouched.
    setenv("QUORVELLE_KEYMAP_INPUT_DIR", runtimeDir.c_str(), 1);
    std::vector<char*> argv = {const_cast<char*>(QUORVELLE_KEYMAP_TOOL)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(QUORVELLE_KEYMAP_TOOL, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, static_cast<size_t>(n));
  while ((n = read(err[0], buffer, sizeof buffer)) > 0) run.err.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(KeymapToolTest, SetsAndGetsTheMappingTheEngineAsksFor) {
  TempDir runtime;
  ToolRun get = runTool(runtime.path(), {"property", "--get", "UserKeyMapping"});
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "[]\n");

  std::string apply = KeyMapping::propertyText(true);
  ToolRun set = runTool(runtime.path(), {"property", "--set", apply});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "");
  get = runTool(runtime.path(), {"property", "--get", "UserKeyMapping"});
  EXPECT_EQ(get.out, std::string(kCapsLockToF18MappingList) + "\n");

  ToolRun clear = runTool(runtime.path(), {"property", "--set", KeyMapping::propertyText(false)});
  EXPECT_EQ(clear.status, 0) << clear.err;
  EXPECT_EQ(runTool(runtime.path(), {"property", "--get", "UserKeyMapping"}).out, "[]\n");
}

TEST(KeymapToolTest, RefusesBadInputWithAMessageAndChangesNothing) {
  TempDir runtime;
  ASSERT_EQ(runTool(runtime.path(), {"property", "--set", KeyMapping::propertyText(true)}).status, 0);
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"property", "--set", "{\"UserKeyMapping\":[}"}, "quorvelle-keymap: malformed property text at offset 19"},
      {{"property", "--set", "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0xFF00000039,"
                             "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}"},
       "not on HID usage page 7"},
      {{"property", "--set", "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x7000000A5,"
                             "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}"},
       "not a key the kernel knows"},
      {{"property", "--get", "Other"}, "unknown property \"Other\""},
      {{"property", "--set"}, "expected three arguments"},
      {{"hid", "--set", "{}"}, "expected three arguments"},
      {{"property", "--del", "x"}, "unknown option \"--del\""},
  };
  for (const Case& c : cases) {
    ToolRun run = runTool(runtime.path(), c.arguments);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(runTool(runtime.path(), {"property", "--get", "UserKeyMapping"}).out,
            std::string(kCapsLockToF18MappingList) + "\n");
}

}  // namespace
}  // namespace quorvelle
