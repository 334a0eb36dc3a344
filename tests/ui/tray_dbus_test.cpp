// The tray icon and its menu for real: under an X server with a session bus
// and a StatusNotifierItem watcher, read back over com.canonical.dbusmenu the
// way a tray host reads them.
#include <QApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDateTime>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbus_menu_reader.h"
#include "linux/json_defaults_store.h"
#include "linux/temp_dir.h"
#include "qt_wait.h"
#include "sim/sim_desktop.h"
#include "sim/sim_services.h"
#include "sni_watcher.h"
#include "statusitem/status_item_controller.h"
#include "test_symbols.h"
#include "ui/qt_status_bar.h"

namespace quorvelle {
namespace {

using testing_support::DbusMenuEntry;
using testing_support::StatusNotifierItemReader;
using testing_support::waitFor;

// A menu entry as drawn: "-" for a separator, "[x] "/"[ ] " for a check box,
// " (Control+Q)" for a shortcut; hidden entries left out.
std::string drawn(const DbusMenuEntry& entry) {
  const QVariantMap& p = entry.properties;
  if (p.value("type") == "separator") return "-";
  QString line = p.value("toggle-type") == "checkmark" ? (p.value("toggle-state") == 1 ? "[x] " : "[ ] ") : "";
  line += p.value("label").toString();
  if (p.contains("shortcut")) {
    const QDBusArgument chords = p.value("shortcut").value<QDBusArgument>();
    chords.beginArray();
    QStringList keys;
    chords >> keys;
    chords.endArray();
    line += " (" + keys.join('+') + ")";
  }
  return line.toStdString();
}

class RealTray : public testing::Test {
 protected:
  void TearDown() override {
    controller.hideStatusItem();
    waitFor([&] { return StatusNotifierItemReader::registeredItems(&error).isEmpty(); });
  }

  // The one item the watcher lists.
  StatusNotifierItemReader shownItem() {
    QStringList items;
    EXPECT_TRUE(waitFor([&] { return (items = StatusNotifierItemReader::registeredItems(&error)).size() == 1; }))
        << error.toStdString();
    return StatusNotifierItemReader(items.value(0));
  }

  // Waits until the menu reads as expected; answers what it read last.
  std::vector<std::string> menuOnceItReads(const StatusNotifierItemReader& item, const std::vector<std::string>& expected) {
    std::vector<std::string> lines;
    waitFor([&] {
      lines.clear();
      std::optional<DbusMenuEntry> layout = item.menuLayout(&error);
      for (const DbusMenuEntry& entry : layout ? layout->children : std::vector<DbusMenuEntry>{}) {
        if (entry.properties.value("visible", true).toBool()) lines.push_back(drawn(entry));
      }
      return lines == expected;
    });
    return lines;
  }

  bool click(const StatusNotifierItemReader& item, const QString& label) {
    std::optional<DbusMenuEntry> layout = item.menuLayout(&error);
    for (const DbusMenuEntry& entry : layout ? layout->children : std::vector<DbusMenuEntry>{}) {
      if (entry.properties.value("label") == label) {
        return item.call(true, "Event",
                         {entry.id, QString("clicked"), QVariant::fromValue(QDBusVariant(0)),
                          uint(QDateTime::currentSecsSinceEpoch())},
                         &error);
      }
    }
    return false;
  }

  QString error;
  testing_support::TempDir dir;
  sim::RecordingLog log;
  JsonDefaultsStore defaults{dir.file("defaults.json"), log};
  Config config{defaults};
  QtStatusBar bar{testing_support::writeTestSymbols(dir), Qt::black};
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  int settingsShown = 0, checks = 0;
  StatusItemController controller{
      bar, workspace, application, config, [this] { ++settingsShown; }, [] {}, [this] { ++checks; },
      [this] { return active; }};
};

const std::vector<std::string> kWarnedMenu = {
    "⚠︎ Grant Input Access...", "-", "[x] Enabled", "-", "Preferences... (Control+,)", "-", "About...",
    "Check for Updates...", "-", "Quit Quorvelle (Control+Q)"};
const std::vector<std::string> kWorkingMenu(kWarnedMenu.begin() + 2, kWarnedMenu.end());
const std::vector<std::string> kOffMenu = {
    "[ ] Enabled", "-", "Preferences... (Control+,)", "-", "About...", "Check for Updates...", "-",
    "Quit Quorvelle (Control+Q)"};

TEST_F(RealTray, TheExportedMenuAndIconFollowTheStateAndChoicesReachTheirTargets) {
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the watcher stands for a tray host";
  config.setEnabled(true);
  controller.showStatusItem();
  StatusNotifierItemReader item = shownItem();
  EXPECT_EQ(menuOnceItReads(item, kWarnedMenu), kWarnedMenu) << "up to date before any host asks";
  const QByteArray dimmed = item.iconPixmaps(&error);
  ASSERT_FALSE(dimmed.isEmpty()) << error.toStdString();
  ASSERT_TRUE(click(item, "⚠︎ Grant Input Access...")) << error.toStdString();
  EXPECT_TRUE(waitFor([&] { return workspace.openedURLs.size() == 1; }));
  EXPECT_EQ(workspace.openedURLs.at(0), kAccessibilitySettingsURL);

  active = true;  // the engine started
  controller.updateIcon();
  EXPECT_TRUE(waitFor([&] { return item.iconPixmaps(&error) != dimmed; })) << "the filled look at full strength";
  EXPECT_EQ(menuOnceItReads(item, kWorkingMenu), kWorkingMenu);

  ASSERT_TRUE(click(item, "Enabled")) << error.toStdString();
  ASSERT_TRUE(waitFor([&] { return !config.enabled(); }));
  EXPECT_EQ(defaults.object("enabled"), PropertyValue(false));
  ASSERT_TRUE(item.call(true, "AboutToShow", {0}, &error)) << error.toStdString();
  EXPECT_EQ(menuOnceItReads(item, kOffMenu), kOffMenu) << "refreshed when the host opens it";

  ASSERT_TRUE(click(item, "Preferences...") && click(item, "Check for Updates...") && click(item, "Quit Quorvelle"));
  EXPECT_TRUE(waitFor([&] { return settingsShown == 1 && checks == 1 && application.terminations == 1; }));
}

TEST_F(RealTray, HidingUnregistersShowingExportsTheSameMenuAndAClickOpensIt) {
  controller.showStatusItem();
  shownItem();
  controller.hideStatusItem();
  ASSERT_TRUE(waitFor([&] { return StatusNotifierItemReader::registeredItems(&error).isEmpty(); }));

  config.setEnabled(false);
  controller.showStatusItem();
  StatusNotifierItemReader item = shownItem();
  EXPECT_EQ(menuOnceItReads(item, kOffMenu), kOffMenu);
  ASSERT_TRUE(item.call(false, "Activate", {10, 10}, &error)) << error.toStdString();
  QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
  EXPECT_TRUE(waitFor([&] { return QApplication::activePopupWidget() == menu; }));
  menu->hide();
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  QString error;
  if (!quorvelle::testing_support::SniWatcher::start(&error)) {
    fprintf(stderr, "cannot start the StatusNotifierItem watcher: %s\n", qPrintable(error));
    return 1;
  }
  return RUN_ALL_TESTS();
}
