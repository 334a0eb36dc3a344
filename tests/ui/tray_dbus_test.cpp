// The tray icon and its menu for real: under an X server with a session bus
// and a StatusNotifierItem watcher, the menu is read back over
// com.canonical.dbusmenu the way a tray host reads it.
#include <QApplication>
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

using testing::ElementsAre;
using testing_support::DbusMenuEntry;
using testing_support::StatusNotifierItemReader;
using testing_support::waitFor;

// The menu as drawn: "-" for a separator, "[x] " or "[ ] " before a check
// box, " (Control+Q)" after a shortcut; hidden entries left out.
std::vector<std::string> drawn(const DbusMenuEntry& root) {
  std::vector<std::string> lines;
  for (const DbusMenuEntry& entry : root.children) {
    if (!entry.isVisible()) continue;
    if (entry.isSeparator()) {
      lines.push_back("-");
      continue;
    }
    QString line;
    if (entry.properties.value("toggle-type").toString() == "checkmark") {
      line += entry.properties.value("toggle-state").toInt() == 1 ? "[x] " : "[ ] ";
    }
    line += entry.label();
    if (!entry.shortcut().isEmpty()) line += " (" + entry.shortcut() + ")";
    lines.push_back(line.toStdString());
  }
  return lines;
}

int idOf(const DbusMenuEntry& root, const QString& label) {
  for (const DbusMenuEntry& entry : root.children) {
    if (entry.label() == label) return entry.id;
  }
  return -1;
}

class RealTray : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "the watcher stands for a tray host";
  }
  void TearDown() override {
    controller.hideStatusItem();
    // The next test starts with no item registered.
    QString error;
    waitFor([&] { return StatusNotifierItemReader::registeredItems(&error).isEmpty(); });
  }

  // The item the watcher lists once the controller has shown it.
  std::optional<StatusNotifierItemReader> shownItem() {
    QString error;
    QStringList items;
    if (!waitFor([&] {
          items = StatusNotifierItemReader::registeredItems(&error);
          return items.size() == 1;
        })) {
      ADD_FAILURE() << "registered: " << items.join(", ").toStdString() << " " << error.toStdString();
      return std::nullopt;
    }
    return StatusNotifierItemReader(items.first());
  }

  // The menu once it reads as expected, or the last reading.
  std::vector<std::string> menuOnceItReads(const StatusNotifierItemReader& item,
                                           const std::vector<std::string>& expected) {
    std::vector<std::string> lines;
    waitFor([&] {
      QString error;
      std::optional<DbusMenuEntry> layout = item.menuLayout(&error);
      lines = layout ? drawn(*layout) : std::vector<std::string>{error.toStdString()};
      return lines == expected;
    });
    return lines;
  }

  DbusMenuEntry layout(const StatusNotifierItemReader& item) {
    QString error;
    std::optional<DbusMenuEntry> layout = item.menuLayout(&error);
    EXPECT_TRUE(layout) << error.toStdString();
    return layout.value_or(DbusMenuEntry{});
  }

  testing_support::TempDir dir;
  sim::RecordingLog log;
  JsonDefaultsStore defaults{dir.file("defaults.json"), log};
  Config config{defaults};
  QtStatusBar bar{testing_support::writeTestSymbols(dir)};
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  int settingsShown = 0;
  int checks = 0;
  StatusItemController controller{
      bar, workspace, application, config, [this] { ++settingsShown; }, [] {}, [this] { ++checks; },
      [this] { return active; }};
};

const std::vector<std::string> kWarnedMenu = {
    "⚠︎ Grant Input Access...", "-", "[x] Enabled", "-", "Preferences... (Control+,)", "-", "About...",
    "Check for Updates...", "-", "Quit Quorvelle (Control+Q)"};
const std::vector<std::string> kOffMenu = {
    "[ ] Enabled", "-", "Preferences... (Control+,)", "-", "About...", "Check for Updates...", "-",
    "Quit Quorvelle (Control+Q)"};

TEST_F(RealTray, ExportsTheMenuUpToDateEvenBeforeTheHostAnnouncesAnOpening) {
  config.setEnabled(true);
  active = false;
  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> item = shownItem();
  ASSERT_TRUE(item);
  EXPECT_EQ(menuOnceItReads(*item, kWarnedMenu), kWarnedMenu);

  QString error;
  EXPECT_EQ(item->property("Status", &error).toString(), "Active") << error.toStdString();
  EXPECT_FALSE(item->iconPixmaps(&error).isEmpty()) << "the icon travels as pixmaps " << error.toStdString();
}

TEST_F(RealTray, OpeningTheMenuRefreshesItAndChoicesReachTheController) {
  config.setEnabled(true);
  active = true;
  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> item = shownItem();
  ASSERT_TRUE(item);
  QString error;
  ASSERT_TRUE(item->aboutToShow(0, &error)) << error.toStdString();
  std::vector<std::string> working = kWarnedMenu;
  working.erase(working.begin(), working.begin() + 2);
  EXPECT_EQ(menuOnceItReads(*item, working), working);

  ASSERT_TRUE(item->click(idOf(layout(*item), "Enabled"), &error)) << error.toStdString();
  ASSERT_TRUE(waitFor([&] { return !config.enabled(); }));
  EXPECT_EQ(defaults.object("enabled"), PropertyValue(false));
  ASSERT_TRUE(item->aboutToShow(0, &error));
  EXPECT_EQ(menuOnceItReads(*item, kOffMenu), kOffMenu);

  ASSERT_TRUE(item->click(idOf(layout(*item), "Preferences..."), &error));
  ASSERT_TRUE(item->click(idOf(layout(*item), "Check for Updates..."), &error));
  ASSERT_TRUE(item->click(idOf(layout(*item), "Quit Quorvelle"), &error));
  EXPECT_TRUE(waitFor([&] { return settingsShown == 1 && checks == 1 && application.terminations == 1; }));
}

TEST_F(RealTray, TheWarningOpensTheGrantAndTheIconDimsWithoutATap) {
  config.setEnabled(true);
  active = true;
  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> item = shownItem();
  ASSERT_TRUE(item);
  QString error;
  const QByteArray working = item->iconPixmaps(&error);
  ASSERT_FALSE(working.isEmpty()) << error.toStdString();

  active = false;
  controller.updateIcon();
  ASSERT_TRUE(waitFor([&] { return item->iconPixmaps(&error) != working; }))
      << "the dimmed look is exported";
  ASSERT_EQ(menuOnceItReads(*item, kWarnedMenu), kWarnedMenu);
  ASSERT_TRUE(item->click(idOf(layout(*item), "⚠︎ Grant Input Access..."), &error));
  EXPECT_TRUE(waitFor([&] { return workspace.openedURLs.size() == 1; }));
  EXPECT_THAT(workspace.openedURLs,
              ElementsAre("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
}

TEST_F(RealTray, HidingUnregistersAndShowingExportsTheSameMenuAgain) {
  config.setEnabled(false);
  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> first = shownItem();
  ASSERT_TRUE(first);
  ASSERT_EQ(menuOnceItReads(*first, kOffMenu), kOffMenu);

  controller.hideStatusItem();
  QString error;
  ASSERT_TRUE(waitFor([&] { return StatusNotifierItemReader::registeredItems(&error).isEmpty(); }))
      << "the item leaves the tray";

  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> second = shownItem();
  ASSERT_TRUE(second);
  EXPECT_EQ(menuOnceItReads(*second, kOffMenu), kOffMenu);
  ASSERT_TRUE(second->click(idOf(layout(*second), "Enabled"), &error)) << error.toStdString();
  EXPECT_TRUE(waitFor([&] { return config.enabled(); })) << "the new item's menu still works";
}

TEST_F(RealTray, AClickOnTheIconOpensTheMenuAsWell) {
  controller.showStatusItem();
  std::optional<StatusNotifierItemReader> item = shownItem();
  ASSERT_TRUE(item);
  QString error;
  ASSERT_TRUE(item->activate(&error)) << error.toStdString();
  QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
  EXPECT_TRUE(waitFor([&] { return QApplication::activePopupWidget() == menu; }));
  menu->hide();
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  QString error;
  if (!quorvelle::testing_support::SniWatcher::start(&error)) {
    fprintf(stderr, "cannot start the StatusNotifierItem watcher: %s\n", qPrintable(error));
    return 1;
  }
  return RUN_ALL_TESTS();
}
