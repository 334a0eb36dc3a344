// The key mapping tool as the core runs it, a real process, against a server
// of the test's own on a real socket.
#include <linux/input-event-codes.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/key_mapping.h"
#include "linux/engine_test_server.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using engine_protocol::MessageType;
using engine_protocol::Served;
using testing::ElementsAre;
using testing::HasSubstr;
using namespace testing_support;

struct KeymapToolTest : testing::Test {
  ProgramResult runTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUORVELLE_KEYMAP_TOOL);
    return runProgram(arguments, environmentWith({{"QUORVELLE_ENGINE_SOCKET", path}}));
  }
  TempDir dir;
  std::string path = dir.file("engine.sock");
};

TEST_F(KeymapToolTest, HandsTheMappingToTheServiceAndSaysWhetherItWasTaken) {
  EngineTestServer server(path);
  ASSERT_TRUE(server.listening());
  ProgramResult set = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(set.out + set.err, "");
  ASSERT_THAT(server.receivedTypes(), ElementsAre(MessageType::SetMapping));
  const engine_protocol::Message mapping = server.received()[0];
  ASSERT_EQ(mapping.translationCount, 1u);
  EXPECT_EQ(mapping.translations[0].from, KEY_CAPSLOCK);
  EXPECT_EQ(mapping.translations[0].to, KEY_F18);
  server.clearReceived();
  ProgramResult clear = runTool({"property", "--set", KeyMapping::propertyText(false)});
  EXPECT_EQ(clear.exitCode, 0) << clear.err;
  EXPECT_EQ(server.received().at(0).translationCount, 0u);

  server.answer(Served::NotActiveSession);
  ProgramResult refused = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.err, HasSubstr("quorvelle-keymap: the mapping was not taken: this user does not own"));
}

TEST_F(KeymapToolTest, WithoutTheServiceOrWithBadInputItFailsWithAMessage) {
  ProgramResult missing = runTool({"property", "--set", KeyMapping::propertyText(true)});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("quorvelle-keymap: no engine service: " + path));

  EngineTestServer server(path);
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
  EXPECT_EQ(server.accepted(), 0) << "a bad mapping is never sent";
}

}  // namespace
}  // namespace quorvelle
