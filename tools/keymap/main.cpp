// quorvelle-keymap: the key mapping tool, a client of the engine service.
//
//   quorvelle-keymap property --set '{"UserKeyMapping":[...]}'
//
// Hands the mapping to the engine service, which applies it to the keys it
// reads from the keyboards it holds (an empty list clears it). Nothing is
// written to the kernel keymap. Exits 0 once the service has taken it.
//
// QUORVELLE_ENGINE_SOCKET replaces the service's socket, for tests.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine_protocol/protocol.h"
#include "linux/engine_client/engine_connection.h"
#include "linux/keymap/hid_usage_table.h"
#include "linux/keymap/property_text.h"

namespace quorvelle {
namespace {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The application waits for this tool, so the wait is bounded; but a mapping
// given up on a busy machine leaves Caps Lock plain until the next start, so
// the bound is generous.
constexpr double kAnswerSeconds = 10.0;

const char kUsage[] =
    "usage: quorvelle-keymap property --set '{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":"
    "0x700000039,\"HIDKeyboardModifierMappingDst\":0x70000006D}]}'\n";

int complain(const std::string& message, int status) {
  std::fprintf(stderr, "quorvelle-keymap: %s\n", message.c_str());
  return status;
}

int usage(const std::string& message) {
  complain(message, kExitUsage);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

std::string socketPath() {
  const char* path = std::getenv("QUORVELLE_ENGINE_SOCKET");
  return path && path[0] == '/' ? path : engine_protocol::kSocketPath;
}

int set(const std::string& text) {
  std::string error;
  std::optional<std::vector<UsageMapping>> mapping = parseUserKeyMappingProperty(text, &error);
  if (!mapping) return complain("malformed property text " + error, kExitUsage);
  std::optional<std::vector<KeyCodeMapping>> keys = keyCodeMappings(*mapping, &error);
  if (!keys) return complain(error, kExitUsage);
  if (keys->size() > engine_protocol::kMaxTranslations) {
    return complain("at most " + std::to_string(engine_protocol::kMaxTranslations) + " keys can be mapped",
                    kExitUsage);
  }
  Message setMapping;
  setMapping.type = MessageType::SetMapping;
  setMapping.translationCount = static_cast<std::uint32_t>(keys->size());
  for (std::size_t i = 0; i < keys->size(); ++i) setMapping.translations[i] = {(*keys)[i].from, (*keys)[i].to};

  std::unique_ptr<EngineConnection> connection = EngineConnection::open(socketPath(), &error);
  if (!connection) return complain("no engine service: " + error, kExitFailed);
  // Answered with Status: Yes once the service has taken it.
  std::optional<Message> status = connection->request(setMapping, MessageType::Status, kAnswerSeconds, &error);
  if (!status) return complain("the mapping was not taken: " + error, kExitFailed);
  const auto reason = static_cast<Served>(status->value);
  if (reason != Served::Yes) return complain("the mapping was not taken: " + describeServed(reason), kExitFailed);
  return 0;
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() != 3 || args[0] != "property") return usage("expected three arguments");
  if (args[1] != "--set") return usage("unknown option \"" + args[1] + "\"");
  return set(args[2]);
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) { return quorvelle::run(argc, argv); }
