// The tray icon's looks and its menu as Qt draws them, offscreen (where no
// tray exists, which must not stop anything).
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/temp_dir.h"
#include "qt_wait.h"
#include "sim/sim_desktop.h"
#include "sim/sim_services.h"
#include "statusitem/status_item_controller.h"
#include "test_symbols.h"
#include "ui/qt_status_bar.h"
#include "ui/status_icon.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing_support::waitFor;

// How much dark paint the picture carries, 0 for an empty one.
double ink(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  double total = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      total += c.alphaF() * (1.0 - c.valueF());
    }
  }
  return total;
}

struct QtStatusBarFixture : testing::Test {
  // What the open menu shows: hidden actions left out, "[x] " before a ticked one.
  std::vector<std::string> openMenu() {
    QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
    menu->popup(QPoint(10, 10));
    waitFor([&] { return menu->isVisible(); });
    std::vector<std::string> lines;
    for (QAction* action : menu->actions()) {
      if (!action->isVisible()) continue;
      if (action->isSeparator()) {
        lines.push_back("-");
        continue;
      }
      QString line = (action->isCheckable() ? (action->isChecked() ? "[x] " : "[ ] ") : "") + action->text();
      if (!action->shortcut().isEmpty()) line += " (" + action->shortcut().toString() + ")";
      lines.push_back(line.toStdString());
    }
    return lines;
  }

  testing_support::TempDir dir;
  std::map<std::string, QIcon> symbols = testing_support::writeTestSymbols(dir);
  sim::MemoryDefaultsStore defaults;
  Config config{defaults};
  QtStatusBar bar{symbols};
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  int settingsShown = 0;
  StatusItemController controller{bar, workspace, application, config, [this] { ++settingsShown; }, [] {}, [] {},
                                  [this] { return active; }};
};

TEST_F(QtStatusBarFixture, ThreeLooksWithoutATray) {
  ASSERT_FALSE(QtStatusBar::isTrayAvailable());
  const double outline = ink(renderStatusIcon(symbols["capslock"], false, 32));
  const double filled = ink(renderStatusIcon(symbols["capslock.fill"], false, 32));
  const double dimmed = ink(renderStatusIcon(symbols["capslock.fill"], true, 32));
  ASSERT_GT(outline, 0) << "the SVG icon engine is installed";
  EXPECT_GT(filled, outline * 1.3);
  EXPECT_LT(dimmed, filled * 0.8);
  EXPECT_GT(dimmed, 0);

  config.setEnabled(true);
  controller.showStatusItem();
  ASSERT_NE(bar.currentItem(), nullptr) << "an item all the same";
  auto look = [&] { return ink(bar.currentItem()->icon().pixmap(32, 32)); };
  EXPECT_DOUBLE_EQ(look(), dimmed);
  EXPECT_EQ(bar.currentItem()->trayIcon()->toolTip(), "Quorvelle");
  active = true;
  controller.updateIcon();
  EXPECT_DOUBLE_EQ(look(), filled);
  config.setEnabled(false);
  controller.updateIcon();
  EXPECT_DOUBLE_EQ(look(), outline);
}

TEST_F(QtStatusBarFixture, AnUnknownSymbolLeavesTheItemWithoutImageAndHidden) {
  QtStatusBar empty({});
  sim::SimWorkspace workspace;
  StatusItemController bare(empty, workspace, application, config, {}, {}, {}, {});
  bare.showStatusItem();
  ASSERT_NE(empty.currentItem(), nullptr);
  EXPECT_TRUE(empty.currentItem()->icon().isNull());
  EXPECT_FALSE(empty.currentItem()->trayIcon()->isVisible());
}

TEST_F(QtStatusBarFixture, MenuShowsLinuxTitlesAndCtrlShortcutsAndUpdatesWhenOpened) {
  config.setEnabled(true);
  controller.showStatusItem();
  EXPECT_THAT(openMenu(), ElementsAre("⚠︎ Grant Input Access...", "-", "[x] Enabled", "-", "Preferences... (Ctrl+,)",
                                      "-", "About...", "Check for Updates...", "-", "Quit Quorvelle (Ctrl+Q)"));
  bar.currentItem()->trayIcon()->contextMenu()->hide();
  active = true;
  EXPECT_THAT(openMenu(), ElementsAre("[x] Enabled", "-", "Preferences... (Ctrl+,)", "-", "About...",
                                      "Check for Updates...", "-", "Quit Quorvelle (Ctrl+Q)"))
      << "refreshed on opening, not only when the icon changes";
}

TEST_F(QtStatusBarFixture, ShortcutsWorkWhileTheMenuIsOpen) {
  controller.showStatusItem();
  openMenu();
  QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
  QTest::keyClick(menu, Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_EQ(settingsShown, 1);
  openMenu();
  QTest::keyClick(menu, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(application.terminations, 1);
}

TEST_F(QtStatusBarFixture, ChoosingEnabledTicksItAndHidingKeepsTheMenu) {
  config.setEnabled(false);
  controller.showStatusItem();
  QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
  ASSERT_EQ(openMenu().front(), "[ ] Enabled");
  menu->actions().at(2)->trigger();
  EXPECT_TRUE(config.enabled());
  EXPECT_EQ(defaults.values.at("enabled"), PropertyValue(true));

  controller.hideStatusItem();
  EXPECT_EQ(bar.currentItem(), nullptr);
  controller.showStatusItem();
  ASSERT_NE(bar.currentItem(), nullptr);
  EXPECT_EQ(bar.currentItem()->trayIcon()->contextMenu(), menu) << "the same menu";
  EXPECT_EQ(openMenu().front(), "⚠︎ Grant Input Access...");
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
