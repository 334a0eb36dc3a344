// Modal alerts as message boxes, answered from inside the modal loop.
#include "ui/qt_alerts.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

// Runs the alert; the action answers it once it is up.
AlertResponse answer(const Alert& alert, std::function<void(QMessageBox&)> act) {
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      ADD_FAILURE() << "no alert is up";
      return;
    }
    act(*box);
  });
  return QtAlerts().runModal(alert);
}

TEST(QtAlerts, NoButtonsGiveOneOkThatEscapeAlsoAnswers) {
  Alert alert;
  alert.messageText = "Couldn’t install the quorvelle command";
  alert.informativeText = "The quorvelle helper is missing from this copy of Quorvelle.";
  AlertResponse response = answer(alert, [](QMessageBox& box) {
    EXPECT_EQ(box.text(), QString::fromUtf8("Couldn’t install the quorvelle command"));
    EXPECT_EQ(box.informativeText(), "The quorvelle helper is missing from this copy of Quorvelle.");
    ASSERT_EQ(box.buttons().size(), 1);
    EXPECT_EQ(box.buttons()[0]->text(), "OK");
    EXPECT_EQ(box.checkBox(), nullptr);
    QTest::keyClick(&box, Qt::Key_Escape);
  });
  EXPECT_EQ(response.button, kAlertFirstButtonReturn);
  EXPECT_FALSE(response.suppressionChecked);
}

TEST(QtAlerts, ButtonsInOrderFirstIsDefaultCancelAnswersEscapeSuppressionIsReported) {
  Alert alert;
  alert.messageText = "Move to Applications folder?";
  alert.buttons = {"Move to Applications Folder", "Do Not Move", "Cancel"};
  alert.showsSuppressionButton = true;
  alert.suppressionButtonTitle = "Don’t ask again";
  AlertResponse second = answer(alert, [](QMessageBox& box) {
    ASSERT_NE(box.checkBox(), nullptr);
    EXPECT_EQ(box.checkBox()->text(), QString::fromUtf8("Don’t ask again"));
    EXPECT_EQ(box.defaultButton()->text(), "Move to Applications Folder");
    box.checkBox()->setChecked(true);
    for (QAbstractButton* button : box.buttons()) {
      if (button->text() == "Do Not Move") button->click();
    }
  });
  EXPECT_EQ(second.button, kAlertFirstButtonReturn + 1);
  EXPECT_TRUE(second.suppressionChecked);

  AlertResponse escaped = answer(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
  EXPECT_EQ(escaped.button, kAlertFirstButtonReturn + 2);
  EXPECT_FALSE(escaped.suppressionChecked);
  AlertResponse returned = answer(alert, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
  EXPECT_EQ(returned.button, kAlertFirstButtonReturn);
}

}  // namespace
}  // namespace quorvelle
