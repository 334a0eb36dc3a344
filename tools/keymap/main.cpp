// quorvelle-keymap: the key mapping tool.
//
//   quorvelle-keymap property --set '{"UserKeyMapping":[...]}'
//   quorvelle-keymap property --get UserKeyMapping
//
// --set brings the kernel keymap of every keyboard to the mapping, after
// undoing the one set before; an empty list restores the keymaps. --get
// prints the mapping in effect.
//
// QUORVELLE_KEYMAP_INPUT_DIR replaces /dev/input, so that tests never touch
// the keyboards of the machine they run on.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "linux/keymap/hid_usage_table.h"
#include "linux/keymap/keymap_applier.h"
#include "linux/keymap/keymap_state_file.h"
#include "linux/keymap/property_text.h"

namespace quorvelle {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: quorvelle-keymap property --set '{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":"
    "0x700000039,\"HIDKeyboardModifierMappingDst\":0x70000006D}]}'\n"
    "       quorvelle-keymap property --get UserKeyMapping\n";

std::string inputDirectory() {
  const char* folder = std::getenv("QUORVELLE_KEYMAP_INPUT_DIR");
  return folder && folder[0] == '/' ? folder : "/dev/input";
}

void complain(const std::string& message) { std::fprintf(stderr, "quorvelle-keymap: %s\n", message.c_str()); }

int usage(const std::string& message) {
  complain(message);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

int report(bool ok, const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) complain(warning);
  return ok ? 0 : kExitFailed;
}

int set(const std::string& text) {
  std::string error;
  std::optional<std::vector<UsageMapping>> mapping = parseUserKeyMappingProperty(text, &error);
  if (!mapping) error = "malformed property text " + error;
  // Checked before anything is touched: a bad key changes nothing.
  if (!mapping || !keyCodeMappings(*mapping, &error)) {
    complain(error);
    return kExitUsage;
  }
  std::optional<std::string> directory = keymapStateDirectory(&error);
  if (!directory) {
    complain(error);
    return kExitFailed;
  }
  std::vector<std::string> warnings;
  bool ok = KeymapApplier(*directory, inputDirectory()).setMapping(*mapping, &warnings);
  return report(ok, warnings);
}

int get() {
  std::string error;
  std::optional<std::string> directory = keymapStateDirectory(&error);
  if (!directory) {
    complain(error);
    return kExitFailed;
  }
  std::vector<std::string> warnings;
  std::optional<std::vector<UsageMapping>> mapping = KeymapApplier(*directory, inputDirectory()).mapping(&warnings);
  if (mapping) std::printf("%s\n", formatMappingList(*mapping).c_str());
  return report(mapping.has_value(), warnings);
}

int run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() != 3 || args[0] != "property") return usage("expected three arguments");
  if (args[1] == "--set") return set(args[2]);
  if (args[1] == "--get") {
    if (args[2] != "UserKeyMapping") return usage("unknown property \"" + args[2] + "\"");
    return get();
  }
  return usage("unknown option \"" + args[1] + "\"");
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) { return quorvelle::run(argc, argv); }
