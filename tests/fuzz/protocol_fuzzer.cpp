// The engine protocol's parser on arbitrary packets: it never reads past
// what it was given, and what it accepts encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine_protocol/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvelle::engine_protocol;
  // A copy of exactly the packet's size, so that ASan sees any read past it.
  auto* packet = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(packet, data, size);
  std::string why;
  const std::optional<Message> message = parseMessage(packet, size, &why);
  if (message) {
    if (message->translationCount > kMaxTranslations) std::abort();
    std::uint8_t again[kWireSize];
    encodeMessage(*message, again);
    if (std::memcmp(again, packet, kWireSize) != 0) std::abort();
  } else if (why.empty()) {
    std::abort();  // every refusal says why
  }
  std::free(packet);
  return 0;
}
