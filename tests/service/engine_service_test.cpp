// The engine service over socket pairs: client messages in, the grabbed
// keyboards' keys through the real tap and the core's hyper key handler, the
// virtual keyboard's frames out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;

constexpr std::uint32_t served(Served reason) { return static_cast<std::uint32_t>(reason); }
const std::string kMe = std::to_string(::getuid());
using Lines = std::vector<std::string>;
const Lines kHyperDown = {"LCTRL 1", "SYN", "LALT 1", "SYN", "LMETA 1", "SYN"};
const Lines kHyperUp = {"LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"};

Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class EngineServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { h.plug("event0"); }
  void type(std::uint16_t code, std::int32_t value) { h.type("event0", frame(code, value)); }
  // A served, enabled holder with Caps Lock mapped to F18, the hyper key.
  int holder() {
    const int app = h.connect();
    h.startAndEnable(app);
    h.request(app, mappingMessage({{KEY_CAPSLOCK, KEY_F18}}));
    return app;
  }
  std::optional<Message> nextOfType(int client, MessageType type) {
    std::optional<Message> m;
    do m = h.next(client);
    while (m && m->type != type);
    return m;
  }

  ServiceHarness h;
};

TEST_F(EngineServiceTest, ServesTheActiveUserWhoseKeysChangeOnlyOnceMappedAndEnabled) {
  const int app = h.connect();
  EXPECT_EQ(h.request(app, message(MessageType::Hello)).value, served(Served::Yes));
  EXPECT_FALSE(h.grabbed("event0"));
  const Message status = h.request(app, message(MessageType::Start));
  EXPECT_EQ(status.value, served(Served::Yes));
  EXPECT_EQ(status.flags, 1u);
  EXPECT_TRUE(h.grabbed("event0"));
  EXPECT_EQ(h.logged("Quorvelle engine: serving user " + kMe), 1);

  type(KEY_CAPSLOCK, 1);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN", "MSC 7003a", "CAPS 0", "SYN"))
      << "unchanged until a mapping and Enable";

  EXPECT_EQ(h.request(app, mappingMessage({{KEY_CAPSLOCK, KEY_F18}})).value, served(Served::Yes));

  h.send(app, message(MessageType::Enable, 1));
  h.send(app, message(MessageType::Enable, 1));
  type(KEY_CAPSLOCK, 1);
  EXPECT_EQ(h.logged("Quorvelle engine: hyper key on for user " + kMe), 1) << "once, when it turns on";
  type(KEY_A, 1);
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_EQ(h.output(), (kHyperDown + Lines{"MSC 7001e", "A 1", "SYN", "MSC 7001e", "A 0", "SYN"} + kHyperUp));
  // Bit i: the left key of modifier i (Control, Option, Shift, Command) was the engine's last press.
  const std::optional<Message> synthetic = nextOfType(app, MessageType::SyntheticKeys);
  ASSERT_TRUE(synthetic);
  EXPECT_EQ(synthetic->flags, 0b1011u);
  for (Received r = receiveMessage(app); r.kind == Received::Kind::Message; r = receiveMessage(app)) {
    EXPECT_NE(r.message.type, MessageType::SyntheticKeys) << "released, they were still the engine's last presses";
  }
}

TEST_F(EngineServiceTest, RefusesAUserWhoseSessionIsNotActiveAndLogsItOnce) {
  h.seat.switchTo(::getuid() + 1);
  const int app = h.connect();
  for (const Message& m : {message(MessageType::Hello), message(MessageType::Start),
                           mappingMessage({{KEY_A, KEY_B}}), message(MessageType::CapsLockOff),
                           message(MessageType::Start)}) {
    EXPECT_EQ(h.request(app, m).value, served(Served::NotActiveSession)) << static_cast<int>(m.type);
  }
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.mapping.table().empty());
  EXPECT_EQ(h.logged("Quorvelle engine: refused user " + kMe + ": not the active session"), 1);
  h.seat.switchTo(-1);  // the login screen: no one's session
  EXPECT_EQ(h.request(app, message(MessageType::Start)).value, served(Served::NotActiveSession));
}

// At a session switch or a Stop the keys go up: synthetic modifiers first,
// then every key still down; the grab, the virtual keyboard and the mapping go
// with it. Letting go of a client that is gone, the whole-system test sees.
TEST_F(EngineServiceTest, ASessionSwitchOrAStopReleasesTheKeysAndForgetsTheMapping) {
  int app = holder();
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();
  h.seat.switchTo(::getuid() + 1);
  const std::optional<Message> status = nextOfType(app, MessageType::Status);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->value, served(Served::NotActiveSession));
  EXPECT_TRUE(h.closedByService(app, 1.0)) << "at once, not for silence";
  EXPECT_EQ(h.logged("Quorvelle engine: released: session changed"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.devices->virtualDestroyed);
  EXPECT_EQ(h.output(), (kHyperUp + Lines{"A 0", "SYN"}));
  EXPECT_TRUE(h.mapping.table().empty());

  h.seat.switchTo(::getuid());
  app = holder();
  const Message stopped = h.request(app, message(MessageType::Stop));
  EXPECT_EQ(stopped.value, served(Served::Yes));
  EXPECT_EQ(stopped.flags, 0u);
  EXPECT_EQ(h.logged("Quorvelle engine: released: stopped"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.mapping.table().empty());
  EXPECT_EQ(h.request(app, message(MessageType::Start)).flags, 1u);
  type(KEY_CAPSLOCK, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN"));
}

TEST_F(EngineServiceTest, OneHolderAtATimeWhileTheUsersOtherClientsMaySetTheMapping) {
  const int tool = h.connect();
  h.request(tool, mappingMessage({{KEY_CAPSLOCK, KEY_F18}, {KEY_A, KEY_C}}));
  const int app = h.connect();
  h.startAndEnable(app);
  const std::optional<Message> mapping = h.next(app);
  ASSERT_TRUE(mapping && mapping->type == MessageType::Mapping) << "a mapping set before the start is told";
  EXPECT_EQ(mapping->translationCount, 2u);

  const int second = h.connect();
  for (MessageType type : {MessageType::Start, MessageType::Hello, MessageType::Enable}) {
    EXPECT_EQ(h.request(second, message(type)).value, served(Served::Busy)) << static_cast<int>(type);
  }
  EXPECT_EQ(h.request(tool, mappingMessage({{KEY_CAPSLOCK, KEY_F18}})).value, served(Served::Yes));
  ::close(app);
  EXPECT_TRUE(h.loop.runUntil([&] { return !h.service->serving(); }, 5.0));
  EXPECT_EQ(h.request(second, message(MessageType::Start)).flags, 1u) << "free for the next";
}

TEST_F(EngineServiceTest, BadMessagesEndOnlyTheirOwnConnection) {
  const int app = holder();
  std::uint8_t otherVersion[engine_protocol::kWireSize];
  encodeMessage(message(MessageType::Hello), otherVersion);
  otherVersion[5] = 9;
  const std::vector<std::vector<std::uint8_t>> packets = {
      std::vector<std::uint8_t>(10, 0xAB), {}, {otherVersion, otherVersion + sizeof otherVersion}};
  for (const auto& packet : packets) {
    const int client = h.connect();
    for (int i = 0; i < 2; ++i) ::send(client, packet.data(), packet.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(h.closedByService(client)) << packet.size();
  }
  const int impostor = h.connect();
  h.send(impostor, message(MessageType::Status));
  EXPECT_TRUE(h.closedByService(impostor));
  EXPECT_EQ(h.logged("Quorvelle engine: ended a connection: a message of 10 bytes"), 1) << "once per connection";
  EXPECT_EQ(h.logged("Quorvelle engine: ended a connection: a message of 0 bytes"), 1);
  EXPECT_TRUE(h.service->serving());
  EXPECT_EQ(h.service->connectionCount(), 1u);
  EXPECT_EQ(h.request(app, message(MessageType::Hello)).flags, 1u);
}

TEST_F(EngineServiceTest, ConnectionsOverTheLimitAreClosedAtOnce) {
  std::vector<int> open;
  for (int i = 0; i < 16; ++i) open.push_back(h.connect());
  EXPECT_TRUE(h.closedByService(h.connect(), 0.5));
  EXPECT_EQ(h.service->connectionCount(), 16u);
  EXPECT_EQ(h.request(open.back(), message(MessageType::Hello)).value, served(Served::Yes));
}

TEST_F(EngineServiceTest, KeysFlowWhileTheHolderDoesNotReadItsMessages) {
  holder();
  // Never read: SyntheticKeys pile up until its buffer is full; the service
  // never waits for it, and lets it go when nothing more fits.
  for (int i = 0; i < 2000 && h.service->serving(); ++i) {
    type(KEY_CAPSLOCK, 1);
    type(KEY_A, 1);
    type(KEY_A, 0);
    type(KEY_CAPSLOCK, 0);
    type(KEY_LEFTCTRL, 1);  // the user's own press: the bits change again
    type(KEY_LEFTCTRL, 0);
    h.loop.runFor(0);
  }
  EXPECT_FALSE(h.service->serving());
  EXPECT_EQ(h.logged("Quorvelle engine: released: client not answering"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
}

}  // namespace
}  // namespace quorvelle::testing_support
