// The application's side of the engine service against a server of the
// test's own on a real socket: trust, the tap and what it sends, reconnecting
// with replay, busy and refused answers.
#include <linux/input-event-codes.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/engine_client/engine_tap_system.h"
#include "linux/engine_client/engine_trust.h"
#include "linux/engine_test_server.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;
using testing::ElementsAre;
using testing::HasSubstr;
using testing_support::EngineTestServer;
using testing_support::eventually;
using testing_support::serveUntil;

struct RecordingPrompt : AccessPrompt {
  void show(const std::string& why) override { shown.push_back(why); }
  void withdraw() override { ++withdrawn; }
  std::vector<std::string> shown;
  int withdrawn = 0;
};

Message message(MessageType type, std::uint64_t flags = 0) {
  Message m;
  m.type = type;
  m.flags = flags;
  return m;
}

TEST(EngineTrust, ServedOrBusyIsTrustedAndOnlyAMissingServiceIsPrompted) {
  testing_support::TempDir dir;
  const std::string path = dir.file("engine.sock");
  RecordingPrompt prompt;
  EngineTrust trust(prompt, path);
  EXPECT_FALSE(trust.isTrusted());
  EXPECT_TRUE(prompt.shown.empty()) << "asked without the prompt";
  EXPECT_FALSE(trust.isTrustedPrompting());
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_THAT(prompt.shown[0], HasSubstr(path));

  EngineTestServer server(path);
  ASSERT_TRUE(server.listening());
  for (Served reason : {Served::Yes, Served::Busy}) {
    server.answer(reason);
    EXPECT_TRUE(trust.isTrustedPrompting()) << static_cast<int>(reason);
    EXPECT_TRUE(trust.isTrusted());
  }
  for (Served reason : {Served::NotActiveSession, Served::EngineFailed}) {
    server.answer(reason);
    EXPECT_FALSE(trust.isTrustedPrompting()) << static_cast<int>(reason);
  }
  EXPECT_EQ(prompt.shown.size(), 1u) << "a grant does not help a service that is there";
  EXPECT_EQ(prompt.withdrawn, 6);
  EXPECT_THAT(server.receivedTypes(), testing::Each(MessageType::Hello));
  EXPECT_TRUE(eventually([&] { return server.open() == 0; })) << "each check closes its connection";

  server.beSilent();
  EXPECT_FALSE(trust.isTrusted()) << "no answer within the bound";
}

struct EngineTapTest : testing::Test {
  testing_support::TempDir dir;
  std::string path = dir.file("engine.sock");
  EngineTestServer server{path};
  PollRunLoop loop;
  sim::RecordingLog log;
  EngineTapSystem taps{loop, loop, log, path, /*answerSeconds=*/0.5};

  std::unique_ptr<EventTap> createTap() { return taps.createTap(kKeyEventMask, nullptr, nullptr); }
  // Everything sent before has been read once the Ping sent after it is answered.
  bool pinged() {
    const int before = server.pongs();
    server.sendToAll(message(MessageType::Ping));
    return serveUntil(loop, [&] { return server.pongs() > before; }, 10);
  }
};

TEST_F(EngineTapTest, AServedTapSendsWhatTheCoreDecidesAndAnswersPings) {
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap);
  EXPECT_FALSE(createTap()) << "one tap at a time";
  tap->setInjectedFlags(kControlFlag | kShiftFlag);
  taps.hidSystem().setCapsLockStateOff();
  tap->setEnabled(true);
  ASSERT_TRUE(eventually([&] { return server.received().size() == 4; }));
  const std::vector<Message> sent = server.received();
  EXPECT_THAT(server.receivedTypes(), ElementsAre(MessageType::Start, MessageType::SetModifiers,
                                                  MessageType::CapsLockOff, MessageType::Enable));
  EXPECT_EQ(sent[1].flags, kControlFlag | kShiftFlag);
  EXPECT_EQ(sent[3].value, 1u);
  EXPECT_TRUE(pinged());

  // Bit i stands for the left key of modifier i: Control, Option, Shift, Command.
  server.sendToAll(message(MessageType::SyntheticKeys, 0b0101));
  ASSERT_TRUE(eventually([&] { return taps.isKeyPressedByTap(KEY_LEFTCTRL); })) << "read without the run loop";
  EXPECT_TRUE(taps.isKeyPressedByTap(KEY_LEFTSHIFT));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTALT));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_RIGHTCTRL));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_A));

  server.clearReceived();
  tap.reset();
  ASSERT_TRUE(eventually([&] { return server.open() == 0; }));
  EXPECT_THAT(server.receivedTypes(), ElementsAre(MessageType::Stop));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTCTRL));
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: an event tap exists already"));
}

TEST_F(EngineTapTest, AfterTheServiceClosesTheTapReconnectsAndReplaysItsState) {
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap);
  tap->setInjectedFlags(kCommandFlag);
  tap->setEnabled(true);
  server.sendToAll(message(MessageType::SyntheticKeys, 1));
  ASSERT_TRUE(pinged());
  ASSERT_TRUE(taps.isKeyPressedByTap(KEY_LEFTCTRL));

  // While this process was busy elsewhere: a ping, the mapping the key
  // mapping tool set, and the end of the connection, all read at once. The
  // pong cannot go out; the mapping must still be read.
  Message mapping = message(MessageType::Mapping);
  mapping.translationCount = 1;
  mapping.translations[0] = {KEY_CAPSLOCK, KEY_F18};
  server.sendToAll(message(MessageType::Ping));
  server.sendToAll(mapping);
  // Another user's session in front: the retries only ask, so the service
  // has no refused Start to log every second.
  server.answer(Served::NotActiveSession);
  server.clearReceived();
  server.closeAll();
  ASSERT_TRUE(serveUntil(loop, [&] { return server.accepted() >= 3; }, 20));
  EXPECT_THAT(server.receivedTypes(), testing::Each(MessageType::Hello));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTCTRL)) << "what the old connection said is gone with it";

  server.clearReceived();
  server.answer(Served::Yes);
  ASSERT_TRUE(serveUntil(loop, [&] { return server.received().size() >= 5; }, 20));
  const std::vector<Message> replay = server.received();
  EXPECT_THAT(server.receivedTypes(), ElementsAre(MessageType::Hello, MessageType::Start, MessageType::SetModifiers,
                                                  MessageType::SetMapping, MessageType::Enable));
  EXPECT_EQ(replay[2].flags, kCommandFlag);
  ASSERT_EQ(replay[3].translationCount, 1u);
  EXPECT_EQ(replay[3].translations[0].from, KEY_CAPSLOCK);
  EXPECT_EQ(replay[3].translations[0].to, KEY_F18);
  ASSERT_EQ(log.lines.size(), 3u);
  EXPECT_THAT(log.lines[0], HasSubstr("closed the connection"));
  EXPECT_THAT(log.lines[1], HasSubstr("does not own the active session"));
  EXPECT_EQ(log.lines[2], "Quorvelle: the engine service serves this process again");
}

TEST_F(EngineTapTest, BusyKeepsTryingUntilServedWhileRefusedOrMissingIsNoTap) {
  server.answer(Served::Busy);
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap) << "busy is a tap that waits";
  tap->setEnabled(true);
  taps.hidSystem().setCapsLockStateOff();
  EXPECT_THAT(server.receivedTypes(), ElementsAre(MessageType::Start)) << "nothing goes out unserved";
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_THAT(log.lines[0], HasSubstr("another Quorvelle of this user holds the engine"));

  ASSERT_TRUE(serveUntil(loop, [&] { return server.accepted() >= 2; }, 10)) << "tries again";
  EXPECT_EQ(log.lines.size(), 1u) << "the same answer is logged once";
  server.answer(Served::Yes);
  ASSERT_TRUE(serveUntil(loop, [&] { return server.receivedTypes().back() == MessageType::Enable; }, 10));
  tap.reset();

  server.answer(Served::NotActiveSession);
  EXPECT_FALSE(createTap());
  EXPECT_THAT(log.lines.back(), HasSubstr("does not own the active session"));
  server.beSilent();
  EXPECT_FALSE(createTap());
  EXPECT_THAT(log.lines.back(), HasSubstr("did not answer"));
  EngineTapSystem missing(loop, loop, log, dir.file("none.sock"));
  EXPECT_FALSE(missing.createTap(kKeyEventMask, nullptr, nullptr));
  EXPECT_THAT(log.lines.back(), HasSubstr("no engine service: " + dir.file("none.sock")));
}

}  // namespace
}  // namespace quorvelle
