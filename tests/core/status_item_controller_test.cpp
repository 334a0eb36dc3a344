// The status item and its menu on the simulated status bar.
#include "statusitem/status_item_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_desktop.h"
#include "sim/sim_services.h"
#include "sim/sim_status_bar.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

struct StatusItemFixture : testing::Test {
  sim::MemoryDefaultsStore defaults;
  Config config{defaults};
  sim::SimStatusBar bar;
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  int settingsShown = 0, aboutShown = 0, checks = 0;
  StatusItemController controller{bar,  workspace, application, config, [this] { ++settingsShown; },
                                  [this] { ++aboutShown; }, [this] { ++checks; }, [this] { return active; }};

  sim::SimMenu& menu() { return bar.item()->menu; }
};

TEST_F(StatusItemFixture, OneItemAtATimeWithOneMenuBuiltInOrder) {
  EXPECT_EQ(bar.itemsAdded, 0) << "constructing shows nothing";
  controller.showStatusItem();
  controller.showStatusItem();
  EXPECT_EQ(bar.itemsAdded, 1);
  // The entries are checked as the menu opens, below; their key equivalents
  // as they are pressed.
  for (const auto& item : menu().items) EXPECT_FALSE(item->stateSet || item->hidden) << "states wait for the menu to open";

  sim::SimMenu* firstMenu = &menu();
  controller.hideStatusItem();
  controller.hideStatusItem();
  EXPECT_EQ(bar.item(), nullptr);
  EXPECT_EQ(bar.itemsRemoved, 1);
  controller.updateIcon();  // nothing to draw while hidden
  config.setEnabled(false);
  controller.showStatusItem();
  EXPECT_EQ(bar.item()->serial, 2) << "a new item";
  EXPECT_EQ(&menu(), firstMenu) << "with the same menu";
  EXPECT_EQ(bar.item()->symbol, "capslock") << "drawn for the current settings";
}

TEST_F(StatusItemFixture, IconLooksAndMenuFollowEnabledAndActive) {
  const std::vector<std::string> off = {"Enabled", "-", "Preferences...", "-", "About...", "Check for Updates...",
                                        "-", "Quit Quorvelle"};
  std::vector<std::string> on = off;
  on[0] = "✓ Enabled";
  std::vector<std::string> warned = on;
  warned.insert(warned.begin(), {"⚠︎ Grant Accessibility Access...", "-"});
  const struct {
    bool enabled, active;
    const char* symbol;
    bool dimmed;
    std::vector<std::string> menu;
  } cases[] = {{false, false, "capslock", false, off},
               {false, true, "capslock", false, off},
               {true, false, "capslock.fill", true, warned},
               {true, true, "capslock.fill", false, on}};
  controller.showStatusItem();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "enabled " << c.enabled << ", active " << c.active);
    config.setEnabled(c.enabled);
    active = c.active;
    controller.updateIcon();
    EXPECT_EQ(bar.item()->symbol, c.symbol);
    EXPECT_EQ(bar.item()->accessibilityDescription, "Quorvelle");
    EXPECT_EQ(bar.item()->dimmed, c.dimmed);
    EXPECT_EQ(menu().open(), c.menu);
  }
}

TEST_F(StatusItemFixture, ChoicesReachTheirTargetsAndEnabledIsStoredButLeavesTheIconToTheShell) {
  config.setEnabled(true);
  controller.showStatusItem();
  menu().open();
  for (const char* title : {"⚠︎ Grant Accessibility Access...", "Preferences...", "About...", "Check for Updates..."}) {
    ASSERT_TRUE(menu().choose(title)) << title;
  }
  EXPECT_THAT(workspace.openedURLs,
              ElementsAre("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));
  EXPECT_EQ(settingsShown + aboutShown + checks, 3);

  ASSERT_TRUE(menu().choose("Enabled"));
  EXPECT_FALSE(config.enabled());
  EXPECT_EQ(defaults.values.at("enabled"), PropertyValue(false));
  EXPECT_EQ(bar.item()->symbol, "capslock.fill") << "until the shell reacts";
  EXPECT_EQ(menu().open()[0], "Enabled");

  ASSERT_TRUE(menu().press(","));  // the key equivalents, with the menu open
  EXPECT_EQ(settingsShown, 2);
  ASSERT_TRUE(menu().press("q"));
  EXPECT_EQ(application.terminations, 1);
}

TEST(StatusItemController, EmptyClosuresAreHarmlessAndInactive) {
  sim::MemoryDefaultsStore defaults;
  Config config(defaults);
  sim::SimStatusBar bar;
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  StatusItemController controller(bar, workspace, application, config, {}, {}, {}, {});
  controller.showStatusItem();
  EXPECT_TRUE(bar.item()->dimmed) << "no answer counts as not active";
  EXPECT_TRUE(bar.item()->menu.choose("Preferences...") && bar.item()->menu.choose("About...") &&
              bar.item()->menu.choose("Check for Updates..."));
}

}  // namespace
}  // namespace quorvelle
