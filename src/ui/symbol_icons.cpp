#include "ui/symbol_icons.h"

#include <QFile>
#include <QPainter>

namespace quorvelle {

QPixmap symbolPixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio) {
  QString file = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  QString path = QStringLiteral(":/icons/") + file + QStringLiteral(".svg");
  if (!QFile::exists(path)) return {};
  const int side = qRound(size * devicePixelRatio);
  QPixmap shape = QIcon(path).pixmap(side, side);
  if (shape.isNull()) return {};
  // The SVG gives the shape; the colour fills it.
  QPixmap tinted(shape.size());
  tinted.fill(Qt::transparent);
  QPainter painter(&tinted);
  painter.drawPixmap(0, 0, shape);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(tinted.rect(), color);
  painter.end();
  tinted.setDevicePixelRatio(devicePixelRatio);
  return tinted;
}

QIcon applicationIcon(const std::string& bundlePath) {
  if (!bundlePath.empty()) {
    QString inBundle = QString::fromStdString(bundlePath) + QStringLiteral("/Contents/Resources/AppIcon.svg");
    if (QFile::exists(inBundle)) return QIcon(inBundle);
  }
  return QIcon(QStringLiteral(":/icons/AppIcon.svg"));
}

}  // namespace quorvelle
