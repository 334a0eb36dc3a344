// The tray symbols as the application draws them, light for dark panels and
// dark for light ones, and the item drawn without its symbols. Offscreen,
// where no tray exists, which must stop nothing. The item's looks and menu
// as the application drives them are tested with the application delegate.
#include <QApplication>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include "ui/qt_status_bar.h"
#include "ui/status_icon.h"
#include "ui/tray_symbols.h"

namespace quorvelle {
namespace {

// How much paint the picture carries, 0 for an empty one.
double paint(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage();
  double alpha = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) alpha += image.pixelColor(x, y).alphaF();
  return alpha;
}

TEST(TraySymbols, LightOnDarkPanelsTheDimmedLookFainterAndDrawnWhenMissing) {
  QPalette light(Qt::black, Qt::white), dark(Qt::white, QColor(0x20, 0x20, 0x20));
  EXPECT_EQ(trayForeground(light, "KDE"), QColor(Qt::black)) << "the scheme's own text colour";
  EXPECT_GT(trayForeground(light, "ubuntu:GNOME").lightness(), 200) << "a dark panel whatever the scheme";
  EXPECT_GT(trayForeground(dark, "KDE").lightness(), 200);
  for (const QColor& foreground : {QColor(Qt::black), trayForeground(dark, "KDE")}) {
    const auto symbols = traySymbols(foreground);
    const double filled = paint(renderStatusIcon(symbols.at("capslock.fill"), false, 22));
    ASSERT_GT(paint(renderStatusIcon(symbols.at("capslock"), false, 22)), 0) << "the symbols ship";
    EXPECT_GT(filled, paint(renderStatusIcon(symbols.at("capslock"), false, 22)) * 1.3);
    EXPECT_LT(paint(renderStatusIcon(symbols.at("capslock.fill"), true, 22)), filled * 0.6)
        << foreground.name().toStdString();
  }

  ASSERT_FALSE(QtStatusBar::isTrayAvailable());
  QtStatusBar bare({{"capslock", QIcon()}}, Qt::black);
  EXPECT_GT(paint(bare.symbol("capslock").pixmap(22)), 0) << "drawn here, so the item and its menu stay in reach";
  EXPECT_GT(paint(bare.symbol("capslock.fill").pixmap(22)), 0);
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
