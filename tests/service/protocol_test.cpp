// The engine protocol's messages where the fuzzer cannot tell right from
// wrong (a refusal it would round-trip too) and where encoding is bounded.
// Field layout, sizes, magic, version and reserved bytes: the fuzzer and the
// service's own tests.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "engine_protocol/message_socket.h"
#include "engine_protocol/protocol.h"

namespace quorvelle::engine_protocol {
namespace {

TEST(ProtocolTest, RefusesUnknownTypesAndValuesOutOfRangeWithTheirReason) {
  struct Case {
    std::uint16_t type;
    std::uint8_t value;
    const char* why;  // nullptr: accepted
  } cases[] = {{0, 0, "unknown message type 0"},  {9, 0, "unknown message type 9"},
               {63, 0, "unknown message type 63"}, {68, 0, "unknown message type 68"},
               {3, 2, "Enable with value 2"},      {64, 4, "Status with reason 4"},
               {64, 3, nullptr}};  // EngineFailed is a reason
  for (const Case& c : cases) {
    std::uint8_t bytes[kWireSize];
    encodeMessage(Message{}, bytes);
    bytes[6] = static_cast<std::uint8_t>(c.type);
    bytes[8] = c.value;
    std::string why;
    EXPECT_EQ(parseMessage(bytes, kWireSize, &why).has_value(), c.why == nullptr) << c.type;
    if (c.why) EXPECT_EQ(why, c.why);
  }
}

TEST(ProtocolTest, EncodingCarriesNoMoreTranslationsThanTheLimitAndNothingPastTheCount) {
  Message message;
  message.type = MessageType::SetMapping;
  message.translationCount = 1000;
  message.translations[0] = {58, 188};
  message.translations[7] = {30, 48};
  std::uint8_t bytes[kWireSize];
  encodeMessage(message, bytes);
  EXPECT_EQ(parseMessage(bytes, kWireSize, nullptr)->translationCount, kMaxTranslations);
  message.translationCount = 1;
  encodeMessage(message, bytes);
  const std::optional<Message> parsed = parseMessage(bytes, kWireSize, nullptr);
  ASSERT_TRUE(parsed) << "stale pairs past the count stay home";
  EXPECT_EQ(parsed->translationCount, 1u);
  EXPECT_EQ(parsed->translations[0].to, 188);
  EXPECT_EQ(parsed->translations[7].from, 0);
}

// The service closes a connection with the client's last pong unread (a
// session switch): the kernel reports a reset first, then what was sent
// before the close, the refusal and the mapping among it, must still be read.
TEST(MessageSocketTest, WhatThePeerSentBeforeClosingIsReadEvenAfterAReset) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
  Message status;
  status.type = MessageType::Status;
  ASSERT_TRUE(sendMessage(fds[0], status));
  ASSERT_TRUE(sendMessage(fds[1], Message{}));  // never read
  ::close(fds[0]);
  const Received first = receiveMessage(fds[1]);
  EXPECT_EQ(first.kind, Received::Kind::Message);
  EXPECT_EQ(first.message.type, MessageType::Status);
  EXPECT_EQ(receiveMessage(fds[1]).kind, Received::Kind::Closed);
  ::close(fds[1]);
}

}  // namespace
}  // namespace quorvelle::engine_protocol
