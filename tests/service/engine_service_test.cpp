// The engine service over socket pairs: client messages in, the grabbed
// keyboards' keys through the real tap and the core's hyper key handler, the
// virtual keyboard's frames out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t served(Served reason) { return static_cast<std::uint32_t>(reason); }
const std::string kMe = std::to_string(::getuid());

class EngineServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { h.plug("event0"); }
  void type(std::uint16_t code, std::int32_t value) { h.type("event0", code, value); }

  ServiceHarness h;
};

TEST_F(EngineServiceTest, ServesTheActiveUserAndAppliesTheMappingAndHyperToItsKeys) {
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

  EXPECT_EQ(h.request(app, mappingMessage(MessageType::SetMapping, {{KEY_CAPSLOCK, KEY_F18}})).value,
            served(Served::Yes));
  const std::optional<Message> mapping = h.next(app);
  ASSERT_TRUE(mapping && mapping->type == MessageType::Mapping);
  ASSERT_EQ(mapping->translationCount, 1u);
  EXPECT_EQ(mapping->translations[0].from, KEY_CAPSLOCK);
  EXPECT_EQ(mapping->translations[0].to, KEY_F18);

  h.send(app, message(MessageType::SetModifiers, 0, kControlFlag | kShiftFlag));
  h.send(app, message(MessageType::Enable, 1));
  h.send(app, message(MessageType::Enable, 1));
  type(KEY_CAPSLOCK, 1);
  EXPECT_EQ(h.logged("Quorvelle engine: hyper key on for user " + kMe), 1) << "once, when it turns on";
  type(KEY_A, 1);
  EXPECT_THAT(h.output(), ElementsAre("LCTRL 1", "SYN", "LSHIFT 1", "SYN", "MSC 7001e", "A 1", "SYN"));
  std::optional<Message> synthetic = h.next(app);
  ASSERT_TRUE(synthetic && synthetic->type == MessageType::SyntheticKeys);
  EXPECT_EQ(synthetic->flags, 0b0101u) << "Control and Shift, in the order of the modifier keys";
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 0", "SYN", "LSHIFT 0", "SYN", "LCTRL 0", "SYN"));
  while (h.readable(app)) {
    EXPECT_NE(h.next(app)->type, MessageType::SyntheticKeys)
        << "released synthetic keys were still the engine's last presses: no change";
  }
}

TEST_F(EngineServiceTest, RefusesAUserWhoseSessionIsNotActiveAndLogsItOnce) {
  h.seat.switchTo(::getuid() + 1);
  const int app = h.connect();
  EXPECT_EQ(h.request(app, message(MessageType::Hello)).value, served(Served::NotActiveSession));
  EXPECT_EQ(h.request(app, message(MessageType::Start)).value, served(Served::NotActiveSession));
  EXPECT_EQ(h.request(app, mappingMessage(MessageType::SetMapping, {{KEY_A, KEY_B}})).value,
            served(Served::NotActiveSession));
  EXPECT_EQ(h.request(app, message(MessageType::Start)).value, served(Served::NotActiveSession));
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.mapping.table().empty());
  EXPECT_EQ(h.logged("Quorvelle engine: refused user " + kMe + ": not the active session"), 1);

  h.seat.switchTo(std::nullopt);  // the login screen: no one's session
  EXPECT_EQ(h.request(app, message(MessageType::Start)).value, served(Served::NotActiveSession));
}

TEST_F(EngineServiceTest, ASessionSwitchLetsGoAndTheUserIsServedAgainOnReturn) {
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage(MessageType::SetMapping, {{KEY_CAPSLOCK, KEY_F18}}));
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  h.output();

  h.seat.switchTo(::getuid() + 1);
  std::optional<Message> status;
  do status = h.next(app);
  while (status && status->type != MessageType::Status);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->value, served(Served::NotActiveSession));
  EXPECT_TRUE(h.closedByService(app, 1.0)) << "at once, not for silence";
  EXPECT_EQ(h.logged("Quorvelle engine: released: session changed"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.devices->virtualDestroyed);
  EXPECT_THAT(h.output(), ElementsAre("LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN", "A 0", "SYN"))
      << "synthetic modifiers first, then every key still down";
  EXPECT_TRUE(h.mapping.table().empty());

  h.seat.switchTo(::getuid());
  const int again = h.connect();
  h.startAndEnable(again);
  EXPECT_TRUE(h.grabbed("event0"));
  type(KEY_CAPSLOCK, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN")) << "the mapping went with the release";
}

TEST_F(EngineServiceTest, OneHolderAtATimeWhileTheUsersOtherClientsMaySetTheMapping) {
  const int app = h.connect();
  h.startAndEnable(app);
  const int second = h.connect();
  EXPECT_EQ(h.request(second, message(MessageType::Start)).value, served(Served::Busy));
  EXPECT_EQ(h.request(second, message(MessageType::Hello)).value, served(Served::Busy));
  EXPECT_EQ(h.request(second, message(MessageType::Enable, 0)).value, served(Served::Busy));

  const int tool = h.connect();
  EXPECT_EQ(h.request(tool, mappingMessage(MessageType::SetMapping, {{KEY_CAPSLOCK, KEY_F18}})).value,
            served(Served::Yes));
  std::optional<Message> mapping = h.next(app);
  ASSERT_TRUE(mapping && mapping->type == MessageType::Mapping) << "the holder hears of it";
  EXPECT_EQ(mapping->translationCount, 1u);
  type(KEY_CAPSLOCK, 1);
  type(KEY_B, 1);
  EXPECT_THAT(h.output(), ElementsAre("LCTRL 1", "SYN", "LALT 1", "SYN", "LMETA 1", "SYN", "MSC 70030", "B 1", "SYN"));

  h.hangUp(app);
  EXPECT_TRUE(h.loop.runUntil([&] { return !h.service->serving(); }, 5.0));
  EXPECT_EQ(h.logged("Quorvelle engine: released: client gone"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_THAT(h.output(), ElementsAre("LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN", "B 0", "SYN"));
  EXPECT_EQ(h.request(second, message(MessageType::Start)).flags, 1u) << "free for the next";
}

TEST_F(EngineServiceTest, StopLetsGoAndClearsTheMapping) {
  const int tool = h.connect();
  h.request(tool, mappingMessage(MessageType::SetMapping, {{KEY_CAPSLOCK, KEY_F18}, {KEY_A, KEY_C}}));
  const int app = h.connect();
  h.send(app, message(MessageType::Start));
  ASSERT_EQ(h.next(app)->type, MessageType::Status);
  const std::optional<Message> mapping = h.next(app);
  ASSERT_TRUE(mapping && mapping->type == MessageType::Mapping) << "a mapping set before the start is told";
  EXPECT_EQ(mapping->translationCount, 2u);

  const Message stopped = h.request(app, message(MessageType::Stop));
  EXPECT_EQ(stopped.value, served(Served::Yes));
  EXPECT_EQ(stopped.flags, 0u);
  EXPECT_EQ(h.logged("Quorvelle engine: released: stopped"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.mapping.table().empty());
  EXPECT_EQ(h.request(app, message(MessageType::Start)).flags, 1u);
  type(KEY_A, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN"));
}

// A key held while the mapping changes goes up as what it went down as:
// nothing stays down, and hyper ends with its own key.
TEST_F(EngineServiceTest, TheMappingChangesLiveWithoutLeavingAKeyDown) {
  const int app = h.connect();
  h.startAndEnable(app);
  type(KEY_A, 1);
  h.request(app, mappingMessage(MessageType::SetMapping, {{KEY_A, KEY_B}, {KEY_CAPSLOCK, KEY_F18}}));
  type(KEY_A, 0);
  type(KEY_A, 1);
  type(KEY_A, 0);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7001e", "A 1", "SYN", "MSC 7001e", "A 0", "SYN", "MSC 7001e", "B 1", "SYN",
                                      "MSC 7001e", "B 0", "SYN"));

  type(KEY_CAPSLOCK, 1);
  h.request(app, mappingMessage(MessageType::SetMapping, {}));
  type(KEY_C, 1);
  type(KEY_C, 0);
  type(KEY_CAPSLOCK, 0);
  EXPECT_THAT(h.output(), ElementsAre("LCTRL 1", "SYN", "LALT 1", "SYN", "LMETA 1", "SYN", "MSC 7002e", "C 1", "SYN",
                                      "MSC 7002e", "C 0", "SYN", "LMETA 0", "SYN", "LALT 0", "SYN", "LCTRL 0", "SYN"))
      << "Caps Lock held as F18 still ends hyper, and never shows as Caps Lock";
  type(KEY_CAPSLOCK, 1);
  EXPECT_THAT(h.output(), ElementsAre("MSC 7003a", "CAPS 1", "SYN"));
}

TEST_F(EngineServiceTest, GarbageAndOversizedMessagesEndOnlyTheirOwnConnection) {
  const int app = h.connect();
  h.startAndEnable(app);
  const int garbage = h.connect();
  h.sendBytes(garbage, std::vector<std::uint8_t>(10, 0xAB));
  h.sendBytes(garbage, std::vector<std::uint8_t>(10, 0xAB));
  EXPECT_TRUE(h.closedByService(garbage));
  const int oversized = h.connect();
  std::vector<std::uint8_t> big(4096, 0);
  encodeMessage(message(MessageType::Hello), big.data());
  h.sendBytes(oversized, big);
  EXPECT_TRUE(h.closedByService(oversized));
  const int empty = h.connect();
  h.sendBytes(empty, {});
  EXPECT_TRUE(h.closedByService(empty));
  const int impostor = h.connect();
  h.send(impostor, message(MessageType::Status));
  EXPECT_TRUE(h.closedByService(impostor));

  EXPECT_THAT(h.log.lines, ::testing::IsSupersetOf({"Quorvelle engine: ended a connection: a message of 10 bytes",
                                                   "Quorvelle engine: ended a connection: a message of 4096 bytes",
                                                   "Quorvelle engine: ended a connection: a message of 0 bytes"}));
  EXPECT_EQ(h.logged("Quorvelle engine: ended a connection: a message of 10 bytes"), 1) << "once per connection";
  EXPECT_TRUE(h.service->serving());
  EXPECT_EQ(h.service->connectionCount(), 1u);
  EXPECT_EQ(h.request(app, message(MessageType::Hello)).flags, 1u);

  std::uint8_t wire[engine_protocol::kWireSize];
  encodeMessage(message(MessageType::Hello), wire);
  wire[5] = 9;  // another version, from the holder itself
  h.sendBytes(app, std::vector<std::uint8_t>(wire, wire + sizeof wire));
  EXPECT_TRUE(h.closedByService(app));
  EXPECT_FALSE(h.service->serving());
  EXPECT_EQ(h.logged("Quorvelle engine: released: client gone"), 1);
}

TEST_F(EngineServiceTest, ConnectionsOverTheLimitAreClosedAtOnce) {
  std::vector<int> open;
  for (int i = 0; i < 16; ++i) open.push_back(h.connect());
  const int extra = h.connect();
  EXPECT_TRUE(h.closedByService(extra, 0.5));
  EXPECT_EQ(h.service->connectionCount(), 16u);
  EXPECT_EQ(h.request(open.back(), message(MessageType::Hello)).value, served(Served::Yes));
  h.hangUp(open.front());
  EXPECT_TRUE(h.loop.runUntil([&] { return h.service->connectionCount() == 15; }, 5.0));
  const int now = h.connect();
  EXPECT_EQ(h.request(now, message(MessageType::Hello)).value, served(Served::Yes));
}

TEST(EngineServiceLivenessTest, AHolderThatStopsAnsweringIsLetGoWhileOneThatAnswersIsKept) {
  ServiceHarness h({.pingSeconds = 0.02, .silenceSeconds = 0.15});
  h.plug("event0");
  const int app = h.connect();
  h.startAndEnable(app);
  // Answers every ping for well over the silence bound.
  int pings = 0;
  auto answering = h.loop.watchReadable(app, [&] {
    const Received received = receiveMessage(app);
    if (received.kind == Received::Kind::Message && received.message.type == MessageType::Ping) {
      ++pings;
      h.send(app, message(MessageType::Pong));
    }
  });
  h.loop.runUntil([&] { return pings >= 25; }, 30.0);
  EXPECT_GE(pings, 25);
  EXPECT_TRUE(h.service->serving());
  answering.reset();

  // Silent (SIGSTOP, a hang): let go within the bound and a ping.
  EXPECT_TRUE(h.loop.runUntil([&] { return !h.service->serving(); }, 10.0));
  EXPECT_EQ(h.logged("Quorvelle engine: released: client not answering"), 1);
  EXPECT_FALSE(h.grabbed("event0"));
  EXPECT_TRUE(h.closedByService(app));
}

TEST_F(EngineServiceTest, KeysFlowWhileTheHolderDoesNotReadItsMessages) {
  const int app = h.connect();
  h.startAndEnable(app);
  h.request(app, mappingMessage(MessageType::SetMapping, {{KEY_CAPSLOCK, KEY_F18}}));
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
