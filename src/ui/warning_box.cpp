#include "ui/warning_box.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/settings_layout.h"
#include "settings/settings_texts.h"
#include "settings/settings_view.h"
#include "ui/linux_texts.h"
#include "ui/symbol_icons.h"
#include "ui/text_styles.h"

namespace quorvelle {

namespace layout = settings_layout;
namespace texts = settings_texts;

namespace {

// The platform's warning yellow, readable on light and dark backgrounds.
const QColor kWarningYellow(0xF5, 0xC2, 0x11);

}  // namespace

WarningBox::WarningBox(SettingsView& view, QWidget* parent) : QGroupBox(parent) {
  setObjectName("accessibilityWarning");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(layout::kWarningPadding, layout::kWarningPadding, layout::kWarningPadding,
                             layout::kWarningPadding);
  column->setSpacing(layout::kWarningSpacing);

  auto* message = new QHBoxLayout();
  message->setSpacing(layout::kWarningSpacing);
  symbol_ = new QLabel(this);
  symbol_->setObjectName("warningSymbol");
  message->addWidget(symbol_, 0, Qt::AlignTop);
  auto* words = new QVBoxLayout();
  words->setSpacing(layout::kWarningTextSpacing);
  title_ = new QLabel(linuxText(texts::kWarningTitle), this);
  title_->setObjectName("warningTitle");
  QFont semibold = title_->font();
  semibold.setWeight(QFont::DemiBold);
  title_->setFont(semibold);
  explanation_ = new QLabel(linuxText(texts::kWarningExplanation), this);
  explanation_->setObjectName("warningExplanation");
  explanation_->setWordWrap(true);
  applyTextStyle(explanation_, TextStyle::Callout);
  setSecondary(explanation_, true);
  words->addWidget(title_);
  words->addWidget(explanation_);
  message->addLayout(words, 1);
  column->addLayout(message);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  openSettings_ = new QPushButton(linuxText(texts::kOpenSystemSettings), this);
  openSettings_->setObjectName("openSystemSettings");
  openSettings_->setAutoDefault(false);
  openSettings_->setDefault(true);
  connect(openSettings_, &QPushButton::clicked, this, [&view] { view.openSystemSettings(); });
  buttons->addWidget(openSettings_);
  column->addLayout(buttons);
  paintSymbol();
}

void WarningBox::paintSymbol() {
  // As tall as the title's first line, so the two share a baseline.
  int side = QFontMetrics(title_->font()).height();
  symbol_->setPixmap(symbolPixmap(texts::kWarningSymbol, side, kWarningYellow, devicePixelRatioF()));
  symbol_->setFixedSize(side, side);
}

void WarningBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) paintSymbol();
  QGroupBox::changeEvent(event);
}

}  // namespace quorvelle
