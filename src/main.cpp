// Quorvelle: Caps Lock as a hyper key, living in the tray.
#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app_main/desktop_app.h"
#include "linux/process/system_log.h"
#include "linux/session/display_check.h"
#include "ui/platform_start.h"

int main(int argc, char** argv) {
  using namespace quorvelle;
  if (std::optional<std::string> missing = missingDisplay()) {
    SystemLog().write("Quorvelle: cannot start: " + *missing);
    return 1;
  }
  std::unique_ptr<QApplication> qt;
  {
    PlatformStartGuard guard;
    qt = std::make_unique<QApplication>(argc, argv);
  }
  std::string error;
  DesktopApp::Options options;
  options.arguments.assign(argv, argv + argc);
  std::unique_ptr<DesktopApp> app = DesktopApp::create(std::move(options), &error);
  if (!app) {
    SystemLog().write("Quorvelle: cannot start: " + error);
    return 1;
  }
  const int status = app->run();
  app.reset();
  return status;
}
