// The application with its keyboard services simulated: a tap that can
// always be made and access granted. For start-up and memory figures on
// machines without keyboards or /dev/uinput; a benchmark program, never
// shipped or installed. Everything else is the real application.
//
// Reports on standard output, times in seconds on CLOCK_MONOTONIC:
//   engine <running|stopped> <time>   start-up has completed
//   painted <window title> <time>     a window was first painted
#include <QApplication>
#include <QEvent>
#include <QSet>
#include <QWidget>
#include <chrono>
#include <cstdio>

#include "app_main/desktop_app.h"
#include "sim/sim_accessibility.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_services.h"

namespace {

double monotonicNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Notes the first paint of each window.
class PaintReporter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (widget->isWindow() && !widget->windowTitle().isEmpty() && !painted_.contains(widget->windowTitle())) {
        painted_.insert(widget->windowTitle());
        std::printf("painted %s %.6f\n", qPrintable(widget->windowTitle()), monotonicNow());
        std::fflush(stdout);
      }
    }
    return false;
  }

 private:
  QSet<QString> painted_;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace quorvelle;
  QApplication qt(argc, argv);
  sim::SimEventTapSystem taps;
  sim::SimHidSystem hid;
  sim::SimAccessibilityTrust trust;
  trust.trusted = true;

  DesktopApp::Options options;
  options.arguments.assign(argv, argv + argc);
  options.keyboard = {&taps, &hid, &trust};
  options.launchCompleted = [](AppDelegate& delegate) {
    std::printf("engine %s %.6f\n", delegate.hyperKey().hasTap() ? "running" : "stopped", monotonicNow());
    std::fflush(stdout);
  };
  PaintReporter paints;
  qt.installEventFilter(&paints);
  std::string error;
  std::unique_ptr<DesktopApp> app = DesktopApp::create(std::move(options), &error);
  if (!app) {
    std::fprintf(stderr, "quorvelle_bench_app: %s\n", error.c_str());
    return 1;
  }
  return app->run();
}
