// The About widget: its rows, the version fallback, and a year that no
// locale groups.
#include "ui/about_widget.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLocale>

#include <gtest/gtest.h>

#include "sim/sim_services.h"

namespace quorvelle {
namespace {

struct AboutWidgetTest : testing::Test {
  ~AboutWidgetTest() override { QLocale::setDefault(QLocale::c()); }
  QString text(const AboutWidget& widget, const char* name) {
    auto* label = widget.findChild<QLabel*>(name);
    return label ? label->text() : QString("<missing>");
  }
  sim::SimBundles bundles;
};

TEST_F(AboutWidgetTest, ShowsIconNameVersionAndYear) {
  bundles.infos[bundles.mainPath] = {{"CFBundleShortVersionString", std::string("1.2.0")}};
  AboutView view(bundles);
  AboutWidget widget(view);
  widget.adjustSize();
  EXPECT_EQ(widget.width(), 300);
  EXPECT_EQ(text(widget, "aboutName"), "Quorvelle");
  EXPECT_EQ(text(widget, "aboutVersion"), "Version 1.2.0");
  EXPECT_EQ(text(widget, "aboutCopyright"),
            "© " + QString::number(AboutView::currentYear()) + " The Quorvelle developers");
  auto* icon = widget.findChild<QLabel*>("aboutIcon");
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->size(), QSize(128, 128));
  QImage picture = icon->pixmap().toImage();
  ASSERT_FALSE(picture.isNull());
  EXPECT_GT(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 0) << "the SVG icon rendered";

  QDir().mkpath(QUORVELLE_SCREENSHOT_DIR);
  EXPECT_TRUE(widget.grab().save(QString(QUORVELLE_SCREENSHOT_DIR) + "/about.png"));
}

TEST_F(AboutWidgetTest, VersionFallbackAndAYearNoLocaleGroups) {
  for (QLocale locale : {QLocale(QLocale::German), QLocale(QLocale::English, QLocale::UnitedStates)}) {
    ASSERT_NE(locale.toString(2026), "2026") << "the locale groups thousands";
    EXPECT_EQ(AboutWidget::localizedYear(2026, locale), "2026");
  }
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  AboutView view(bundles);
  AboutWidget widget(view);
  EXPECT_EQ(text(widget, "aboutVersion"), "Version —");
  EXPECT_TRUE(text(widget, "aboutCopyright").contains(" " + QString::number(AboutView::currentYear()) + " "));
}

}  // namespace
}  // namespace quorvelle
