#include "about/about_view.h"

#include <ctime>

namespace quorvelle {

std::string AboutView::appVersion() const {
  return bundles_.mainInfoString("CFBundleShortVersionString").value_or(kUnknownVersion);
}

int AboutView::currentYear() {
  std::time_t now = std::time(nullptr);
  return std::localtime(&now)->tm_year + 1900;
}

std::string AboutView::copyrightLine(const std::string& year) {
  return "© " + year + " The Quorvelle developers";
}

}  // namespace quorvelle
