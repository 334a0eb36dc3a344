// The settings widget offscreen: rows, texts, spacing and padding under each
// condition; the checkboxes and buttons reaching the model; the recorder fed
// with key events built as xcb builds them; pictures of the main states.
#include "ui/settings_widget.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/key_events.h"
#include "ui/qt_local_key_monitor.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::Pair;
using testing_support::XcbLikeKeyboard;

struct SettingsWidgetTest : testing::Test, testing_support::SettingsFixture {
  SettingsWidgetTest() { keyMonitor = &qtMonitor; }

  // A widget over a new content, shown and active at the size it asks for.
  SettingsWidget& show() {
    widget = std::make_unique<SettingsWidget>(open());
    widget->resize(widget->sizeHint());
    widget->show();
    widget->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(widget.get()));
    return *widget;
  }
  // Lets queued changes reach the widget and its layout settle.
  void settle() {
    loop.drain();
    QCoreApplication::processEvents();
    widget->resize(widget->sizeHint());
    QCoreApplication::processEvents();
  }
  template <typename T>
  T* find(const char* name) const {
    T* child = widget->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QString text(const char* name) const {
    QObject* child = widget->findChild<QObject*>(name);
    if (auto* label = qobject_cast<QLabel*>(child)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(child)) return button->text();
    return "<missing " + QString(name) + ">";
  }
  // The visible rows top to bottom, each with its texts.
  std::vector<std::pair<std::string, std::vector<QString>>> rows() const {
    static const std::map<std::string, std::vector<const char*>> kTexts = {
        {"accessibilityWarning", {"warningTitle", "warningExplanation", "openSystemSettings"}},
        {"hyperShortcut", {"capsLockLabel", "shortcutText", "recordButton"}},
        {"enabled", {"enabled"}},
        {"launchAtLogin", {"launchAtLogin"}},
        {"updates", {"checkAutomatically", "checkNow"}},
        {"hideMenuBarIcon", {"hideMenuBarIcon"}},
        {"command", {"commandNote", "commandButton"}}};
    std::vector<std::pair<std::string, std::vector<QString>>> rows;
    for (int i = 0; i < widget->layout()->count(); ++i) {
      QWidget* row = widget->layout()->itemAt(i)->widget();
      if (!row || !row->isVisible()) continue;
      std::vector<QString> texts;
      for (const char* name : kTexts.at(row->objectName().toStdString())) texts.push_back(text(name));
      rows.emplace_back(row->objectName().toStdString(), texts);
    }
    return rows;
  }
  void click(const char* name) {
    auto* box = find<QCheckBox>(name);
    QStyleOptionButton option;
    option.initFrom(box);
    QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
  }
  // Rows 14 apart inside 20 of padding, at least 420 wide, and every label
  // and button given the room it asks for: nothing clipped or overlapping.
  void expectTidyLayout() {
    std::vector<QWidget*> shown;
    for (int i = 0; i < widget->layout()->count(); ++i) {
      QWidget* row = widget->layout()->itemAt(i)->widget();
      if (row && row->isVisible()) shown.push_back(row);
    }
    ASSERT_FALSE(shown.empty());
    EXPECT_GE(widget->width(), 420);
    EXPECT_EQ(shown.front()->y(), 20);
    EXPECT_EQ(widget->height() - shown.back()->geometry().bottom() - 1, 20) << "the size hint fits the column";
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i]->x(), 20) << shown[i]->objectName().toStdString();
      EXPECT_LE(shown[i]->geometry().right() + 1, widget->width() - 20);
      if (i > 0) {
        EXPECT_EQ(shown[i]->y() - shown[i - 1]->geometry().bottom() - 1, 14);
      }
    }
    for (QWidget* child : widget->findChildren<QWidget*>()) {
      if (!child->isVisible()) continue;
      std::string name = child->objectName().toStdString() + " " + child->metaObject()->className();
      QRect inWindow(child->mapTo(widget.get(), QPoint(0, 0)), child->size());
      EXPECT_TRUE(widget->rect().contains(inWindow)) << name;
      auto* label = qobject_cast<QLabel*>(child);
      if (label && label->wordWrap()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
      } else if (label || qobject_cast<QAbstractButton*>(child)) {
        EXPECT_GE(child->width(), child->sizeHint().width()) << name;
        EXPECT_GE(child->height(), child->sizeHint().height()) << name;
      }
    }
  }
  void saveScreenshot(const char* name) {
    QCoreApplication::processEvents();  // let the layout follow changed texts
    QDir().mkpath(QUORVELLE_SCREENSHOT_DIR);
    EXPECT_TRUE(widget->grab().save(QString(QUORVELLE_SCREENSHOT_DIR) + "/" + name + ".png"));
  }

  QtLocalKeyMonitor qtMonitor;
  std::unique_ptr<SettingsWidget> widget;
  XcbLikeKeyboard keyboard;
};

TEST_F(SettingsWidgetTest, WarningShownWithoutAccessAndNoCommandRowWhileTheIconShows) {
  show();
  EXPECT_THAT(rows(),
              ElementsAre(Pair("accessibilityWarning",
                               ElementsAre("Input access required",
                                           "Quorvelle rewrites keyboard events, which Linux only allows for programs "
                                           "with access to the keyboard devices. Grant access, then come back here.",
                                           "Grant Access…")),
                          Pair("hyperShortcut", ElementsAre("Caps Lock", "⌃⌥⌘", "Record Shortcut")),
                          Pair("enabled", ElementsAre("Enable Quorvelle")),
                          Pair("launchAtLogin", ElementsAre("Launch at login")),
                          Pair("updates", ElementsAre("Check for updates automatically", "Check Now")),
                          Pair("hideMenuBarIcon", ElementsAre("Hide menu bar icon"))));
  expectTidyLayout();
  saveScreenshot("settings-warning");

  // Return answers the warning's button, wherever the focus is.
  find<QCheckBox>("enabled")->setFocus();
  QTest::keyClick(widget.get(), Qt::Key_Return);
  EXPECT_EQ(workspace.openedURLs.size(), 1u);

  trust.trusted = true;
  loop.advance(1);
  settle();
  EXPECT_EQ(rows().front().first, "hyperShortcut");
  expectTidyLayout();
  QTest::keyClick(widget.get(), Qt::Key_Return);
  EXPECT_EQ(workspace.openedURLs.size(), 1u) << "no warning, no default button";
}

TEST_F(SettingsWidgetTest, HiddenIconShowsTheCommandRowWithItsInstalledTexts) {
  trust.trusted = true;
  config.setHideMenuBarIcon(true);
  show();
  EXPECT_THAT(rows().back(),
              Pair("command", ElementsAre("To reopen this window, open Quorvelle again from your applications menu.",
                                          "Install “quorvelle” Command…")));
  QTest::mouseClick(find<QPushButton>("commandButton"), Qt::LeftButton);
  settle();
  EXPECT_THAT(rows().back(), Pair("command", ElementsAre("To reopen this window, run “quorvelle” in a terminal or "
                                                         "open Quorvelle again from your applications menu.",
                                                         "Remove “quorvelle” Command")));
  EXPECT_EQ(files.destinationOfSymbolicLink(userBin + "/quorvelle"), helper());
  expectTidyLayout();
  saveScreenshot("settings-hidden-icon-command-installed");

  click("hideMenuBarIcon");
  EXPECT_FALSE(config.hideMenuBarIcon());
  settle();
  EXPECT_EQ(rows().back().first, "hideMenuBarIcon");
}

TEST_F(SettingsWidgetTest, CheckboxesWriteThroughAndARefusedLoginItemTurnsBack) {
  trust.trusted = true;
  loginItems.registerError = "denied";
  show();
  click("enabled");
  EXPECT_FALSE(config.enabled());
  click("checkAutomatically");
  EXPECT_FALSE(updater.created->automatic);
  click("launchAtLogin");
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister"));
  EXPECT_FALSE(find<QCheckBox>("launchAtLogin")->isChecked());
  QTest::mouseClick(find<QPushButton>("checkNow"), Qt::LeftButton);
  EXPECT_EQ(updater.created->userChecks, 1);
  settle();
  EXPECT_FALSE(find<QCheckBox>("enabled")->isChecked());
  EXPECT_FALSE(find<QCheckBox>("checkAutomatically")->isChecked());
}

TEST_F(SettingsWidgetTest, RecordingTakesEveryModifierHeldDuringOnePress) {
  show();
  auto* record = find<QPushButton>("recordButton");
  QTest::mouseClick(record, Qt::LeftButton);
  EXPECT_EQ(text("shortcutText"), "Hold Modifiers");
  EXPECT_EQ(record->text(), "Cancel");

  // Left and right Control together: Qt's own state reads empty after the
  // left one goes up, while the right one is still held.
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kCtrlLeft));
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kShiftLeft));
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kCtrlRight));
  EXPECT_TRUE(keyboard.release(XcbLikeKeyboard::kCtrlLeft));
  EXPECT_TRUE(keyboard.release(XcbLikeKeyboard::kShiftLeft));
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kReturn)) << "consumed, not the default button";
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kTab));
  EXPECT_TRUE(keyboard.press(XcbLikeKeyboard::kSuperLeft));
  EXPECT_EQ(text("shortcutText"), "⌃⇧⌘");
  EXPECT_EQ(config.modifiers(), kDefaultHyperFlags) << "nothing stored while a key is held";
  keyboard.release(XcbLikeKeyboard::kSuperLeft);
  keyboard.release(XcbLikeKeyboard::kCtrlRight);
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kCommandFlag);
  EXPECT_TRUE(workspace.openedURLs.empty());
  EXPECT_EQ(record->text(), "Record Shortcut");
  settle();
  EXPECT_EQ(text("shortcutText"), "⌃⇧⌘");

  // Escape cancels with a modifier held; afterwards keys reach the window again.
  QTest::mouseClick(record, Qt::LeftButton);
  keyboard.press(XcbLikeKeyboard::kAltLeft);
  EXPECT_EQ(text("shortcutText"), "⌥");
  saveScreenshot("settings-recording");
  keyboard.press(XcbLikeKeyboard::kEscape);
  keyboard.release(XcbLikeKeyboard::kAltLeft);
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kCommandFlag);
  EXPECT_FALSE(keyboard.press(XcbLikeKeyboard::kA)) << "no longer consumed";

  // Hiding the content ends a recording.
  QTest::mouseClick(record, Qt::LeftButton);
  widget->hide();
  EXPECT_EQ(record->text(), "Record Shortcut");
  EXPECT_FALSE(views.back()->isRecording());
}

}  // namespace
}  // namespace quorvelle
