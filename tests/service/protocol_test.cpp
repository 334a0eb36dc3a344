// The engine protocol's messages: what encodes round-trips, and every way a
// packet can be wrong is refused with a reason.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine_protocol/protocol.h"

namespace quorvelle::engine_protocol {
namespace {

std::vector<std::uint8_t> wire(const Message& message) {
  std::vector<std::uint8_t> bytes(kWireSize);
  encodeMessage(message, bytes.data());
  return bytes;
}

std::string refusal(const std::vector<std::uint8_t>& bytes) {
  std::string why;
  EXPECT_FALSE(parseMessage(bytes.data(), bytes.size(), &why));
  return why;
}

TEST(ProtocolTest, EveryTypeRoundTripsWithAllItsFields) {
  for (MessageType type : {MessageType::Hello, MessageType::Start, MessageType::Enable, MessageType::Stop,
                           MessageType::SetModifiers, MessageType::SetMapping, MessageType::CapsLockOff,
                           MessageType::Pong, MessageType::Status, MessageType::Ping, MessageType::Mapping,
                           MessageType::SyntheticKeys}) {
    Message message;
    message.type = type;
    message.value = 1;
    message.flags = 0x8000'0000'0000'0001ull;
    message.translationCount = kMaxTranslations;
    for (std::size_t i = 0; i < kMaxTranslations; ++i) message.translations[i] = {std::uint16_t(58 + i), 0xFFFF};
    const std::vector<std::uint8_t> bytes = wire(message);
    std::string why;
    const std::optional<Message> parsed = parseMessage(bytes.data(), bytes.size(), &why);
    ASSERT_TRUE(parsed) << why;
    EXPECT_EQ(parsed->type, type);
    EXPECT_EQ(parsed->value, 1u);
    EXPECT_EQ(parsed->flags, message.flags);
    ASSERT_EQ(parsed->translationCount, kMaxTranslations);
    EXPECT_EQ(parsed->translations[7].from, 65);
    EXPECT_EQ(parsed->translations[7].to, 0xFFFF);
  }
}

TEST(ProtocolTest, EncodingCarriesNoMoreTranslationsThanTheLimitAndNothingPastTheCount) {
  Message message;
  message.type = MessageType::SetMapping;
  message.translationCount = 1000;
  message.translations[0] = {58, 188};
  message.translations[7] = {30, 48};
  Message two = message;
  two.translationCount = 1;
  const std::optional<Message> parsed = parseMessage(wire(two).data(), kWireSize, nullptr);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->translations[7].from, 0) << "stale pairs past the count stay home";
  EXPECT_EQ(parseMessage(wire(message).data(), kWireSize, nullptr)->translationCount, kMaxTranslations);
}

TEST(ProtocolTest, RefusesEveryMalformedPacketWithItsReason) {
  Message hello;
  const std::vector<std::uint8_t> good = wire(hello);
  EXPECT_EQ(refusal({}), "a message of 0 bytes");
  EXPECT_EQ(refusal(std::vector<std::uint8_t>(good.begin(), good.end() - 1)), "a message of 63 bytes");
  std::vector<std::uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_EQ(refusal(longer), "a message of 65 bytes");

  auto changed = [&](std::size_t at, std::uint8_t value, Message base = {}) {
    std::vector<std::uint8_t> bytes = wire(base);
    bytes[at] = value;
    return refusal(bytes);
  };
  EXPECT_EQ(changed(0, 0), "not a message of this protocol");
  EXPECT_EQ(changed(4, 2), "protocol version 2");
  EXPECT_EQ(changed(6, 0), "unknown message type 0");
  EXPECT_EQ(changed(6, 9), "unknown message type 9");
  EXPECT_EQ(changed(6, 63), "unknown message type 63");
  EXPECT_EQ(changed(6, 68), "unknown message type 68");
  EXPECT_EQ(changed(12, 9), "9 key translations");
  EXPECT_EQ(changed(15, 0x80), "2147483648 key translations") << "no sign or overflow trouble";
  EXPECT_EQ(changed(24, 1), "data past the key translations");
  EXPECT_EQ(changed(55, 1), "data past the key translations");
  EXPECT_EQ(changed(56, 1), "reserved bytes set");
  EXPECT_EQ(changed(63, 1), "reserved bytes set");
  Message enable;
  enable.type = MessageType::Enable;
  EXPECT_EQ(changed(8, 2, enable), "Enable with value 2");
  Message status;
  status.type = MessageType::Status;
  EXPECT_EQ(changed(8, 4, status), "Status with reason 4");
  std::vector<std::uint8_t> failed = wire(status);
  failed[8] = 3;
  EXPECT_TRUE(parseMessage(failed.data(), failed.size(), nullptr)) << "EngineFailed is a reason";
}

}  // namespace
}  // namespace quorvelle::engine_protocol
