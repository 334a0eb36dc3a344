// The settings widget offscreen: rows, texts, spacing and padding under each
// condition, the boxes and buttons; pictures of the main states in
// build/screenshots. Real keys reach it in the recorder's X server test.
#include "ui/settings_widget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/qt_local_key_monitor.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

struct SettingsWidgetTest : testing::Test, testing_support::SettingsFixture {
  SettingsWidgetTest() { keyMonitor = &qtMonitor; }

  void show() {
    widget = std::make_unique<SettingsWidget>(open());
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get()));
  }
  // Lets queued changes reach the widget, which then takes the size it asks for.
  void settle() {
    loop.drain();
    QCoreApplication::processEvents();
    widget->resize(widget->sizeHint());
    QCoreApplication::processEvents();
  }
  QWidget* child(const char* name) { return widget->findChild<QWidget*>(name); }
  std::vector<QWidget*> shownRows() {
    std::vector<QWidget*> rows;
    for (int i = 0; i < widget->layout()->count(); ++i) {
      QWidget* row = widget->layout()->itemAt(i)->widget();
      if (row && row->isVisible()) rows.push_back(row);
    }
    return rows;
  }
  // Each row shown, top to bottom, as the texts it shows.
  std::vector<QStringList> rows() {
    std::vector<QStringList> rows;
    for (QWidget* row : shownRows()) {
      QStringList texts;
      for (QWidget* part : QList<QWidget*>{row} + row->findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(part); label && !label->text().isEmpty()) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(part)) texts << button->text();
      }
      rows.push_back(texts);
    }
    return rows;
  }
  // Rows 14 apart inside 20 of padding, and every label and button given the
  // room it asks for: nothing clipped, truncated or overlapping. Then a picture.
  void expectTidy(const char* picture) {
    settle();
    std::vector<QWidget*> rows = shownRows();
    EXPECT_GE(widget->width(), 420);
    EXPECT_EQ(rows.front()->geometry().topLeft(), QPoint(20, 20));
    EXPECT_EQ(widget->height() - rows.back()->geometry().bottom() - 1, 20) << "the size hint fits the column";
    for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i]->y() - rows[i - 1]->geometry().bottom() - 1, 14);
    for (QWidget* part : widget->findChildren<QWidget*>()) {
      if (!part->isVisible()) continue;
      std::string name = part->objectName().toStdString();
      EXPECT_TRUE(widget->rect().contains(QRect(part->mapTo(widget.get(), QPoint()), part->size()))) << name;
      auto* label = qobject_cast<QLabel*>(part);
      if (label && label->wordWrap()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
      } else if (label || qobject_cast<QAbstractButton*>(part)) {
        EXPECT_GE(part->width(), part->sizeHint().width()) << name;
      }
    }
    QDir().mkpath(QUORVELLE_SCREENSHOT_DIR);
    EXPECT_TRUE(widget->grab().save(QString(QUORVELLE_SCREENSHOT_DIR) + "/" + picture + ".png"));
  }

  QtLocalKeyMonitor qtMonitor;
  std::unique_ptr<SettingsWidget> widget;
};

TEST_F(SettingsWidgetTest, WithoutAccessTheWarningComesFirstAndAnswersReturn) {
  show();
  EXPECT_THAT(rows(), ElementsAre(QStringList{"Input access required",
                                              "Quorvelle rewrites keyboard events, which Linux only allows for "
                                              "programs with access to the keyboard devices. Grant access, then "
                                              "come back here.",
                                              "Grant Access…"},
                                  QStringList{"Caps Lock", "⌃⌥⌘", "Record Shortcut"},
                                  QStringList{"Enable Quorvelle"}, QStringList{"Launch at login"},
                                  QStringList{"Check for updates automatically", "Check Now"},
                                  QStringList{"Hide menu bar icon"}));
  expectTidy("settings-warning");
  child("enabled")->setFocus();
  QTest::keyClick(widget.get(), Qt::Key_Return);
  EXPECT_EQ(workspace.openedURLs.size(), 1u);

  trust.trusted = true;
  loop.advance(1);
  settle();
  EXPECT_EQ(rows().front(), (QStringList{"Caps Lock", "⌃⌥⌘", "Record Shortcut"}));
  QTest::keyClick(widget.get(), Qt::Key_Return);
  EXPECT_EQ(workspace.openedURLs.size(), 1u) << "no warning, no default button";
  QTest::mouseClick(child("recordButton"), Qt::LeftButton);
  EXPECT_EQ(rows().front(), (QStringList{"Caps Lock", "Hold Modifiers", "Cancel"}));
  expectTidy("settings-recording");
}

TEST_F(SettingsWidgetTest, AHiddenIconShowsTheCommandRowAndTheBoxesWriteThrough) {
  trust.trusted = true;
  loginItems.registerError = "denied";
  config.setHideMenuBarIcon(true);
  show();
  EXPECT_EQ(rows().back(), (QStringList{"To reopen this window, open Quorvelle again from your applications menu.",
                                        "Install “quorvelle” Command…"}));
  QTest::mouseClick(child("commandButton"), Qt::LeftButton);
  EXPECT_EQ(files.destinationOfSymbolicLink(userBin + "/quorvelle"), helper);
  EXPECT_EQ(rows().back(), (QStringList{"To reopen this window, run “quorvelle” in a terminal or open Quorvelle "
                                        "again from your applications menu.",
                                        "Remove “quorvelle” Command"}));
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: installed CLI at " + userBin + "/quorvelle"));
  expectTidy("settings-hidden-icon-command-installed");
  std::filesystem::copy_file(helper, systemBin + "/quorvelle");
  QTest::mouseClick(child("commandButton"), Qt::LeftButton);
  EXPECT_FALSE(std::filesystem::is_symlink(userBin + "/quorvelle"));
  EXPECT_EQ(rows().back().last(), "Remove “quorvelle” Command") << "a regular file of that name survives and counts";

  static_cast<QCheckBox*>(child("launchAtLogin"))->click();
  EXPECT_FALSE(static_cast<QCheckBox*>(child("launchAtLogin"))->isChecked()) << "refused, so back off";
  static_cast<QCheckBox*>(child("hideMenuBarIcon"))->click();
  EXPECT_FALSE(config.hideMenuBarIcon());
  settle();
  EXPECT_EQ(rows().back(), QStringList{"Hide menu bar icon"});
}

}  // namespace
}  // namespace quorvelle
