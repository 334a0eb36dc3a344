#pragma once

#include <QFont>
#include <QPalette>

class QLabel;
class QWidget;

namespace quorvelle {

// Qt's nearest equivalents of the platform text styles, scaled from the
// widget's own font.
enum class TextStyle {
  Body,
  Callout,      // explanations
  Caption,      // notes
  Subheadline,  // the About window's version
  Title,        // the About window's name, bold
  Title3,       // the hyper shortcut, semibold
};

QFont styledFont(const QFont& base, TextStyle style);
void applyTextStyle(QWidget* widget, TextStyle style);

// Secondary text: the palette's placeholder colour, the quieter of the
// palette's text colours.
void setSecondary(QLabel* label, bool secondary);

// Buttons in the small control size: a smaller font and tighter padding.
void makeSmallControl(QWidget* button);

}  // namespace quorvelle
