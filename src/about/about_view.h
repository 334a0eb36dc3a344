#pragma once

#include <string>

#include "platform/bundle.h"

namespace quorvelle {

// The content of the About window: the application's icon, its name, its
// version and a line with the year and its makers. No state, no controls.
class AboutView {
 public:
  static constexpr char kName[] = "Quorvelle";
  static constexpr char kVersionPrefix[] = "Version ";
  // Shown for a bundle that names no version.
  static constexpr char kUnknownVersion[] = "—";
  // The column's width and the icon's side, in points.
  static constexpr int kWidth = 300;
  static constexpr int kIconSize = 128;
  // Space above the icon, the name and the version; the year line sits as
  // close under the version as the name sits under the icon.
  static constexpr int kIconTopSpace = 28;
  static constexpr int kNameTopSpace = 12;
  static constexpr int kVersionTopSpace = 2;
  static constexpr int kCopyrightTopSpace = 12;
  static constexpr int kBottomSpace = 28;

  explicit AboutView(const Bundles& bundles) : bundles_(bundles) {}

  // CFBundleShortVersionString when it is text, otherwise "—".
  std::string appVersion() const;
  std::string versionLine() const { return kVersionPrefix + appVersion(); }
  // The running bundle's folder, whose icon the content shows.
  std::string bundlePath() const { return bundles_.mainBundlePath(); }

  // The current year of the local calendar.
  static int currentYear();
  // "© <year> The Quorvelle developers", the year already written out for
  // the user's locale (without grouping).
  static std::string copyrightLine(const std::string& year);

 private:
  const Bundles& bundles_;
};

}  // namespace quorvelle
