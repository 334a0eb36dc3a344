// The About widget: its rows, the version fallback, and a year that no
// locale groups.
#include "ui/about_widget.h"

#include <QDir>
#include <QLabel>
#include <QLocale>

#include <gtest/gtest.h>

#include "sim/sim_services.h"

namespace quorvelle {
namespace {

QString text(const AboutWidget& widget, const char* name) { return widget.findChild<QLabel*>(name)->text(); }

TEST(AboutWidget, IconNameVersionAndAnUngroupedYear) {
  for (QLocale locale : {QLocale(QLocale::German), QLocale(QLocale::English, QLocale::UnitedStates)}) {
    ASSERT_NE(locale.toString(2026), "2026") << "the locale groups thousands";
    EXPECT_EQ(AboutWidget::localizedYear(2026, locale), "2026");
  }
  QLocale::setDefault(QLocale(QLocale::German));
  sim::SimBundles bundles;
  AboutView noVersion(bundles);
  AboutWidget fallback(noVersion);
  EXPECT_EQ(text(fallback, "aboutVersion"), "Version —");
  EXPECT_EQ(text(fallback, "aboutCopyright"),
            "© " + QString::number(AboutView::currentYear()) + " The Quorvelle developers");
  QLocale::setDefault(QLocale::c());

  bundles.infos[bundles.mainPath] = {{"CFBundleShortVersionString", std::string("1.2.0")}};
  AboutView view(bundles);
  AboutWidget widget(view);
  widget.adjustSize();
  EXPECT_EQ(widget.width(), 300);
  EXPECT_EQ(text(widget, "aboutName"), "Quorvelle");
  EXPECT_EQ(text(widget, "aboutVersion"), "Version 1.2.0");
  QImage icon = widget.findChild<QLabel*>("aboutIcon")->pixmap().toImage();
  EXPECT_EQ(icon.size(), QSize(128, 128));
  EXPECT_GT(qAlpha(icon.pixel(64, 64)), 0) << "the SVG icon rendered";
  QDir().mkpath(QUORVELLE_SCREENSHOT_DIR);
  EXPECT_TRUE(widget.grab().save(QString(QUORVELLE_SCREENSHOT_DIR) + "/about.png"));
}

}  // namespace
}  // namespace quorvelle
