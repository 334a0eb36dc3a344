// Renders the tray icon's three looks with the application's own drawing
// code, on a light and on a dark panel, enlarged for a screen: switched off,
// working, and switched on without input access.
//
//   tray_looks OUTPUT.png
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "ui/status_icon.h"
#include "ui/tray_symbols.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tray_looks OUTPUT.png\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  using namespace quorvelle;
  constexpr int kIcon = 22, kScale = 4, kCell = 40 * kScale, kCaption = 24;
  const struct {
    const char* symbol;
    bool dimmed;
    const char* caption;
  } looks[] = {{"capslock", false, "off"}, {"capslock.fill", false, "on"}, {"capslock.fill", true, "no access"}};
  const struct {
    QColor panel;
    QString desktop;
  } panels[] = {{QColor(0xe8, 0xe8, 0xe7), QStringLiteral("KDE")}, {QColor(0x24, 0x24, 0x24), QStringLiteral("GNOME")}};

  QImage sheet(3 * kCell, 2 * (kCell + kCaption), QImage::Format_ARGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (int row = 0; row < 2; ++row) {
    const QColor foreground = trayForeground(QApplication::palette(), panels[row].desktop);
    const auto symbols = traySymbols(foreground);
    for (int column = 0; column < 3; ++column) {
      const QRect cell(column * kCell, row * (kCell + kCaption), kCell, kCell);
      painter.fillRect(cell, panels[row].panel);
      const QPixmap icon = renderStatusIcon(symbols.at(looks[column].symbol), looks[column].dimmed, kIcon);
      const QImage big = icon.toImage().scaled(kIcon * kScale, kIcon * kScale);  // nearest: pixels as drawn
      painter.drawImage(cell.center() - QPoint(big.width() / 2, big.height() / 2), big);
      painter.setPen(Qt::black);
      painter.drawText(QRect(cell.left(), cell.bottom(), kCell, kCaption), Qt::AlignCenter,
                       QString::fromUtf8(looks[column].caption) + " / " + panels[row].desktop);
    }
  }
  painter.end();
  return sheet.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
