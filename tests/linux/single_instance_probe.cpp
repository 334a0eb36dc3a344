// A stand-in for the application at start-up, run from a bundle in a test
// folder: it replaces older running copies of its bundle identifier, or gives
// way to a newer one, records when its launch completes, and quits cleanly on
// a termination signal.
//
//   single_instance_probe STATE_FOLDER
//
// Records, each written whole: STATE/<pid>.launched once start-up goes on.
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
  const std::string self = std::string(argv[1]) + "/" + std::to_string(getpid());

  PlistBundles bundles(PlistBundles::bundlePathOfExecutable(PlistBundles::currentExecutablePath()));
  ProcRunningApplications running;
  PollRunLoop loop;
  std::string error;

  bool quit = false;
  TerminationSignals signals(loop, [&](int) { quit = true; });
  if (!signals.install(&error)) {
    std::fprintf(stderr, "probe: %s\n", error.c_str());
    return 70;
  }

  OtherInstances instances(running, bundles, loop);
  instances.terminateOtherInstances([&] { writeFileAtomically(self + ".launched", "", &error); },
                                    [&](int) { quit = true; });
  // Bounded, so a test gone wrong leaves nothing running for long.
  loop.runUntil([&] { return quit; }, 60);
  return quit ? 0 : 75;
}
