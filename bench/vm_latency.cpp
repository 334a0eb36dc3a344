// Latency benchmark: what a plain key (no hyper) gains passing through our
// engine, beside the peer pipeline `interception -g DEV | caps2esc | uinput
// -d DEV`. Each runs on a uinput keyboard of its own that this program types
// on, both at the same time, samples alternating between them so that the
// machine's hiccups hit both alike. A sample is the time from just before the
// source write to the kernel timestamp of the output event, both on the
// monotonic clock. Figures are printed, never judged: under TCG only the
// ratio means something.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "engine_process.h"
#include "guest_common.h"
#include "scenarios.h"
#include "source_keyboard.h"

namespace vmtest {
namespace {

const char kOurSource[] = "Latency Source One";
const char kPeerSource[] = "Latency Source Two";
// The engine takes every keyboard it sees; it is shown only its own source.
const char kOurInputFolder[] = "/tmp/latency-input";
constexpr int kSamples = 2000;
constexpr int kWarmup = 40;

// Types one key event on the source and returns the sample in microseconds,
// or -1 when the event did not arrive.
double sample(SourceKeyboard& source, EventNode& output, int i) {
  int code = KEY_A + (i / 2) % 8;  // plain letters
  int value = i % 2 == 0 ? 1 : 0;
  std::int64_t sent = nowUs();
  if (!source.key(code, value)) return -1;
  for (;;) {
    std::optional<input_event> event = output.next(5000);
    if (!event) return -1;
    if (event->type == EV_KEY && event->code == code && event->value == value) {
      return static_cast<double>(eventTimeUs(*event) - sent);
    }
  }
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// The peer pipeline, in its own process group.
class PeerPipeline {
 public:
  explicit PeerPipeline(const std::string& sourceNode) {
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      std::string command = "interception -g " + sourceNode + " | caps2esc | uinput -d " + sourceNode;
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~PeerPipeline() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
  }

 private:
  pid_t pid_ = -1;
};

bool waitGrabbed(const std::string& node) {
  EventNode device(node);
  std::int64_t deadline = nowMs() + kWaitMs;
  while (!device.grabbedElsewhere()) {
    if (nowMs() > deadline) return false;
    usleep(10 * 1000);
  }
  return true;
}

void printRow(Scenario& s, const char* name, const std::vector<double>& values) {
  char line[160];
  std::snprintf(line, sizeof line, "%-30s %8.0f %8.0f  (%zu samples)", name, percentile(values, 0.5),
                percentile(values, 0.99), values.size());
  s.info(line);
}

void latency(HostLink&) {
  Scenario s("latency");
  SourceKeyboard ourSource(kOurSource), peerSource(kPeerSource);
  if (!s.expect(ourSource.ok() && peerSource.ok(), "cannot create the source keyboards")) return;
  std::vector<std::string> ourNodes = waitForNodes(kOurSource, 1, kWaitMs);
  std::vector<std::string> peerNodes = waitForNodes(kPeerSource, 1, kWaitMs);
  if (!s.expect(ourNodes.size() == 1 && peerNodes.size() == 1, "the sources have no nodes")) return;

  // The floor: a plain reader of the source itself.
  std::vector<double> direct;
  {
    EventNode plain(ourNodes[0]);
    for (int i = 0; i < kWarmup + kSamples / 2; ++i) {
      double value = sample(ourSource, plain, i);
      if (!s.expect(value >= 0, "an event was lost reading the source")) return;
      if (i >= kWarmup) direct.push_back(value);
    }
  }

  PeerPipeline peer(peerNodes[0]);
  std::string peerOutput;
  for (const std::string& node : waitForNodes(kPeerSource, 2, kWaitMs)) {
    if (node != peerNodes[0]) peerOutput = node;
  }
  if (!s.expect(!peerOutput.empty() && waitGrabbed(peerNodes[0]), "the peer pipeline did not start")) return;

  mkdir(kOurInputFolder, 0755);
  std::string link = std::string(kOurInputFolder) + "/event0";
  unlink(link.c_str());
  if (!s.expect(symlink(ourNodes[0].c_str(), link.c_str()) == 0, "cannot link the source")) return;
  EngineProcess engine(kOurInputFolder);
  std::string reply = engine.command("start");
  if (!s.expect(reply == "ok started", "engine start: " + reply)) return;
  std::vector<std::string> virtualNodes = waitForNodes(kVirtualKeyboard, 1, kWaitMs);
  if (!s.expect(virtualNodes.size() == 1 && waitGrabbed(ourNodes[0]), "the engine did not take its source")) return;

  EventNode ourOutput(virtualNodes[0]), theirOutput(peerOutput);
  std::vector<double> ours, theirs;
  for (int i = 0; i < kWarmup + kSamples; ++i) {
    double a = sample(ourSource, ourOutput, i);
    double b = sample(peerSource, theirOutput, i);
    if (!s.expect(a >= 0 && b >= 0, "an event was lost at sample " + std::to_string(i))) return;
    if (i < kWarmup) continue;
    ours.push_back(a);
    theirs.push_back(b);
  }
  s.info("latency in microseconds          p50      p99");
  printRow(s, "source node, no filter", direct);
  printRow(s, "Quorvelle engine", ours);
  printRow(s, "interception|caps2esc|uinput", theirs);
  double base50 = percentile(direct, 0.5), base99 = percentile(direct, 0.99);
  double ours50 = percentile(ours, 0.5) - base50, ours99 = percentile(ours, 0.99) - base99;
  double peer50 = percentile(theirs, 0.5) - base50, peer99 = percentile(theirs, 0.99) - base99;
  char line[200];
  std::snprintf(line, sizeof line, "added: ours %.0f / %.0f, peer %.0f / %.0f; ratio ours/peer p50 %.2f, p99 %.2f",
                ours50, ours99, peer50, peer99, peer50 > 0 ? ours50 / peer50 : 0.0, peer99 > 0 ? ours99 / peer99 : 0.0);
  s.info(line);
  std::snprintf(line, sizeof line, "total: ratio ours/peer p50 %.2f, p99 %.2f (target: at most 0.50)",
                percentile(ours, 0.5) / percentile(theirs, 0.5), percentile(ours, 0.99) / percentile(theirs, 0.99));
  s.info(line);
}

}  // namespace

void addLatencyBenchmark(std::vector<NamedScenario>* scenarios) { scenarios->push_back({"latency", latency}); }

}  // namespace vmtest
