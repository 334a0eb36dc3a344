#pragma once

#include <QIcon>
#include <QPixmap>

namespace quorvelle {

// The tray icon for a symbol: the symbol itself, or, dimmed, its disabled
// look at every size a tray asks for.
QIcon statusIcon(const QIcon& symbol, bool dimmed);

// A caps lock symbol drawn in the colour, with no image file and no icon
// engine: what the tray shows when a symbol cannot be had, so that the item
// and its menu stay within reach.
QIcon drawnStatusSymbol(const QColor& color);

// One look of the tray icon as a picture, e.g. for screenshots.
QPixmap renderStatusIcon(const QIcon& symbol, bool dimmed, int size);

}  // namespace quorvelle
