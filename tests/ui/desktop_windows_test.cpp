// The application's windows for real, offscreen: the delegate on the Qt
// application and content windows, the rest of the platform simulated.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "sim/sim_administrator_scripts.h"
#include "sim/sim_desktop.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_file_system.h"
#include "sim/sim_launch_events.h"
#include "sim/sim_local_key_monitor.h"
#include "sim/sim_login_items.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_running_applications.h"
#include "sim/sim_services.h"
#include "sim/sim_status_bar.h"
#include "ui/qt_application.h"
#include "ui/qt_content_windows.h"
#include "ui/settings_widget.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

constexpr char kBundle[] = "/opt/Quorvelle.app";

// The part lies inside the window at no less than the height it needs:
// nothing is cut off or squeezed.
bool fitsInside(QWidget* part, QWidget* window) {
  const QRect inWindow(part->mapTo(window, QPoint(0, 0)), part->size());
  return window->rect().contains(inWindow) && part->height() >= part->minimumSizeHint().height();
}

struct DesktopWindows : testing::Test {
  DesktopWindows() {
    bundles.infos[kBundle] = {{"CFBundleIdentifier", std::string("com.quorvelle.Quorvelle")},
                              {"CFBundleVersion", std::string("1000")},
                              {"CFBundleShortVersionString", std::string("1.0")}};
    trust.trusted = true;
    // Started at login: no window opens by itself.
    launchEvents.event = LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}};
    delegate = AppDelegate::create(AppServices{
        loop, application, defaults, updater, taps, launcher, hid, log, trust, statusBar, workspace, windows,
        launchEvents, running, bundles, files, alerts,
        ApplicationsFolders{"/opt", "/home/user/Applications", "/home/user/Applications", std::nullopt},
        "/opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap"});
    // Heard before the delegate, which may release the window it is told of.
    application.addWindowWillCloseObserver([this](Window* window) {
      closes.push_back(window->title() + (window->isVisible() ? " (on screen)" : " (gone)"));
    });
    delegate->addApplicationCommands(windows.applicationMenu());
    delegate->applicationDidFinishLaunching();
  }

  ~DesktopWindows() override {
    delegate.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  static QWidget* widgetOf(ContentWindow* window) {
    auto* qt = dynamic_cast<QtContentWindow*>(window);
    return qt ? qt->widget() : nullptr;
  }

  // The check that follows every close, on its later turn.
  ActivationPolicy policyAfterCloses() {
    loop.drain();
    return application.activationPolicy();
  }

  sim::RecordingLog log;
  QtApplication application{log};
  sim::SimRunLoop loop;
  sim::MemoryDefaultsStore defaults;
  sim::SimUpdater updater;
  sim::SimEventTapSystem taps;
  sim::RecordingProcessLauncher launcher;
  sim::SimHidSystem hid;
  sim::SimAccessibilityTrust trust;
  sim::SimStatusBar statusBar;
  sim::SimWorkspace workspace;
  sim::SimLaunchEvents launchEvents;
  sim::SimRunningApplications running;
  sim::SimBundles bundles;
  sim::SimFileSystem files;
  sim::SimAlerts alerts;
  sim::SimLocalKeyMonitor keyMonitor;
  sim::SimLoginItems loginItems;
  sim::SimAdministratorScripts scripts;
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{"/home/user/.local/bin"}, "/usr/local/bin/quorvelle"}};
  QtContentWindows windows{application, SettingsServices{loop, trust, workspace, alerts, keyMonitor, loginItems, log},
                           tool, bundles};
  std::shared_ptr<AppDelegate> delegate;
  std::vector<std::string> closes;
};

TEST_F(DesktopWindows, SettingsWindowFitsItsContentAt420CentredAndGrowsForLaterRows) {
  delegate->showSettings();
  QWidget* window = widgetOf(delegate->settingsWindow());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Quorvelle Preferences");
  EXPECT_EQ(window->width(), 420);
  EXPECT_EQ(window->height(), window->sizeHint().height());
  EXPECT_EQ(window->minimumSize(), QSize(420, window->height()));
  const QRect screen = window->screen()->availableGeometry();
  EXPECT_LE((window->geometry().center() - screen.center()).manhattanLength(), 3);

  auto* content = window->findChild<SettingsWidget*>();
  ASSERT_NE(content, nullptr);
  for (SettingsRow row : {SettingsRow::HyperShortcut, SettingsRow::Enabled, SettingsRow::HideMenuBarIcon}) {
    EXPECT_TRUE(fitsInside(content->rowWidget(row), window)) << static_cast<int>(row);
  }

  // Hiding the tray icon adds the command row below the rest.
  delegate->config().setHideMenuBarIcon(true);
  loop.drain();
  QApplication::processEvents();
  QWidget* command = content->rowWidget(SettingsRow::Command);
  ASSERT_TRUE(command->isVisible());
  EXPECT_TRUE(fitsInside(command, window)) << "window " << window->height() << " high";
}

TEST_F(DesktopWindows, ClosingNotifiesWhileOnScreenAndReleasesTheSettingsWindow) {
  delegate->showSettings();
  QPointer<QWidget> first = widgetOf(delegate->settingsWindow());
  ASSERT_TRUE(first);
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);

  EXPECT_TRUE(first->close());
  EXPECT_THAT(closes, ElementsAre("Quorvelle Preferences (on screen)"));
  EXPECT_EQ(delegate->settingsWindow(), nullptr) << "dropped as its window closes";
  EXPECT_FALSE(first->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(first) << "released once its close is over";
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);

  delegate->showSettings();
  QWidget* second = widgetOf(delegate->settingsWindow());
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isVisible()) << "a new window with fresh content";
}

// A window that keeps itself open when asked to close.
class StubbornWindow : public QWidget {
 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

TEST_F(DesktopWindows, OnlyClosesThatHappenAreHeardOfAlertsAndOtherWindowsIncluded) {
  StubbornWindow stubborn;
  stubborn.setWindowTitle("Stubborn");
  stubborn.show();
  EXPECT_FALSE(stubborn.close());
  EXPECT_TRUE(stubborn.isVisible());

  QMenu menu;
  menu.addAction("Item");
  menu.popup(QPoint(10, 10));
  menu.close();
  EXPECT_TRUE(closes.empty()) << "neither a refused close nor a menu";

  QMessageBox alert;
  alert.setWindowTitle("Alert");
  QPushButton* ok = alert.addButton("OK", QMessageBox::AcceptRole);
  QTimer::singleShot(0, ok, &QPushButton::click);
  alert.exec();
  EXPECT_THAT(closes, ElementsAre("Alert (on screen)"));

  // The stubborn window still keeps the application in front; bringing the
  // application forward shows no window closed before (the alert).
  delegate->showAboutWindow();
  widgetOf(delegate->aboutWindow())->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Regular);
  stubborn.hide();
  delegate->showAboutWindow();
  widgetOf(delegate->aboutWindow())->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);
}

TEST_F(DesktopWindows, WindowsAreTheRealWindowsAndOnlyTitledOnesOnScreenKeepTheApplicationInFront) {
  QWidget hidden;
  hidden.setWindowTitle("Hidden");
  QWidget frameless(nullptr, Qt::FramelessWindowHint);
  frameless.show();
  QDialog dialog;
  dialog.setWindowTitle("Dialog");
  QMenu popup;
  popup.addAction("Item");
  popup.popup(QPoint(10, 10));
  QWidget minimised;
  minimised.setWindowTitle("Minimised");
  minimised.showMinimized();

  std::vector<std::string> listed;
  for (Window* window : application.windows()) {
    listed.push_back(window->title() + (window->isVisible() ? "+" : "-") + std::to_string(window->styleMask()));
  }
  EXPECT_THAT(listed, testing::UnorderedElementsAre("Hidden-15", "+0", "Dialog-11", "Minimised-15"))
      << "no menus; a frameless window has no title bar; a minimised one is off screen";

  ActivationPolicyRules rules(application, loop);
  rules.bringToFront();
  rules.scheduleActivationPolicyUpdate();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular) << "checked on a later turn";
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);

  rules.bringToFront();
  dialog.show();
  rules.scheduleActivationPolicyUpdate();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Regular);
}

TEST_F(DesktopWindows, AboutWindowIsBuiltOnceAndComesBackWhereTheUserLeftIt) {
  delegate->showAboutWindow();
  QWidget* about = widgetOf(delegate->aboutWindow());
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), "About Quorvelle");
  EXPECT_EQ(about->size(), about->sizeHint());
  EXPECT_EQ(about->minimumSize(), about->maximumSize()) << "not resizable";

  about->move(100, 120);
  about->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);
  delegate->showAboutWindow();
  EXPECT_EQ(widgetOf(delegate->aboutWindow()), about);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->pos(), QPoint(100, 120));
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
}

TEST_F(DesktopWindows, MenuButtonAndContextMenuOfferTheApplicationCommands) {
  delegate->showSettings();
  QWidget* settings = widgetOf(delegate->settingsWindow());
  auto* button = settings->findChild<QToolButton*>(QtContentWindows::kMenuButtonName);
  ASSERT_NE(button, nullptr);
  ASSERT_NE(button->menu(), nullptr);
  EXPECT_TRUE(fitsInside(button, settings));
  QStringList titles;
  for (QAction* action : button->menu()->actions()) titles << action->text();
  EXPECT_EQ(titles, QStringList({"About Quorvelle", "Check for Updates…"}));

  button->menu()->actions().at(1)->trigger();
  ASSERT_NE(updater.created, nullptr);
  EXPECT_EQ(updater.created->userChecks, 1);
  button->menu()->actions().at(0)->trigger();
  ASSERT_NE(delegate->aboutWindow(), nullptr);
  EXPECT_TRUE(delegate->aboutWindow()->isVisible());

  // A right click on a row offers the same menu.
  auto* enabled = settings->findChild<QCheckBox*>("enabled");
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), enabled->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(enabled, &click);
  EXPECT_TRUE(button->menu()->isVisible());
  button->menu()->close();
}

TEST_F(DesktopWindows, TerminateRunsTheHandlerOnceAndEndsTheLoop) {
  int handled = 0;
  application.setTerminationHandler([&] { ++handled; });
  QTimer::singleShot(0, [&] {
    application.terminate();
    application.terminate();
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(handled, 1);
  EXPECT_TRUE(application.isTerminating());
}

TEST(QtApplicationEnding, TheSessionQuittingTheLoopRunsTheHandlerToo) {
  sim::RecordingLog log;
  QtApplication application(log);
  int handled = 0;
  application.setTerminationHandler([&] { ++handled; });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QApplication::exec();
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace quorvelle
