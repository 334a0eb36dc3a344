#pragma once

#include <QWidget>
#include <map>
#include <vector>

#include "config/published.h"
#include "settings/settings_view.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QShortcut;

namespace quorvelle {

class ShortcutBox;

// Renders the settings content: one column of rows at the top of whatever
// space the window gives, at least 420 wide. Its size hint is the height the
// column needs at its width, so a window can fit itself to it.
class SettingsWidget : public QWidget {
 public:
  explicit SettingsWidget(SettingsView& view, QWidget* parent = nullptr);
  ~SettingsWidget() override;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The widget that renders a row.
  QWidget* rowWidget(SettingsRow row) const { return rows_.at(row); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void refresh();
  int neededHeight(int width) const;
  QCheckBox* addCheckBox(SettingsRow row, const char* objectName, const char* text);
  void addUpdatesRow();
  void addCommandRow();
  void claimReturnKeys();

  SettingsView& view_;
  std::map<SettingsRow, QWidget*> rows_;
  ShortcutBox* shortcut_;
  QCheckBox* enabled_;
  QCheckBox* launchAtLogin_;
  QCheckBox* checkAutomatically_;
  QCheckBox* hideMenuBarIcon_;
  QLabel* commandNote_;
  QPushButton* commandButton_;
  std::vector<QShortcut*> returnKeys_;
  bool appeared_ = false;
  Cancellable observation_;
};

}  // namespace quorvelle
