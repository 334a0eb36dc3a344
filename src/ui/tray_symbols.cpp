#include "ui/tray_symbols.h"

#include "ui/symbol_icons.h"

namespace quorvelle {

namespace {

const int kTraySizes[] = {16, 22, 24, 32, 44, 48, 64};
const QColor kLightForeground(0xf2, 0xf2, 0xf2);

bool hasDarkPanel(const QString& desktop) {
  for (const QString& name : desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    for (const char* dark : {"GNOME", "Unity", "ubuntu", "X-Cinnamon", "Cinnamon", "XFCE", "Pantheon"}) {
      if (name.compare(QLatin1String(dark), Qt::CaseInsensitive) == 0) return true;
    }
  }
  return false;
}

}  // namespace

QColor trayForeground(const QPalette& palette, const QString& desktop) {
  const bool darkScheme = palette.color(QPalette::Window).lightness() < 128;
  if (darkScheme || hasDarkPanel(desktop)) return kLightForeground;
  return palette.color(QPalette::WindowText);
}

std::map<std::string, QIcon> traySymbols(const QColor& foreground) {
  std::map<std::string, QIcon> symbols;
  for (const char* name : {"capslock", "capslock.fill"}) {
    QIcon icon;
    for (int size : kTraySizes) icon.addPixmap(symbolPixmap(name, size, foreground));
    symbols[name] = icon;
  }
  return symbols;
}

}  // namespace quorvelle
