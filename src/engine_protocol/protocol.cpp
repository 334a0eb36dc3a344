#include "engine_protocol/protocol.h"

#include <cstring>

namespace quorvelle::engine_protocol {
namespace {

// Layout: magic u32, version u16, type u16, value u32, count u32, flags u64,
// translations 8 x (u16, u16), 8 reserved bytes. Little-endian, as both ends
// run on the same machine; the fields are copied, never cast in place.
constexpr std::size_t kMagicAt = 0, kVersionAt = 4, kTypeAt = 6, kValueAt = 8, kCountAt = 12, kFlagsAt = 16,
                      kTranslationsAt = 24, kReservedAt = 56;
static_assert(kTranslationsAt + kMaxTranslations * 4 == kReservedAt && kReservedAt + 8 == kWireSize);

template <typename T>
void put(std::uint8_t* out, std::size_t at, T value) {
  std::memcpy(out + at, &value, sizeof value);
}
template <typename T>
T get(const std::uint8_t* data, std::size_t at) {
  T value;
  std::memcpy(&value, data + at, sizeof value);
  return value;
}

bool knownType(std::uint16_t type) {
  return (type >= 1 && type <= 8) || (type >= 64 && type <= 67);
}

std::optional<Message> refuse(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return std::nullopt;
}

}  // namespace

void encodeMessage(const Message& message, std::uint8_t* out) {
  std::memset(out, 0, kWireSize);
  put(out, kMagicAt, kMagic);
  put(out, kVersionAt, kVersion);
  put(out, kTypeAt, static_cast<std::uint16_t>(message.type));
  put(out, kValueAt, message.value);
  const std::uint32_t count =
      message.translationCount > kMaxTranslations ? std::uint32_t{kMaxTranslations} : message.translationCount;
  put(out, kCountAt, count);
  put(out, kFlagsAt, message.flags);
  for (std::size_t i = 0; i < count; ++i) {
    put(out, kTranslationsAt + 4 * i, message.translations[i].from);
    put(out, kTranslationsAt + 4 * i + 2, message.translations[i].to);
  }
}

std::optional<Message> parseMessage(const std::uint8_t* data, std::size_t size, std::string* why) {
  if (size != kWireSize) return refuse(why, "a message of " + std::to_string(size) + " bytes");
  if (get<std::uint32_t>(data, kMagicAt) != kMagic) return refuse(why, "not a message of this protocol");
  const auto version = get<std::uint16_t>(data, kVersionAt);
  if (version != kVersion) return refuse(why, "protocol version " + std::to_string(version));
  const auto type = get<std::uint16_t>(data, kTypeAt);
  if (!knownType(type)) return refuse(why, "unknown message type " + std::to_string(type));
  Message message;
  message.type = static_cast<MessageType>(type);
  message.value = get<std::uint32_t>(data, kValueAt);
  message.flags = get<std::uint64_t>(data, kFlagsAt);
  message.translationCount = get<std::uint32_t>(data, kCountAt);
  if (message.translationCount > kMaxTranslations)
    return refuse(why, std::to_string(message.translationCount) + " key translations");
  for (std::size_t i = 0; i < kMaxTranslations; ++i) {
    const auto from = get<std::uint16_t>(data, kTranslationsAt + 4 * i);
    const auto to = get<std::uint16_t>(data, kTranslationsAt + 4 * i + 2);
    if (i >= message.translationCount) {
      if (from != 0 || to != 0) return refuse(why, "data past the key translations");
      continue;
    }
    message.translations[i] = {from, to};
  }
  for (std::size_t at = kReservedAt; at < kWireSize; ++at)
    if (data[at] != 0) return refuse(why, "reserved bytes set");
  switch (message.type) {
    case MessageType::Enable:
      if (message.value > 1) return refuse(why, "Enable with value " + std::to_string(message.value));
      break;
    case MessageType::Status:
      if (message.value > static_cast<std::uint32_t>(Served::EngineFailed))
        return refuse(why, "Status with reason " + std::to_string(message.value));
      break;
    default:
      break;
  }
  return message;
}

}  // namespace quorvelle::engine_protocol
