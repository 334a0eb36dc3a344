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

// Inside the window at no less than the height it needs: not cut off or squeezed.
bool fitsInside(QWidget* part, QWidget* window) {
  const QRect inWindow(part->mapTo(window, QPoint(0, 0)), part->size());
  return window->rect().contains(inWindow) && part->height() >= part->minimumSizeHint().height();
}

QWidget* widgetOf(ContentWindow* window) {
  auto* qt = dynamic_cast<QtContentWindow*>(window);
  return qt ? qt->widget() : nullptr;
}

struct DesktopWindows : testing::Test {
  DesktopWindows() {
    bundles.infos[bundles.mainPath] = {{"CFBundleIdentifier", std::string("com.quorvelle.Quorvelle")}};
    trust.trusted = true;
    // Started at login: no window opens by itself.
    launchEvents.event = LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}};
    delegate = AppDelegate::create(AppServices{
        loop, application, defaults, updater, taps, launcher, hid, log, trust, statusBar, workspace, windows,
        launchEvents, running, bundles, files, alerts, ApplicationsFolders{"/opt", "/x", "/x", std::nullopt}, "/t"});
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

  // The check that follows every close runs on a later turn.
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
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{"/b"}, "/b/quorvelle"}};
  QtContentWindows windows{application, SettingsServices{loop, trust, workspace, alerts, keyMonitor, loginItems, log},
                           tool, bundles};
  std::shared_ptr<AppDelegate> delegate;
  std::vector<std::string> closes;
};

TEST_F(DesktopWindows, SettingsWindowFitsItsContentAt420AndGrowsForLaterRows) {
  delegate->showSettings();
  QWidget* window = widgetOf(delegate->settingsWindow());
  ASSERT_TRUE(window && window->isVisible());
  EXPECT_EQ(window->minimumSize(), QSize(420, window->sizeHint().height()));
  EXPECT_EQ(window->size(), window->minimumSize());
  EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 3);
  auto* content = window->findChild<SettingsWidget*>();
  for (SettingsRow row : {SettingsRow::HyperShortcut, SettingsRow::Enabled, SettingsRow::HideMenuBarIcon}) {
    EXPECT_TRUE(fitsInside(content->rowWidget(row), window)) << static_cast<int>(row);
  }
  // Hiding the tray icon adds the command row below the rest.
  delegate->config().setHideMenuBarIcon(true);
  loop.drain();
  QApplication::processEvents();
  EXPECT_TRUE(fitsInside(content->rowWidget(SettingsRow::Command), window)) << window->height();
}

TEST_F(DesktopWindows, ClosesAreHeardOnScreenOnceAcceptedAndReleaseTheSettingsWindow) {
  delegate->showSettings();
  QPointer<QWidget> settings = widgetOf(delegate->settingsWindow());
  EXPECT_TRUE(settings->close());
  EXPECT_EQ(delegate->settingsWindow(), nullptr) << "dropped as its window closes";
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(settings) << "released once its close is over";
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);

  class Stubborn : public QWidget {
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
  } stubborn;
  stubborn.show();
  EXPECT_FALSE(stubborn.close());
  QMenu menu;
  menu.popup(QPoint(10, 10));
  menu.close();
  QMessageBox alert;
  alert.setWindowTitle("Alert");
  QTimer::singleShot(0, alert.addButton("OK", QMessageBox::AcceptRole), &QPushButton::click);
  alert.exec();
  EXPECT_THAT(closes, ElementsAre("Quorvelle Preferences (on screen)", "Alert (on screen)"))
      << "neither a refused close nor a menu";

  // The stubborn window keeps the application in front; coming forward
  // again shows no window closed before (the alert).
  delegate->showAboutWindow();
  widgetOf(delegate->aboutWindow())->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Regular);
  stubborn.hide();
  delegate->showAboutWindow();
  widgetOf(delegate->aboutWindow())->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);
}

TEST_F(DesktopWindows, OnlyTitledWindowsOnScreenCountAndAboutComesBackWhereLeft) {
  QWidget frameless(nullptr, Qt::FramelessWindowHint), minimised;
  frameless.show();
  minimised.showMinimized();
  QDialog dialog;
  QMenu popup;
  popup.popup(QPoint(10, 10));
  std::vector<std::pair<bool, std::uint32_t>> listed;
  for (Window* window : application.windows()) listed.emplace_back(window->isVisible(), window->styleMask());
  EXPECT_THAT(listed, testing::UnorderedElementsAre(std::pair(true, 0u), std::pair(false, 15u), std::pair(false, 11u)))
      << "no menus";
  ActivationPolicyRules rules(application, loop);
  rules.bringToFront();
  rules.scheduleActivationPolicyUpdate();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory) << "frameless or minimised: no title bar on screen";

  delegate->showAboutWindow();
  QWidget* about = widgetOf(delegate->aboutWindow());
  EXPECT_EQ(about->minimumSize(), about->maximumSize()) << "sized to its content, not resizable";
  EXPECT_EQ(about->size(), about->sizeHint());
  about->move(100, 120);
  about->close();
  delegate->showAboutWindow();
  EXPECT_EQ(widgetOf(delegate->aboutWindow()), about);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->pos(), QPoint(100, 120));
}

TEST_F(DesktopWindows, MenuButtonAndContextMenuOfferTheApplicationCommands) {
  delegate->showSettings();
  QWidget* settings = widgetOf(delegate->settingsWindow());
  auto* button = settings->findChild<QToolButton*>(QtContentWindows::kMenuButtonName);
  ASSERT_TRUE(button && button->menu());
  EXPECT_TRUE(fitsInside(button, settings));
  QList<QAction*> actions = button->menu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text() + "|" + actions[1]->text(), "About Quorvelle|Check for Updates…");
  actions[1]->trigger();
  EXPECT_EQ(updater.created->userChecks, 1);
  actions[0]->trigger();
  EXPECT_TRUE(delegate->aboutWindow()->isVisible());

  auto* enabled = settings->findChild<QCheckBox*>("enabled");
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), enabled->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(enabled, &click);
  EXPECT_TRUE(button->menu()->isVisible()) << "a right click offers the same menu";
  button->menu()->close();
}

TEST_F(DesktopWindows, TerminateRunsTheHandlerOnceAndEndsTheLoopAsTheSessionEndingDoes) {
  int handled = 0;
  application.setTerminationHandler([&] { ++handled; });
  QTimer::singleShot(0, [&] {
    application.terminate();
    application.terminate();
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(handled, 1);

  QtApplication another(log);
  another.setTerminationHandler([&] { ++handled; });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QApplication::exec();
  EXPECT_EQ(handled, 2);
}

}  // namespace
}  // namespace quorvelle
