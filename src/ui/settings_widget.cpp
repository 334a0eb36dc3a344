#include "ui/settings_widget.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/settings_layout.h"
#include "settings/settings_texts.h"
#include "ui/linux_texts.h"
#include "ui/shortcut_box.h"
#include "ui/text_styles.h"
#include "ui/warning_box.h"

namespace quorvelle {

namespace layout = settings_layout;
namespace texts = settings_texts;

SettingsWidget::SettingsWidget(SettingsView& view, QWidget* parent) : QWidget(parent), view_(view) {
  setObjectName("settings");
  setMinimumWidth(layout::kMinimumWidth);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(layout::kPadding, layout::kPadding, layout::kPadding, layout::kPadding);
  column->setSpacing(layout::kRowSpacing);

  rows_[SettingsRow::AccessibilityWarning] = new WarningBox(view_, this);
  shortcut_ = new ShortcutBox(view_, this);
  rows_[SettingsRow::HyperShortcut] = shortcut_;
  column->addWidget(rows_[SettingsRow::AccessibilityWarning]);
  column->addWidget(shortcut_);

  enabled_ = addCheckBox(SettingsRow::Enabled, "enabled", texts::kEnable);
  connect(enabled_, &QCheckBox::clicked, this, [this](bool on) { view_.setEnabled(on); });
  launchAtLogin_ = addCheckBox(SettingsRow::LaunchAtLogin, "launchAtLogin", texts::kLaunchAtLogin);
  connect(launchAtLogin_, &QCheckBox::clicked, this, [this](bool on) { view_.setLaunchAtLoginChecked(on); });

  addUpdatesRow();

  hideMenuBarIcon_ = addCheckBox(SettingsRow::HideMenuBarIcon, "hideMenuBarIcon", texts::kHideMenuBarIcon);
  connect(hideMenuBarIcon_, &QCheckBox::clicked, this, [this](bool on) { view_.setHideMenuBarIcon(on); });

  addCommandRow();
  // The column stays at the top; any extra height stays empty below it.
  column->addStretch(1);

  claimReturnKeys();

  observation_ = view_.observe([this] { refresh(); });
  refresh();
}

SettingsWidget::~SettingsWidget() {
  observation_.cancel();
  if (appeared_) view_.contentDisappeared();
}

// Automatic checks and the button that checks now, on one line.
void SettingsWidget::addUpdatesRow() {
  auto* updates = new QWidget(this);
  updates->setObjectName("updates");
  auto* updatesRow = new QHBoxLayout(updates);
  updatesRow->setContentsMargins(0, 0, 0, 0);
  checkAutomatically_ = new QCheckBox(linuxText(texts::kCheckAutomatically), updates);
  checkAutomatically_->setObjectName("checkAutomatically");
  connect(checkAutomatically_, &QCheckBox::clicked, this,
          [this](bool on) { view_.setAutomaticallyChecksForUpdates(on); });
  auto* checkNow = new QPushButton(linuxText(texts::kCheckNow), updates);
  checkNow->setObjectName("checkNow");
  checkNow->setAutoDefault(false);
  makeSmallControl(checkNow);
  connect(checkNow, &QPushButton::clicked, this, [this] { view_.checkNow(); });
  updatesRow->addWidget(checkAutomatically_, 0, Qt::AlignVCenter);
  updatesRow->addStretch(1);
  updatesRow->addWidget(checkNow, 0, Qt::AlignVCenter);
  rows_[SettingsRow::Updates] = updates;
  static_cast<QVBoxLayout*>(layout())->addWidget(updates);
}

// The note on the command line tool and the button that installs or removes it.
void SettingsWidget::addCommandRow() {
  auto* command = new QWidget(this);
  command->setObjectName("command");
  auto* commandColumn = new QVBoxLayout(command);
  commandColumn->setContentsMargins(layout::kCommandIndent, 0, 0, 0);
  commandColumn->setSpacing(layout::kCommandSpacing);
  commandNote_ = new QLabel(command);
  commandNote_->setObjectName("commandNote");
  commandNote_->setWordWrap(true);
  applyTextStyle(commandNote_, TextStyle::Caption);
  setSecondary(commandNote_, true);
  commandButton_ = new QPushButton(command);
  commandButton_->setObjectName("commandButton");
  commandButton_->setAutoDefault(false);
  makeSmallControl(commandButton_);
  connect(commandButton_, &QPushButton::clicked, this, [this] { view_.toggleCommand(); });
  commandColumn->addWidget(commandNote_);
  commandColumn->addWidget(commandButton_, 0, Qt::AlignLeft);
  rows_[SettingsRow::Command] = command;
  static_cast<QVBoxLayout*>(layout())->addWidget(command);
}

// Return answers the warning's button, wherever the focus is; the keys are
// only claimed while there is such a button (refresh enables them).
void SettingsWidget::claimReturnKeys() {
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    connect(shortcut, &QShortcut::activated, this, [this] { view_.handleReturnKey(); });
    returnKeys_.push_back(shortcut);
  }
}

QCheckBox* SettingsWidget::addCheckBox(SettingsRow row, const char* objectName, const char* text) {
  auto* box = new QCheckBox(linuxText(text), this);
  box->setObjectName(objectName);
  rows_[row] = box;
  // Only the box and its title take clicks, not the width of the column.
  static_cast<QVBoxLayout*>(layout())->addWidget(box, 0, Qt::AlignLeft);
  return box;
}

void SettingsWidget::refresh() {
  std::vector<SettingsRow> shown = view_.rows();
  for (const auto& [row, widget] : rows_) {
    widget->setVisible(std::find(shown.begin(), shown.end(), row) != shown.end());
  }
  shortcut_->refresh();
  enabled_->setChecked(view_.enabled());
  launchAtLogin_->setChecked(view_.launchAtLogin());
  checkAutomatically_->setChecked(view_.automaticallyChecksForUpdates());
  hideMenuBarIcon_->setChecked(view_.hideMenuBarIcon());
  commandNote_->setText(linuxText(view_.commandNote()));
  commandButton_->setText(linuxText(view_.commandButtonTitle()));
  for (QShortcut* key : returnKeys_) key->setEnabled(!view_.accessibilityTrusted() && !view_.isRecording());
  updateGeometry();
}

QSize SettingsWidget::sizeHint() const {
  int width = std::max(layout::kMinimumWidth, layout()->minimumSize().width());
  return QSize(width, neededHeight(width));
}

QSize SettingsWidget::minimumSizeHint() const {
  int width = std::max(layout::kMinimumWidth, layout()->minimumSize().width());
  return QSize(width, neededHeight(width));
}

int SettingsWidget::neededHeight(int width) const {
  // With no wrapping text on show (access granted, the command row hidden)
  // the height does not depend on the width, and heightForWidth has no answer.
  return layout()->hasHeightForWidth() ? heightForWidth(width) : layout()->totalSizeHint().height();
}

void SettingsWidget::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window system's own show (after a minimise) is no new appearance.
  if (event->spontaneous() || appeared_) return;
  appeared_ = true;
  view_.contentAppeared();
}

void SettingsWidget::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous() || !appeared_) return;
  appeared_ = false;
  view_.contentDisappeared();
}

}  // namespace quorvelle
