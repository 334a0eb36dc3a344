// Figures of the whole application under an X server with a tray host (a
// StatusNotifierWatcher on a private session bus): time from process start to
// the engine running and the tray icon registered, and resident memory with
// the windows closed and open. Prints figures; judges nothing.
//
//   app_startup_bench BUNDLE BENCH_APP [RUNS]
//
// BENCH_APP is the application with simulated keyboard services (this
// machine has neither keyboards nor /dev/uinput); the shipped program from
// BUNDLE is timed as well, to the end of its start-up without input access.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "app/app_sandbox.h"
#include "linux/session/reopen_client.h"
#include "support/dbus_menu_reader.h"
#include "support/sni_watcher.h"

namespace quorvelle {
namespace {

double monotonicNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Notes when the application's tray icon reaches the tray host.
class TrayHost : public QObject {
  Q_OBJECT

 public:
  double registeredAt = -1;

 public slots:
  void registered(const QString&) {
    if (registeredAt < 0) registeredAt = monotonicNow();
  }
};

struct Run {
  double engine = -1;  // seconds after the start, or -1
  double tray = -1;
  double launched = -1;
};

// One copy of the application, its reports read as they come.
class Launch {
 public:
  Launch(const testing_support::AppSandbox& sandbox, TrayHost& host) : host_(host) {
    host_.registeredAt = -1;
    QProcessEnvironment environment;
    for (const std::string& variable : sandbox.environment("xcb", /*sessionBus=*/true)) {
      const size_t equals = variable.find('=');
      environment.insert(QString::fromStdString(variable.substr(0, equals)),
                         QString::fromStdString(variable.substr(equals + 1)));
    }
    process_.setProcessEnvironment(environment);
    process_.setProgram(QString::fromStdString(sandbox.executable()));
    process_.setArguments({"--launched-at-login"});
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { read(); });
    started_ = monotonicNow();
    process_.start();
  }
  ~Launch() {
    process_.terminate();
    if (!process_.waitForFinished(10000)) process_.kill();
  }

  // Runs the event loop until the condition holds; false after 20 seconds.
  static bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
      if (clock.elapsed() > 20000) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
  }

  double since(double at) const { return at < 0 ? -1 : at - started_; }
  double engine() const { return since(engineAt_); }
  double tray() const { return since(host_.registeredAt); }
  bool painted(const std::string& title) const { return painted_.count(title) != 0; }
  bool running() const { return engineRunning_; }
  qint64 pid() const { return process_.processId(); }

 private:
  void read() {
    while (process_.canReadLine()) {
      std::istringstream line(process_.readLine().trimmed().toStdString());
      std::string what;
      line >> what;
      if (what == "engine") {
        std::string state;
        line >> state >> engineAt_;
        engineRunning_ = state == "running";
      } else if (what == "painted") {
        std::string rest((std::istreambuf_iterator<char>(line)), std::istreambuf_iterator<char>());
        painted_[rest.substr(1, rest.rfind(' ') - 1)] = true;
      }
    }
  }

  TrayHost& host_;
  QProcess process_;
  double started_ = 0;
  double engineAt_ = -1;
  bool engineRunning_ = false;
  std::map<std::string, bool> painted_;
};

// Processor time the process's threads have used, in seconds: unlike the
// wall-clock time it hardly grows with the machine's load.
double processorTime(qint64 pid) {
  double total = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double nanoseconds = 0;
    if (schedstat >> nanoseconds) total += nanoseconds / 1e9;
  }
  return total;
}

struct Memory {
  double residentMB = 0;
  double peakMB = 0;
};

Memory memoryOf(qint64 pid) {
  Memory memory;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line);
    std::string key;
    double kilobytes = 0;
    fields >> key >> kilobytes;
    if (key == "VmRSS:") memory.residentMB = kilobytes / 1024;
    if (key == "VmHWM:") memory.peakMB = kilobytes / 1024;
  }
  return memory;
}

void printSpread(const char* what, std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  if (seconds.empty()) return;
  std::printf("  %-34s min %6.1f ms   median %6.1f ms   max %6.1f ms\n", what, seconds.front() * 1000,
              seconds[seconds.size() / 2] * 1000, seconds.back() * 1000);
}

bool clickMenuItem(const QString& label, QString* error) {
  const QStringList items = testing_support::StatusNotifierItemReader::registeredItems(error);
  if (items.isEmpty()) return false;
  testing_support::StatusNotifierItemReader item(items.last());
  std::optional<testing_support::DbusMenuEntry> layout = item.menuLayout(error);
  for (const auto& entry : layout ? layout->children : std::vector<testing_support::DbusMenuEntry>{}) {
    if (entry.properties.value("label") == label) {
      return item.call(true, "Event",
                       {entry.id, QString("clicked"), QVariant::fromValue(QDBusVariant(0)),
                        uint(QDateTime::currentSecsSinceEpoch())},
                       error);
    }
  }
  return false;
}

int run(const std::string& bundle, const std::string& benchApp, int runs) {
  QString error;
  if (!testing_support::SniWatcher::start(&error)) {
    std::fprintf(stderr, "app_startup_bench: %s\n", qPrintable(error));
    return 1;
  }
  TrayHost host;
  QDBusConnection::sessionBus().connect("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                        "org.kde.StatusNotifierWatcher", "StatusNotifierItemRegistered", &host,
                                        SLOT(registered(QString)));

  std::ifstream loadAverage("/proc/loadavg");
  std::string load1, load5;
  loadAverage >> load1 >> load5;
  std::printf("(load average %s / %s on %ld processors: figures grow with the load)\n", load1.c_str(),
              load5.c_str(), sysconf(_SC_NPROCESSORS_ONLN));
  const std::string tmpfs = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  testing_support::AppSandbox simulated(bundle, tmpfs);
  simulated.replaceExecutable(benchApp);
  std::vector<double> engines, trays, both, processor;
  for (int i = 0; i < runs; ++i) {
    Launch launch(simulated, host);
    if (!Launch::waitFor([&] { return launch.engine() >= 0 && launch.tray() >= 0; }) || !launch.running()) {
      std::fprintf(stderr, "app_startup_bench: the application did not start its engine and tray icon\n");
      return 1;
    }
    processor.push_back(processorTime(launch.pid()));
    engines.push_back(launch.engine());
    trays.push_back(launch.tray());
    both.push_back(std::max(launch.engine(), launch.tray()));
  }
  std::printf("Start-up, process start to ... (simulated keyboard, access granted, %d runs):\n", runs);
  printSpread("the engine running", engines);
  printSpread("the tray icon registered", trays);
  printSpread("both", both);
  printSpread("processor time used by then", processor);

  testing_support::AppSandbox shipped(bundle, tmpfs);
  std::vector<double> launched;
  for (int i = 0; i < runs; ++i) {
    Launch launch(shipped, host);
    double at = -1;
    if (!Launch::waitFor([&] {
          if (at < 0 && shipped.isListening()) at = monotonicNow();
          return at >= 0 && launch.tray() >= 0;
        })) {
      std::fprintf(stderr, "app_startup_bench: the shipped application did not complete its start-up\n");
      return 1;
    }
    launched.push_back(std::max(launch.since(at), launch.tray()));
  }
  std::printf("The shipped program (no input access on this machine), %d runs:\n", runs);
  printSpread("start-up completed, tray registered", launched);

  Launch launch(simulated, host);
  if (!Launch::waitFor([&] { return launch.engine() >= 0 && launch.tray() >= 0; })) return 1;
  // Let the tray host read the icon and the menu, as a desktop would.
  QString ignored;
  testing_support::StatusNotifierItemReader(testing_support::StatusNotifierItemReader::registeredItems(&ignored).value(0))
      .menuLayout(&ignored);
  const Memory closed = memoryOf(launch.pid());
  std::string detail;
  if (requestShowSettings(simulated.socketFolder(), 5, 5, &detail) != ReopenOutcome::Delivered ||
      !clickMenuItem("About...", &error) ||
      !Launch::waitFor([&] { return launch.painted("Quorvelle Preferences") && launch.painted("About Quorvelle"); })) {
    std::fprintf(stderr, "app_startup_bench: the windows did not open: %s %s\n", detail.c_str(), qPrintable(error));
    return 1;
  }
  const Memory open = memoryOf(launch.pid());
  std::printf("Memory (simulated keyboard, tray icon registered):\n");
  std::printf("  %-34s resident %5.1f MB   peak %5.1f MB\n", "windows closed", closed.residentMB, closed.peakMB);
  std::printf("  %-34s resident %5.1f MB   peak %5.1f MB\n", "settings and About open", open.residentMB,
              open.peakMB);
  return 0;
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: app_startup_bench BUNDLE BENCH_APP [RUNS]\n");
    return 2;
  }
  QCoreApplication app(argc, argv);
  return quorvelle::run(argv[1], argv[2], argc > 3 ? std::atoi(argv[3]) : 15);
}

#include "app_startup_bench.moc"
