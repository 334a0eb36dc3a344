#include "ui/text_styles.h"

#include <QLabel>
#include <QWidget>

namespace quorvelle {
namespace {

// Sizes relative to the body text, as the platform's styles relate (13 pt body).
qreal scaleOf(TextStyle style) {
  switch (style) {
    case TextStyle::Body: return 1.0;
    case TextStyle::Callout: return 12.0 / 13.0;
    case TextStyle::Caption: return 10.0 / 13.0;
    case TextStyle::Subheadline: return 11.0 / 13.0;
    case TextStyle::Title: return 22.0 / 13.0;
    case TextStyle::Title3: return 15.0 / 13.0;
  }
  return 1.0;
}

}  // namespace

QFont styledFont(const QFont& base, TextStyle style) {
  QFont font = base;
  if (base.pointSizeF() > 0) font.setPointSizeF(base.pointSizeF() * scaleOf(style));
  else font.setPixelSize(qRound(base.pixelSize() * scaleOf(style)));
  if (style == TextStyle::Title) font.setWeight(QFont::Bold);
  if (style == TextStyle::Title3) font.setWeight(QFont::DemiBold);
  return font;
}

void applyTextStyle(QWidget* widget, TextStyle style) { widget->setFont(styledFont(widget->font(), style)); }

void setSecondary(QLabel* label, bool secondary) {
  QPalette palette = label->parentWidget() ? label->parentWidget()->palette() : label->palette();
  if (secondary) {
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    palette.setColor(QPalette::Text, palette.color(QPalette::PlaceholderText));
  }
  label->setPalette(palette);
}

void makeSmallControl(QWidget* button) {
  applyTextStyle(button, TextStyle::Subheadline);
}

}  // namespace quorvelle
