#include "ui/status_icon.h"

namespace quorvelle {
namespace {

// Panel icon sizes of the common desktops and their high-density doubles.
const int kTraySizes[] = {16, 22, 24, 32, 44, 48, 64};

}  // namespace

QIcon statusIcon(const QIcon& symbol, bool dimmed) {
  if (!dimmed || symbol.isNull()) return symbol;
  // Trays draw the normal mode only, so the disabled pixmaps become the normal ones.
  QIcon icon;
  for (int size : kTraySizes) icon.addPixmap(symbol.pixmap(QSize(size, size), QIcon::Disabled));
  return icon;
}

QPixmap renderStatusIcon(const QIcon& symbol, bool dimmed, int size) {
  return statusIcon(symbol, dimmed).pixmap(QSize(size, size));
}

}  // namespace quorvelle
