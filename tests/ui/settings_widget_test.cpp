// The settings widget on an X server of the test's own: rows, texts, spacing
// and padding under each condition, the boxes and buttons, with pictures of
// the main states in build/screenshots; and real keys pressed with xdotool:
// the shortcut recorder takes every key while it records and stores the
// modifiers the user holds, not those the engine pressed.
#include <linux/input.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/settings_widget.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

// Keys go by raw X keycode (a keysym name would press the left key): Control
// 37 and 105, Shift 50, Super 133, Alt 64, Return 36, Tab 23, A 38, W 25.
// Escape goes by name, as a one-digit number reads as a keysym.
bool xdotool(const QString& keys) { return QProcess::execute("xdotool", keys.split(' ')) == 0; }

struct SettingsWidgetTest : testing::Test, testing_support::SettingsFixture {
  SettingsWidgetTest() { keyMonitor = &qtMonitor; }

  void show() {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    widget = std::make_unique<SettingsWidget>(open());
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get(), 10000));
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

  std::set<std::uint16_t> pressedByEngine;  // Linux key codes
  QtLocalKeyMonitor qtMonitor{[this](std::uint16_t code) { return pressedByEngine.count(code) > 0; }};
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

TEST_F(SettingsWidgetTest, RecordingTakesEveryKeyAndStoresTheModifiersHeld) {
  show();
  SettingsView& view = *views.back();
  int closed = 0;
  QShortcut close(QKeySequence("Ctrl+Shift+W"), widget.get());
  QObject::connect(&close, &QShortcut::activated, [&] { ++closed; });
  int seen = 0;  // Qt hands a key passed on to the parents too: seen once all the same
  auto passing = qtMonitor.addMonitor(kKeyDownAndFlagsChangedMask, [&](const KeyEvent&) { return ++seen > 0; });
  ASSERT_TRUE(xdotool("key 38"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen > 0; }));
  QTest::qWait(50);
  EXPECT_EQ(seen, 1);
  qtMonitor.removeMonitor(passing.value());
  auto* record = widget->findChild<QPushButton*>("recordButton");
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(view.isRecording());
  // Left Control goes up while the right one is held: Qt's own modifier state
  // then reads no Control at all, and the recording must go on. Return (the
  // warning's button), Tab and a shortcut are taken by the recorder too. Alt
  // pressed with Shift held is Meta_L in X's usual keymap: still Alt (Option).
  ASSERT_TRUE(xdotool("keydown 37 keydown 105 keyup 37 keydown 50 key 36 key 23 key 25 keydown 64 keydown 133 "
                      "keyup 133 keyup 64 keyup 50 keyup 105"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag);
  EXPECT_EQ(defaults.values.at("modifierFlags"), PropertyValue(std::uint64_t{0x1E0000}));
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(workspace.openedURLs.empty());
  EXPECT_EQ(QApplication::focusWidget(), record) << "Tab moved nothing";

  view.toggleRecording();
  ASSERT_TRUE(xdotool("keydown 64 key Escape keyup 64"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag) << "Escape cancels";
  ASSERT_TRUE(xdotool("keydown 37 keydown 50 key 25 keyup 50 keyup 37"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return closed == 1; })) << "keys reach the window again";

  // Control the engine pressed (Caps Lock is held) is not the user's, until
  // the engine hands it over while it is held.
  pressedByEngine = {KEY_LEFTCTRL};
  view.toggleRecording();
  ASSERT_TRUE(xdotool("keydown 37 keydown 50 keyup 50"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kShiftFlag);
  pressedByEngine.clear();
  view.toggleRecording();
  ASSERT_TRUE(xdotool("keydown 50 keyup 50 keyup 37"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag);

  view.toggleRecording();
  widget->hide();
  EXPECT_FALSE(view.isRecording()) << "hiding the content ends a recording";
}

}  // namespace
}  // namespace quorvelle
