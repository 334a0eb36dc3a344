// Figures for the tray and the updater: drawing the icon in each look, reading
// the largest feed the updater accepts, and the memory of a tray application
// with its menu and the updater window built.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <cstdio>

#include "sim/sim_application.h"
#include "sim/sim_workspace.h"
#include "sim/sim_services.h"
#include "statusitem/status_item_controller.h"
#include "ui/appcast_reader.h"
#include "ui/qt_status_bar.h"
#include "ui/qt_update_window.h"
#include "ui/tray_symbols.h"
#include "update/feed_rules.h"
#include "update/update_window_contents.h"

namespace quorvelle {
namespace {

void BM_IconLookChange(benchmark::State& state) {
  sim::MemoryDefaultsStore defaults;
  Config config(defaults);
  QtStatusBar bar(traySymbols(Qt::black), Qt::black);
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  StatusItemController controller(bar, workspace, application, config, {}, {}, {}, [&] { return active; });
  controller.showStatusItem();
  for (auto _ : state) {
    active = !active;  // filled, then filled and dimmed
    controller.updateIcon();
  }
}
BENCHMARK(BM_IconLookChange);

void BM_ReadLargestAcceptedFeed(benchmark::State& state) {
  QByteArray feed =
      "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>";
  const QByteArray item =
      "<item><title>Quorvelle 0.1.5</title><sparkle:version>1005</sparkle:version>"
      "<sparkle:shortVersionString>0.1.5</sparkle:shortVersionString>"
      "<sparkle:releaseNotesLink>https://quorvelle.org/notes/0.1.5</sparkle:releaseNotesLink>"
      "<link>https://quorvelle.org/download</link></item>";
  while (feed.size() + item.size() + 20 < kMaximumFeedBytes) feed += item;
  feed += "</channel></rss>";
  std::string error;
  for (auto _ : state) {
    auto items = readAppcast(feed, &error);
    benchmark::DoNotOptimize(items);
  }
  state.SetBytesProcessed(state.iterations() * feed.size());
}
BENCHMARK(BM_ReadLargestAcceptedFeed)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  quorvelle::sim::SimWorkspace workspace;
  quorvelle::QtUpdateWindow window(workspace);
  window.show(quorvelle::upToDateContent("0.1.0"), false);
  QApplication::processEvents();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS with the tray, its menu and the updater window: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
