#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace quorvelle {

class SettingsView;

// The hyper shortcut row: Caps Lock, an arrow, the modifiers it adds, and the
// button that records a new set.
class ShortcutBox : public QGroupBox {
 public:
  ShortcutBox(SettingsView& view, QWidget* parent);
  void refresh();

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void paintSymbols();

  SettingsView& view_;
  QLabel* capsLockSymbol_;
  QLabel* capsLock_;
  QLabel* arrow_;
  QLabel* shortcut_;
  QPushButton* record_;
};

}  // namespace quorvelle
