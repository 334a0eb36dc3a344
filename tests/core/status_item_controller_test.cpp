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
  int settingsShown = 0, aboutShown = 0, checks = 0, activeQueries = 0;
  StatusItemController controller{bar,
                                  workspace,
                                  application,
                                  config,
                                  [this] { ++settingsShown; },
                                  [this] { ++aboutShown; },
                                  [this] { ++checks; },
                                  [this] {
                                    ++activeQueries;
                                    return active;
                                  }};

  sim::SimMenu& menu() { return bar.item()->menu; }
};

TEST_F(StatusItemFixture, MenuIsBuiltOnceInOrderWithNoStateUntilItOpens) {
  EXPECT_EQ(bar.itemsAdded, 0) << "constructing shows nothing";
  controller.showStatusItem();
  std::vector<std::string> entries;
  for (const auto& item : menu().items) {
    entries.push_back(item->separator ? "-" : item->title + (item->keyEquivalent.empty() ? "" : " ^" + item->keyEquivalent));
    EXPECT_EQ(item->stateChanges, 0);
    EXPECT_FALSE(item->hidden);
  }
  EXPECT_THAT(entries, ElementsAre("\xE2\x9A\xA0\xEF\xB8\x8E Grant Accessibility Access...", "-", "Enabled", "-",
                                   "Preferences... ^,", "-", "About...", "Check for Updates...", "-",
                                   "Quit Quorvelle ^q"));
}

TEST_F(StatusItemFixture, ShowingTwiceMakesOneItemAndHidingKeepsTheMenu) {
  controller.showStatusItem();
  controller.showStatusItem();
  EXPECT_EQ(bar.itemsAdded, 1);
  sim::SimMenu* firstMenu = &menu();

  controller.hideStatusItem();
  controller.hideStatusItem();
  EXPECT_EQ(bar.item(), nullptr);
  EXPECT_EQ(bar.itemsRemoved, 1);
  controller.updateIcon();  // nothing to draw while hidden

  config.setEnabled(false);
  controller.showStatusItem();
  ASSERT_NE(bar.item(), nullptr);
  EXPECT_EQ(bar.item()->serial, 2) << "a new item";
  EXPECT_EQ(&menu(), firstMenu) << "with the same menu";
  EXPECT_EQ(bar.item()->symbol, "capslock") << "drawn for the current settings";
}

// The three looks of the icon and what the menu shows with them.
struct LookCase {
  bool enabled;
  bool active;
  const char* symbol;
  bool dimmed;
  std::vector<std::string> menu;
};

TEST_F(StatusItemFixture, IconLooksAndMenuFollowEnabledAndActive) {
  const std::vector<std::string> unticked = {"Enabled", "-", "Preferences...", "-", "About...",
                                             "Check for Updates...", "-", "Quit Quorvelle"};
  std::vector<std::string> ticked = unticked;
  ticked[0] = "✓ Enabled";
  std::vector<std::string> warned = ticked;
  warned.insert(warned.begin(), {"⚠︎ Grant Accessibility Access...", "-"});

  const LookCase cases[] = {
      {false, false, "capslock", false, unticked},
      {false, true, "capslock", false, unticked},
      {true, false, "capslock.fill", true, warned},
      {true, true, "capslock.fill", false, ticked},
  };
  controller.showStatusItem();
  for (const LookCase& c : cases) {
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

TEST_F(StatusItemFixture, MenuActionsReachTheirTargets) {
  controller.showStatusItem();
  menu().open();
  ASSERT_TRUE(menu().choose("Preferences..."));
  ASSERT_TRUE(menu().choose("About..."));
  ASSERT_TRUE(menu().choose("Check for Updates..."));
  EXPECT_EQ(settingsShown, 1);
  EXPECT_EQ(aboutShown, 1);
  EXPECT_EQ(checks, 1);

  active = false;
  menu().open();
  ASSERT_TRUE(menu().choose("⚠︎ Grant Accessibility Access..."));
  EXPECT_THAT(workspace.openedURLs,
              ElementsAre("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility"));

  // The key equivalents work while the menu is open.
  ASSERT_TRUE(menu().press(","));
  EXPECT_EQ(settingsShown, 2);
  ASSERT_TRUE(menu().press("q"));
  EXPECT_EQ(application.terminations, 1);
}

TEST_F(StatusItemFixture, EnabledFlipsAndStoresTheSettingButLeavesTheIconToTheShell) {
  controller.showStatusItem();
  active = true;
  controller.updateIcon();
  std::vector<bool> published;
  Cancellable follow = config.enabledPublisher().subscribe([&](const bool& v) { published.push_back(v); },
                                                          Delivery{.dropFirst = true});
  menu().open();
  ASSERT_TRUE(menu().choose("Enabled"));
  EXPECT_FALSE(config.enabled());
  EXPECT_EQ(defaults.values.at("enabled"), PropertyValue(false));
  EXPECT_THAT(published, ElementsAre(false));
  EXPECT_EQ(bar.item()->symbol, "capslock.fill") << "until the shell reacts";
  EXPECT_EQ(menu().open()[0], "Enabled");

  ASSERT_TRUE(menu().choose("Enabled"));
  EXPECT_TRUE(config.enabled());
  EXPECT_EQ(defaults.values.at("enabled"), PropertyValue(true));
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
  sim::SimMenu& menu = bar.item()->menu;
  EXPECT_EQ(menu.open().front(), "⚠︎ Grant Accessibility Access...");
  EXPECT_TRUE(menu.choose("Preferences..."));
  EXPECT_TRUE(menu.choose("About..."));
  EXPECT_TRUE(menu.choose("Check for Updates..."));
}

}  // namespace
}  // namespace quorvelle
