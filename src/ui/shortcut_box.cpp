#include "ui/shortcut_box.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "settings/settings_layout.h"
#include "settings/settings_texts.h"
#include "settings/settings_view.h"
#include "ui/linux_texts.h"
#include "ui/symbol_icons.h"
#include "ui/text_styles.h"

namespace quorvelle {

namespace layout = settings_layout;
namespace texts = settings_texts;

ShortcutBox::ShortcutBox(SettingsView& view, QWidget* parent) : QGroupBox(parent), view_(view) {
  setObjectName("hyperShortcut");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(layout::kShortcutPadding, layout::kShortcutPadding, layout::kShortcutPadding,
                          layout::kShortcutPadding);
  row->setSpacing(layout::kShortcutSpacing);

  capsLockSymbol_ = new QLabel(this);
  capsLockSymbol_->setObjectName("capsLockSymbol");
  capsLock_ = new QLabel(linuxText(texts::kCapsLock), this);
  capsLock_->setObjectName("capsLockLabel");
  arrow_ = new QLabel(this);
  arrow_->setObjectName("arrowSymbol");
  shortcut_ = new QLabel(this);
  shortcut_->setObjectName("shortcutText");
  applyTextStyle(shortcut_, TextStyle::Title3);
  record_ = new QPushButton(this);
  record_->setObjectName("recordButton");
  record_->setAutoDefault(false);
  connect(record_, &QPushButton::clicked, this, [this] { view_.toggleRecording(); });

  for (QWidget* widget : {static_cast<QWidget*>(capsLockSymbol_), static_cast<QWidget*>(capsLock_),
                          static_cast<QWidget*>(arrow_), static_cast<QWidget*>(shortcut_)}) {
    row->addWidget(widget, 0, Qt::AlignVCenter);
  }
  row->addStretch(1);
  row->addWidget(record_, 0, Qt::AlignVCenter);
  paintSymbols();
  refresh();
}

void ShortcutBox::paintSymbols() {
  int side = QFontMetrics(capsLock_->font()).height();
  QColor text = palette().color(QPalette::WindowText);
  QColor secondary = palette().color(QPalette::PlaceholderText);
  capsLockSymbol_->setPixmap(symbolPixmap(texts::kCapsLockSymbol, side, text, devicePixelRatioF()));
  capsLockSymbol_->setFixedSize(side, side);
  arrow_->setPixmap(symbolPixmap(texts::kArrowSymbol, side, secondary, devicePixelRatioF()));
  arrow_->setFixedSize(side, side);
}

void ShortcutBox::refresh() {
  shortcut_->setText(QString::fromStdString(view_.shortcutText()));
  setSecondary(shortcut_, view_.shortcutTextIsSecondary());
  record_->setText(linuxText(view_.recordButtonTitle()));
}

void ShortcutBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) paintSymbols();
  QGroupBox::changeEvent(event);
}

}  // namespace quorvelle
