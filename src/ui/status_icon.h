#pragma once

#include <QIcon>
#include <QPixmap>

namespace quorvelle {

// The tray icon for a symbol: the symbol itself, or, dimmed, its disabled
// look at every size a tray asks for.
QIcon statusIcon(const QIcon& symbol, bool dimmed);

// One look of the tray icon as a picture, e.g. for screenshots.
QPixmap renderStatusIcon(const QIcon& symbol, bool dimmed, int size);

}  // namespace quorvelle
