#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the application and the engine service say to each other over the
// service's socket (SOCK_SEQPACKET: one message a packet, never split). Every
// message has the same fixed size, so nothing a peer sends can make the other
// allocate or wait for more. A message that does not parse ends its
// connection.
namespace quorvelle::engine_protocol {

inline constexpr char kSocketPath[] = "/run/quorvelle-engine.sock";
inline constexpr std::uint32_t kMagic = 0x51524556;  // "QREV"
inline constexpr std::uint16_t kVersion = 1;
// Key translations one mapping may carry (a UserKeyMapping of more is refused).
inline constexpr std::size_t kMaxTranslations = 8;

enum class MessageType : std::uint16_t {
  // Client to service.
  Hello = 1,          // answered with Status
  Start = 2,          // grab the keyboards; events pass unchanged until Enable
  Enable = 3,         // value: 1 calls the hyper key handler, 0 passes keys unchanged
  Stop = 4,           // let go of everything
  SetModifiers = 5,   // flags: what the handler adds while hyper is held
  SetMapping = 6,     // translations: the key mapping in effect (none clears it)
  CapsLockOff = 7,    // switch the display server's caps lock off
  Pong = 8,           // the answer to Ping
  // Service to client.
  Status = 64,        // value: a Served reason; flags: 1 when the engine runs for this client
  Ping = 65,          // a client that does not answer in time is let go
  Mapping = 66,       // translations: the mapping in effect, after a SetMapping from any client
  SyntheticKeys = 67, // flags: bit i set when kModifierKeys[i]'s last press was the engine's own
};

// Why a client is or is not served.
enum class Served : std::uint32_t {
  Yes = 0,
  NotActiveSession = 1,  // the peer's user does not own the active session of seat0
  Busy = 2,              // another client of that user holds the engine
  EngineFailed = 3,      // the keyboards or the virtual keyboard could not be opened
};

struct KeyTranslationPair {
  std::uint16_t from = 0;  // Linux key codes
  std::uint16_t to = 0;
};

struct Message {
  MessageType type = MessageType::Hello;
  std::uint32_t value = 0;
  std::uint64_t flags = 0;
  std::uint32_t translationCount = 0;
  KeyTranslationPair translations[kMaxTranslations] = {};
};

// The size of every message on the wire.
inline constexpr std::size_t kWireSize = 64;

// Writes message into out (kWireSize bytes).
void encodeMessage(const Message& message, std::uint8_t* out);

// The message in data, or nullopt with the reason in why: wrong size, magic or
// version, unknown type, a count over the limit, values out of range or
// reserved bytes that are not zero.
std::optional<Message> parseMessage(const std::uint8_t* data, std::size_t size, std::string* why);

}  // namespace quorvelle::engine_protocol
