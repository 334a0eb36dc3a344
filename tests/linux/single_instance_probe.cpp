// A stand-in for the application at start-up, run from a bundle in a test
// folder: it replaces older running copies of its bundle identifier, records
// when its launch completes, and quits cleanly on a termination signal.
//
//   single_instance_probe STATE_FOLDER [--ignore-term]
//
// Records, each written whole: STATE/<pid>.launched once start-up goes on,
// STATE/<pid>.terminated with the signal number when it quits on one.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/other_instances.h"
#include "linux/file_util.h"
#include "linux/plist_bundles.h"
#include "linux/poll_run_loop.h"
#include "linux/proc_running_applications.h"
#include "linux/termination_signals.h"

using namespace quorvelle;

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const std::string state = argv[1];
  const bool ignoreTerm = argc > 2 && std::string(argv[2]) == "--ignore-term";
  const std::string self = state + "/" + std::to_string(getpid());

  PlistBundles bundles(PlistBundles::bundlePathOfExecutable(PlistBundles::currentExecutablePath()));
  ProcRunningApplications running;
  PollRunLoop loop;
  std::string error;

  bool quit = false;
  TerminationSignals signals(loop, [&](int signal) {
    writeFileAtomically(self + ".terminated", std::to_string(signal), &error);
    quit = true;
  });
  if (!signals.install(&error)) {
    std::fprintf(stderr, "probe: %s\n", error.c_str());
    return 70;
  }
  if (ignoreTerm) signal(SIGTERM, SIG_IGN);

  OtherInstances instances(running, bundles, loop);
  instances.terminateOtherInstances(
      [&] { writeFileAtomically(self + ".launched", "", &error); });
  // Bounded, so a test gone wrong leaves nothing running for long.
  loop.runUntil([&] { return quit; }, 60);
  return quit ? 0 : 75;
}
