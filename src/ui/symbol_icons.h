#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <string>
#include <string_view>

namespace quorvelle {

// A symbol image shipped as a one-colour SVG (capslock, capslock.fill,
// arrow.right, exclamationmark.triangle.fill), drawn in the colour, size in
// device-independent pixels. Null when no such symbol ships.
QPixmap symbolPixmap(std::string_view name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// The application's icon: the bundle's own Resources/AppIcon.svg when the
// bundle path has one, else the copy built into the program.
QIcon applicationIcon(const std::string& bundlePath = {});

}  // namespace quorvelle
