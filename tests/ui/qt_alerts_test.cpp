// Modal alerts as message boxes, answered from inside their modal loop.
#include "ui/qt_alerts.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

AlertResponse answer(const Alert& alert, std::function<void(QMessageBox&)> act) {
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box) act(*box);
    else ADD_FAILURE() << "no alert is up";
  });
  return QtAlerts().runModal(alert);
}

TEST(QtAlerts, ButtonsDefaultEscapeAndSuppression) {
  Alert failure;
  failure.messageText = "Couldn’t install the quorvelle command";
  failure.informativeText = "Because.";
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

}  // namespace
}  // namespace quorvelle
