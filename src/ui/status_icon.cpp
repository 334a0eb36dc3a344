#include "ui/status_icon.h"

#include <QPainter>
#include <QPolygonF>

namespace quorvelle {
namespace {

// Panel icon sizes of the common desktops and their high-density doubles.
const int kTraySizes[] = {16, 22, 24, 32, 44, 48, 64};
// How strongly a dimmed symbol is drawn.
constexpr qreal kDimmedOpacity = 0.4;

}  // namespace

QIcon statusIcon(const QIcon& symbol, bool dimmed) {
  if (!dimmed || symbol.isNull()) return symbol;
  // Fainter rather than greyer: Qt's disabled look of a light symbol (the one
  // for dark panels) is as light as the symbol itself. Trays draw the normal
  // mode only, so the faint pixmaps become the normal ones.
  QIcon icon;
  for (int size : kTraySizes) {
    const QPixmap source = symbol.pixmap(QSize(size, size));
    QPixmap faint(source.size());
    faint.fill(Qt::transparent);
    QPainter painter(&faint);
    painter.setOpacity(kDimmedOpacity);
    painter.drawPixmap(0, 0, source);
    painter.end();
    faint.setDevicePixelRatio(source.devicePixelRatio());
    icon.addPixmap(faint);
  }
  return icon;
}

QIcon drawnStatusSymbol(const QColor& color) {
  QIcon icon;
  for (int size : kTraySizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A key cap around an arrow pointing up, as on the Caps Lock key.
    painter.setPen(QPen(color, s / 12));
    painter.drawRoundedRect(QRectF(s / 8, s / 8, s * 3 / 4, s * 3 / 4), s / 6, s / 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPolygon(QPolygonF({{s / 2, s / 4}, {s * 0.74, s / 2}, {s * 0.6, s / 2}, {s * 0.6, s * 0.74},
                                   {s * 0.4, s * 0.74}, {s * 0.4, s / 2}, {s * 0.26, s / 2}}));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap renderStatusIcon(const QIcon& symbol, bool dimmed, int size) {
  return statusIcon(symbol, dimmed).pixmap(QSize(size, size));
}

}  // namespace quorvelle
