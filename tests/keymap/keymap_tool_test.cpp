// The key mapping tool as the engine runs it: a real process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/key_mapping.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;

ProgramResult runTool(const std::string& runtimeDir, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), QUORVELLE_KEYMAP_TOOL);
  // No input devices: the keyboards of the machine stay untouched.
  return runProgram(arguments,
                    environmentWith({{"XDG_RUNTIME_DIR", runtimeDir}, {"QUORVELLE_KEYMAP_INPUT_DIR", runtimeDir}}));
}

TEST(KeymapToolTest, SetsAndGetsTheMappingTheEngineAsksFor) {
  TempDir runtime;
  ProgramResult get = runTool(runtime.path(), {"property", "--get", "UserKeyMapping"});
  EXPECT_EQ(get.exitCode, 0) << get.err;
  EXPECT_EQ(get.out, "[]\n");

  std::string apply = KeyMapping::propertyText(true);
  ProgramResult set = runTool(runtime.path(), {"property", "--set", apply});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out, "");
  get = runTool(runtime.path(), {"property", "--get", "UserKeyMapping"});
  EXPECT_EQ(get.out, std::string(kCapsLockToF18MappingList) + "\n");

  ProgramResult clear = runTool(runtime.path(), {"property", "--set", KeyMapping::propertyText(false)});
  EXPECT_EQ(clear.exitCode, 0) << clear.err;
  EXPECT_EQ(runTool(runtime.path(), {"property", "--get", "UserKeyMapping"}).out, "[]\n");
}

TEST(KeymapToolTest, RefusesBadInputWithAMessageAndChangesNothing) {
  TempDir runtime;
  ASSERT_EQ(runTool(runtime.path(), {"property", "--set", KeyMapping::propertyText(true)}).exitCode, 0);
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"property", "--set", "{\"UserKeyMapping\":[}"}, "quorvelle-keymap: malformed property text at offset 19"},
      {{"property", "--set", "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x7000000A5,"
                             "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}"},
       "not a key the kernel knows"},
      {{"property", "--get", "Other"}, "unknown property \"Other\""},
      {{"property", "--set"}, "expected three arguments"},
      {{"hid", "--set", "{}"}, "expected three arguments"},
      {{"property", "--del", "x"}, "unknown option \"--del\""},
  };
  for (const Case& c : cases) {
    ProgramResult run = runTool(runtime.path(), c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(runTool(runtime.path(), {"property", "--get", "UserKeyMapping"}).out,
            std::string(kCapsLockToF18MappingList) + "\n");
}

}  // namespace
}  // namespace quorvelle
