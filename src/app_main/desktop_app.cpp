#include "app_main/desktop_app.h"

#include <QApplication>
#include <QTimer>

#include "app_main/desktop_services.h"
#include "linux/process/termination_signals.h"
#include "linux/session/reopen_server.h"
#include "linux/session/reopen_socket.h"
#include "ui/symbol_icons.h"

namespace quorvelle {

// The ways in from outside the process.
struct DesktopApp::Entrances {
  std::unique_ptr<TerminationSignals> terminationSignals;
  std::unique_ptr<ReopenServer> reopen;
};

std::unique_ptr<DesktopApp> DesktopApp::create(Options options, std::string* error) {
  const std::string executable = PlistBundles::currentExecutablePath();
  const std::string bundlePath = PlistBundles::bundlePathOfExecutable(executable);
  if (bundlePath.empty()) {
    *error = executable + " does not lie in an application bundle (<name>.app/Contents/MacOS)";
    return nullptr;
  }
  std::optional<std::string> identifier = PlistBundles(bundlePath).mainInfoString("CFBundleIdentifier");
  if (!identifier || identifier->empty()) {
    *error = "cannot read the bundle identifier from " + bundlePath + "/Contents/Info.plist";
    return nullptr;
  }
  return std::unique_ptr<DesktopApp>(new DesktopApp(std::move(options), bundlePath, *identifier));
}

DesktopApp::DesktopApp(Options options, std::string bundlePath, std::string bundleIdentifier)
    : options_(std::move(options)), entrances_(std::make_unique<Entrances>()) {
  QApplication::setApplicationName(QStringLiteral("Quorvelle"));
  QApplication::setDesktopFileName(QStringLiteral("com.quorvelle.Quorvelle"));  // the menu entry's name
  QApplication::setWindowIcon(applicationIcon(bundlePath));

  services_ = std::make_unique<DesktopServices>(bundlePath, bundleIdentifier, options_.arguments);
  const KeyboardStandIns& standIns = options_.keyboard;
  delegate_ = AppDelegate::create(services_->appServices(standIns.eventTaps, standIns.hid, standIns.trust));
  delegate_->addApplicationCommands(services_->windows->applicationMenu());
  delegate_->setLaunchCompletedHandler([this] { launchCompleted(); });
  services_->application.setTerminationHandler([this] { delegate_->applicationWillTerminate(); });

  // SIGTERM (another copy taking over, or the session), SIGINT and SIGHUP
  // quit through the termination handler, which removes the key mapping.
  entrances_->terminationSignals = std::make_unique<TerminationSignals>(
      services_->fdWatcher, [this](int) { services_->application.terminate(); });
  std::string error;
  if (!entrances_->terminationSignals->install(&error)) services_->log.write("Quorvelle: " + error);
}

DesktopApp::~DesktopApp() {
  entrances_.reset();  // the reopen socket goes first: nobody is left to answer
  delegate_.reset();
  services_.reset();
  // Windows released while closing wait for the event loop that has ended.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int DesktopApp::run() {
  // Inside the event loop, so that the prompts of start-up run as they would later.
  QTimer::singleShot(0, qApp, [this] {
    if (!services_->application.isTerminating()) delegate_->applicationDidFinishLaunching();
  });
  QApplication::exec();
  // A timer of the same turn as the termination may have started the engine
  // after the handler ran; the key mapping must not outlive the process.
  if (delegate_->hyperKey().hasTap()) delegate_->applicationWillTerminate();
  return 0;
}

void DesktopApp::launchCompleted() {
  // Only now: a copy still waiting for older ones to quit must not show
  // windows for them. The newest copy takes the socket over.
  entrances_->reopen = std::make_unique<ReopenServer>(services_->fdWatcher, services_->runLoop, [this] {
    delegate_->applicationShouldHandleReopen(hasVisibleWindows());
  });
  std::string error;
  if (!entrances_->reopen->listen(reopen::socketFolder(), &error)) {
    services_->log.write("Quorvelle: cannot take requests from the quorvelle command: " + error);
    entrances_->reopen.reset();
  }
  if (options_.launchCompleted) options_.launchCompleted(*delegate_);
}

bool DesktopApp::hasVisibleWindows() const {
  for (Window* window : services_->application.windows()) {
    if (window->isVisible()) return true;
  }
  return false;
}

}  // namespace quorvelle
