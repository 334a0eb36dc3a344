// quorvelle: shows the settings of the running Quorvelle, or starts it.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "linux/files/plist_bundles.h"
#include "linux/process/detached_spawn.h"
#include "linux/session/reopen_client.h"
#include "linux/session/reopen_socket.h"

namespace quorvelle {
namespace {

// A stopped copy is replaced after the first; a live one that may just be
// busy (a long blocking task, a crowd of other clients) gets the second.
constexpr double kAnswerTimeoutSeconds = 3.0;
constexpr double kBusyCopyPatienceSeconds = 15.0;

constexpr char kUsage[] =
    "Usage: quorvelle [--help | --version]\n"
    "\n"
    "Shows the settings of the running Quorvelle, or starts Quorvelle when it\n"
    "is not running.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version of this Quorvelle and exit\n";

// The bundle this program lies in; /proc/self/exe has every link resolved, so
// a command link in ~/.local/bin or /usr/local/bin leads here too.
std::optional<std::string> ownBundle(std::string* error) {
  std::string executable = PlistBundles::currentExecutablePath();
  std::string bundle = PlistBundles::bundlePathOfExecutable(executable);
  if (bundle.empty()) {
    *error = executable + " is not inside a Quorvelle bundle";
    return std::nullopt;
  }
  return bundle;
}

std::string infoString(const InfoDictionary& info, const char* key) {
  auto it = info.find(key);
  if (it == info.end()) return "?";
  const std::string* text = std::get_if<std::string>(&it->second);
  return text ? *text : "?";
}

int printVersion() {
  std::string error;
  std::optional<std::string> bundle = ownBundle(&error);
  std::optional<InfoDictionary> info;
  if (bundle) {
    info = PlistBundles(*bundle).infoDictionary(*bundle);
    if (!info) error = "cannot read " + *bundle + "/Contents/Info.plist";
  }
  if (!info) {
    std::fprintf(stderr, "quorvelle: %s\n", error.c_str());
    return 1;
  }
  std::printf("Quorvelle %s (%s)\n", infoString(*info, "CFBundleShortVersionString").c_str(),
              infoString(*info, "CFBundleVersion").c_str());
  return 0;
}

int startApplication() {
  std::string error;
  std::optional<std::string> bundle = ownBundle(&error);
  std::optional<std::string> executable;
  if (bundle) {
    PlistBundles bundles(*bundle);
    executable = PlistBundles::mainExecutable(bundles, *bundle, &error);
  }
  if (!executable || !spawnDetached(*executable, {}, &error)) {
    std::fprintf(stderr, "quorvelle: cannot start Quorvelle: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int reopen() {
  std::string detail;
  switch (requestShowSettings(reopen::socketFolder(), kAnswerTimeoutSeconds, kBusyCopyPatienceSeconds,
                              &detail)) {
    case ReopenOutcome::Delivered:
      return 0;
    case ReopenOutcome::NoAnswer:
      // A new copy replaces the one that does not answer.
      std::fprintf(stderr, "quorvelle: the running Quorvelle did not answer (%s); starting it again\n",
                   detail.c_str());
      return startApplication();
    case ReopenOutcome::NotRunning:
      return startApplication();
  }
  return 1;
}

int run(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return reopen();
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") return printVersion();
  // Name the first word not understood: after a known option, that is the next one.
  const bool firstKnown = arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "--version";
  const std::string& unexpected = firstKnown ? arguments[1] : arguments[0];
  std::fprintf(stderr, "quorvelle: unexpected argument '%s'\n\n%s", unexpected.c_str(), kUsage);
  return 2;
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  return quorvelle::run(std::vector<std::string>(argv + 1, argv + argc));
}
