// The About content's texts.
#include "about/about_view.h"

#include <gtest/gtest.h>

#include "sim/sim_services.h"

namespace quorvelle {
namespace {

TEST(AboutView, VersionIsTheBundlesShortVersionTextOrAnEmDash) {
  sim::SimBundles bundles;
  AboutView about(bundles);
  EXPECT_EQ(about.versionLine(), "Version —") << "no information list";
  bundles.infos[bundles.mainPath] = {{"CFBundleVersion", std::string("7")}};
  EXPECT_EQ(about.appVersion(), "—") << "no such key";
  bundles.infos[bundles.mainPath]["CFBundleShortVersionString"] = std::int64_t{2};
  EXPECT_EQ(about.appVersion(), "—") << "not text";
  bundles.infos[bundles.mainPath]["CFBundleShortVersionString"] = std::string("1.4.2");
  EXPECT_EQ(about.versionLine(), "Version 1.4.2");
  EXPECT_EQ(AboutView::copyrightLine("2026"), "© 2026 The Quorvelle developers");
}

}  // namespace
}  // namespace quorvelle
