// The small widgets offscreen: the About widget (its rows, the version
// fallback, a year that no locale groups), modal alerts answered from inside
// their loop, and the tray symbols light for dark panels and dark for light
// ones, drawn even where no tray exists. The tray item's looks and menu as
// the application drives them are tested with the application delegate.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "ui/about_widget.h"
#include "ui/qt_alerts.h"
#include "ui/qt_status_bar.h"
#include "ui/status_icon.h"
#include "ui/tray_symbols.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

QString text(const AboutWidget& widget, const char* name) { return widget.findChild<QLabel*>(name)->text(); }

TEST(AboutWidget, IconNameVersionAndAnUngroupedYear) {
  sim::SimBundles bundles;
  AboutView noVersion(bundles);
  QLocale::setDefault(QLocale(QLocale::German));  // groups thousands: 2.026
  AboutWidget fallback(noVersion);
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(text(fallback, "aboutVersion"), "Version —");
  EXPECT_EQ(text(fallback, "aboutCopyright"),
            "© " + QString::number(AboutView::currentYear()) + " The Quorvelle developers");
  EXPECT_EQ(AboutWidget::localizedYear(2026, QLocale(QLocale::English, QLocale::UnitedStates)), "2026");

  bundles.infos[bundles.mainPath] = {{"CFBundleShortVersionString", std::string("1.2.0")}};
  AboutView view(bundles);
  AboutWidget widget(view);
  widget.adjustSize();
  EXPECT_EQ(widget.width(), 300);
  EXPECT_EQ(text(widget, "aboutName") + " " + text(widget, "aboutVersion"), "Quorvelle Version 1.2.0");
  QImage icon = widget.findChild<QLabel*>("aboutIcon")->pixmap().toImage();
  EXPECT_EQ(icon.size(), QSize(128, 128));
  EXPECT_GT(qAlpha(icon.pixel(64, 64)), 0) << "the SVG icon rendered";
  QDir().mkpath(QUORVELLE_SCREENSHOT_DIR);
  EXPECT_TRUE(widget.grab().save(QString(QUORVELLE_SCREENSHOT_DIR) + "/about.png"));
}

AlertResponse answer(const Alert& alert, std::function<void(QMessageBox&)> act) {
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box) act(*box);
    else ADD_FAILURE() << "no alert is up";
  });
  return QtAlerts().runModal(alert);
}

TEST(QtAlerts, ButtonsDefaultEscapeAndSuppression) {
  Alert failure{"Couldn’t install the quorvelle command", "Because.", {}, false, ""};
  AlertResponse ok = answer(failure, [](QMessageBox& box) {
    EXPECT_EQ(box.text() + "|" + box.informativeText(), QString("Couldn’t install the quorvelle command|Because."));
    EXPECT_EQ(box.buttons().size() == 1 ? box.buttons()[0]->text() : "several", "OK");
    QTest::keyClick(&box, Qt::Key_Escape);
  });
  EXPECT_EQ(ok.button, kAlertFirstButtonReturn) << "a lone OK answers Escape";

  Alert offer{"Move?", "", {"Move", "Do Not Move", "Cancel"}, true, "Don’t ask again"};
  AlertResponse second = answer(offer, [](QMessageBox& box) {
    EXPECT_EQ(box.defaultButton()->text(), "Move");
    EXPECT_EQ(box.checkBox()->text(), QString("Don’t ask again"));
    box.checkBox()->setChecked(true);
    for (QAbstractButton* button : box.buttons()) {
      if (button->text() == "Do Not Move") button->click();
    }
  });
  EXPECT_EQ(second.button, kAlertFirstButtonReturn + 1);
  EXPECT_TRUE(second.suppressionChecked);
  auto key = [](Qt::Key key) { return [key](QMessageBox& box) { QTest::keyClick(&box, key); }; };
  EXPECT_EQ(answer(offer, key(Qt::Key_Escape)).button, kAlertFirstButtonReturn + 2) << "Cancel answers Escape";
  EXPECT_EQ(answer(offer, key(Qt::Key_Return)).button, kAlertFirstButtonReturn);

  // The application quits while the offer is up: no button was chosen, so
  // the answer is none of them, not the default "Move".
  Alert twoButtons{"Move?", "", {"Move", "Not Now"}, false, ""};
  EXPECT_EQ(answer(twoButtons, [](QMessageBox&) { QCoreApplication::exit(0); }).button,
            kAlertFirstButtonReturn + 2);
}

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
