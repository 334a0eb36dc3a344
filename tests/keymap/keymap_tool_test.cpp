// The key mapping tool as the core runs it, a real process, against the real
// engine service on a socket in a temporary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "engine/key_mapping.h"
#include "linux/process_util.h"
#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::HasSubstr;

struct KeymapToolTest : ::testing::Test {
  // Runs the tool to its end while the service answers it on this thread.
  ProgramResult runTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUORVELLE_KEYMAP_TOOL);
    const Spawned tool = spawnProgram(arguments, environmentWith({{"QUORVELLE_ENGINE_SOCKET", path}}), true);
    ProgramResult result;
    const std::optional<int> status = waitForExit(tool.pid, 20, &h.loop);
    result.out = readAll(tool.out);
    result.err = readAll(tool.err);
    if (status && WIFEXITED(*status)) result.exitCode = WEXITSTATUS(*status);
    return result;
  }
  const std::vector<KeyTranslation>& table() const { return h.mapping.table(); }

  ServiceHarness h;
  std::string path = h.dir.file("engine.sock");
};

TEST_F(KeymapToolTest, HandsTheMappingToTheServiceAndSaysWhetherItWasTaken) {
  ProgramResult missing = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("quorvelle-keymap: no engine service: " + path));

  h.listen();
  ProgramResult set = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out + set.err, "");
  ASSERT_EQ(table().size(), 1u);
  EXPECT_EQ(table()[0].from, KEY_CAPSLOCK);
  EXPECT_EQ(table()[0].to, KEY_F18);
  ProgramResult clear = runTool({"property", "--set", KeyMapping::propertyText(false)});
  EXPECT_EQ(clear.exitCode, 0) << clear.err;
  EXPECT_TRUE(table().empty());

  h.seat.switchTo(::getuid() + 1);
  ProgramResult refused = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.err, HasSubstr("quorvelle-keymap: the mapping was not taken: this user does not own"));
  EXPECT_TRUE(table().empty());
}

TEST_F(KeymapToolTest, BadInputFailsWithAMessageAndSendsNothing) {
  h.listen();
  std::string nine = "{\"UserKeyMapping\":[";
  for (int usage = 4; usage < 13; ++usage) {
    nine += (usage > 4 ? "," : "") + std::string("{\"HIDKeyboardModifierMappingSrc\":") +
            std::to_string(0x700000000 + usage) + ",\"HIDKeyboardModifierMappingDst\":0x70000006D}";
  }
  struct Case {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"property", "--set", "{\"UserKeyMapping\":[}"}, "quorvelle-keymap: malformed property text at offset 19"},
      {{"property", "--set", "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x7000000A5,"
                             "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}"},
       "not a key the kernel knows"},
      {{"property", "--set", nine + "]}"}, "at most 8 keys can be mapped"},
      {{"property", "--get", "UserKeyMapping"}, "unknown option \"--get\""},
      {{"property", "--set"}, "expected three arguments"},
  };
  for (const Case& c : cases) {
    ProgramResult run = runTool(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.message;
    EXPECT_THAT(run.err, HasSubstr(c.message));
  }
  EXPECT_TRUE(table().empty()) << "not even the part that was good";
}

}  // namespace
}  // namespace quorvelle::testing_support
