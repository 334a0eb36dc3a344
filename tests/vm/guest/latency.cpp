// Latency benchmark: what a plain key (no hyper) gains passing through our
// engine, side by side with the peer pipeline `interception -g DEV | caps2esc
// | uinput -d DEV`, on the same source: a uinput keyboard this program types
// on. A sample is the time from just before the source write to the kernel
// timestamp of the output event (both on the monotonic clock). Figures are
// printed, never judged: under TCG only the ratio means something.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine_process.h"
#include "source_keyboard.h"
#include "guest_common.h"
#include "scenarios.h"

namespace vmtest {
namespace {

const char kSourceName[] = "Latency Source Keyboard";

constexpr int kSamplesPerRound = 1000;
constexpr int kRounds = 2;
constexpr int kWarmup = 40;

// Taps keys on the source and times each event's arrival at `output`.
// Appends the samples in microseconds; false when an event did not arrive.
bool measure(SourceKeyboard& source, EventNode& output, int samples, std::vector<double>* latencies) {
  output.drain();
  for (int i = 0; i < kWarmup + samples; ++i) {
    int code = KEY_A + (i / 2) % 8;  // plain letters
    int value = i % 2 == 0 ? 1 : 0;
    std::int64_t sent = nowUs();
    if (!source.key(code, value)) return false;
    for (;;) {
      std::optional<input_event> event = output.next(5000);
      if (!event) return false;
      if (event->type != EV_KEY || event->code != code || event->value != value) continue;
      if (i >= kWarmup) latencies->push_back(static_cast<double>(eventTimeUs(*event) - sent));
      break;
    }
  }
  return true;
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

// One round through our engine.
bool measureOurs(Scenario& s, SourceKeyboard& source, const std::string& sourceNode, std::vector<double>* out) {
  EngineProcess engine;
  std::string reply = engine.command("start");
  if (!s.expect(reply == "ok started", "engine start: " + reply)) return false;
  std::vector<std::string> nodes = waitForNodes(kVirtualKeyboard, 1, kWaitMs);
  if (!s.expect(nodes.size() == 1 && waitGrabbed(sourceNode), "the engine did not take the source")) return false;
  EventNode output(nodes[0]);
  return s.expect(measure(source, output, kSamplesPerRound, out), "an event was lost through the engine");
}

// One round through the peer pipeline.
bool measurePeer(Scenario& s, SourceKeyboard& source, const std::string& sourceNode, std::vector<double>* out) {
  PeerPipeline peer(sourceNode);
  std::vector<std::string> nodes = waitForNodes(kSourceName, 2, kWaitMs);
  std::string outputNode;
  for (const std::string& node : nodes) {
    if (node != sourceNode) outputNode = node;
  }
  if (!s.expect(!outputNode.empty() && waitGrabbed(sourceNode), "the peer pipeline did not start")) return false;
  EventNode output(outputNode);
  bool ok = s.expect(measure(source, output, kSamplesPerRound, out), "an event was lost through the peer");
  return ok;
}

void printRow(Scenario& s, const char* name, const std::vector<double>& values) {
  char line[160];
  std::snprintf(line, sizeof line, "%-34s %8.0f %8.0f  (%zu samples)", name, percentile(values, 0.5),
                percentile(values, 0.99), values.size());
  s.info(line);
}

void latency(HostLink&) {
  Scenario s("latency");
  SourceKeyboard source(kSourceName);
  if (!s.expect(source.ok(), "cannot create the source keyboard")) return;
  std::vector<std::string> nodes = waitForNodes(kSourceName, 1, kWaitMs);
  if (!s.expect(nodes.size() == 1, "the source keyboard has no node")) return;
  const std::string sourceNode = nodes[0];

  std::vector<double> direct, ours, peer;
  {
    EventNode plain(sourceNode);
    s.expect(measure(source, plain, kSamplesPerRound, &direct), "an event was lost reading the source");
  }
  // Alternated, so that a slower stretch of the machine hits both.
  for (int round = 0; round < kRounds && !s.failed(); ++round) {
    measureOurs(s, source, sourceNode, &ours);
    measurePeer(s, source, sourceNode, &peer);
  }
  if (s.failed()) return;
  s.info("latency in microseconds              p50      p99");
  printRow(s, "source node, no filter", direct);
  printRow(s, "Quorvelle engine", ours);
  printRow(s, "interception|caps2esc|uinput", peer);
  double base50 = percentile(direct, 0.5), base99 = percentile(direct, 0.99);
  double ours50 = percentile(ours, 0.5) - base50, ours99 = percentile(ours, 0.99) - base99;
  double peer50 = percentile(peer, 0.5) - base50, peer99 = percentile(peer, 0.99) - base99;
  char line[200];
  std::snprintf(line, sizeof line, "added over no filter: ours %.0f / %.0f, peer %.0f / %.0f; ratio ours/peer %.2f / %.2f",
                ours50, ours99, peer50, peer99, peer50 > 0 ? ours50 / peer50 : 0.0, peer99 > 0 ? ours99 / peer99 : 0.0);
  s.info(line);
  std::snprintf(line, sizeof line, "total ratio ours/peer: p50 %.2f, p99 %.2f (target: at most 0.5 added)",
                percentile(ours, 0.5) / percentile(peer, 0.5), percentile(ours, 0.99) / percentile(peer, 0.99));
  s.info(line);
}

}  // namespace

void addLatencyBenchmark(std::vector<NamedScenario>* scenarios) { scenarios->push_back({"latency", latency}); }

}  // namespace vmtest
