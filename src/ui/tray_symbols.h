#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>
#include <map>
#include <string>

namespace quorvelle {

// The colour the tray symbols are drawn in. Trays draw our pixmaps as they
// are, on a panel whose colour Qt cannot ask for: the panel follows the
// colour scheme on KDE and most others, but GNOME, Unity, Cinnamon, Xfce and
// Pantheon keep a dark panel by default, so there the symbols are light.
// desktop is XDG_CURRENT_DESKTOP (colon-separated names).
QColor trayForeground(const QPalette& palette, const QString& desktop);

// The status item's symbols ("capslock", "capslock.fill") in that colour, at
// every size trays ask for.
std::map<std::string, QIcon> traySymbols(const QColor& foreground);

}  // namespace quorvelle
