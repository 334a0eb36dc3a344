#pragma once

#include <QWidget>

#include "about/about_view.h"

namespace quorvelle {

// Renders the About content: a centred 300-wide column of the icon, the name,
// the version and the year line; its height comes from the content.
class AboutWidget : public QWidget {
 public:
  explicit AboutWidget(const AboutView& view, QWidget* parent = nullptr);

  // The year as the user's locale writes a number, without grouping.
  static QString localizedYear(int year, const QLocale& locale);
};

}  // namespace quorvelle
