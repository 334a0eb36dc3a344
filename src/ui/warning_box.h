#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace quorvelle {

class SettingsView;

// The box that tells the user the input access is missing and leads to it.
class WarningBox : public QGroupBox {
 public:
  WarningBox(SettingsView& view, QWidget* parent);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void paintSymbol();

  QLabel* symbol_;
  QLabel* title_;
  QLabel* explanation_;
  QPushButton* openSettings_;
};

}  // namespace quorvelle
