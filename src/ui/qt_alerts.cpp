#include "ui/qt_alerts.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "ui/linux_texts.h"
#include "ui/symbol_icons.h"

namespace quorvelle {

AlertResponse QtAlerts::runModal(const Alert& alert) {
  QMessageBox box;
  box.setText(linuxText(alert.messageText));
  box.setInformativeText(linuxText(alert.informativeText));
  box.setIconPixmap(applicationIcon().pixmap(64, 64));

  std::vector<std::string> titles = alert.buttons;
  if (titles.empty()) titles.push_back("OK");
  std::vector<QPushButton*> buttons;
  QPushButton* escape = nullptr;
  for (size_t i = 0; i < titles.size(); ++i) {
    bool cancel = titles[i] == "Cancel";
    QMessageBox::ButtonRole role =
        i == 0 ? QMessageBox::AcceptRole : (cancel ? QMessageBox::RejectRole : QMessageBox::ActionRole);
    QPushButton* button = box.addButton(linuxText(titles[i]), role);
    buttons.push_back(button);
    if (cancel) escape = button;
  }
  box.setDefaultButton(buttons.front());
  // A lone button also answers Escape, as an OK does.
  if (!escape && buttons.size() == 1) escape = buttons.front();
  box.setEscapeButton(escape);

  QCheckBox* suppression = nullptr;
  if (alert.showsSuppressionButton) {
    QString title = alert.suppressionButtonTitle.empty() ? QStringLiteral("Do not show this message again")
                                                          : linuxText(alert.suppressionButtonTitle);
    suppression = new QCheckBox(title);
    box.setCheckBox(suppression);
  }

  box.exec();
  AlertResponse response;
  QAbstractButton* clicked = box.clickedButton();
  if (!clicked) clicked = escape;
  // Ended without an answer (the application quitting under it): none of
  // the buttons, least of all the default one.
  response.button = kAlertFirstButtonReturn + static_cast<int>(buttons.size());
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == clicked) response.button = kAlertFirstButtonReturn + static_cast<int>(i);
  }
  response.suppressionChecked = suppression && suppression->isChecked();
  return response;
}

}  // namespace quorvelle
