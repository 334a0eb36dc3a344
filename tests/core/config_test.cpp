// Loading the three settings from what the store holds, writing them back,
// and how their published values are delivered.
#include "config/config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/modifier_symbols.h"
#include "config/preference_keys.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

// Each setting as read from what the store holds (true reads as 1); reading
// writes nothing back.
TEST(ConfigLoading, EachSettingTakesOnlyWhatItsTypeAllows) {
  const std::tuple<const char*, PropertyValue, std::uint64_t> cases[] = {
      // Enabled: booleans, and numbers other than exactly zero are on.
      {"enabled", true, 1}, {"enabled", false, 0}, {"enabled", std::int64_t{0}, 0}, {"enabled", std::int64_t{1}, 1},
      {"enabled", std::uint64_t{0}, 0}, {"enabled", std::int64_t{2}, 1}, {"enabled", std::int64_t{-1}, 1},
      {"enabled", 0.0, 0}, {"enabled", 1.0, 1}, {"enabled", std::string("NO"), 1}, {"enabled", std::string("0"), 1},
      {"enabled", std::monostate{}, 1},
      // Modifiers: any number as it is; the empty set is not the default.
      {"modifierFlags", std::uint64_t{0}, 0}, {"modifierFlags", std::int64_t{0}, 0},
      {"modifierFlags", std::uint64_t{0x120000}, 0x120000},
      {"modifierFlags", std::uint64_t{0xFFFFFFFFFFFFFFFF}, 0xFFFFFFFFFFFFFFFF},
      {"modifierFlags", std::int64_t{-1}, 0xFFFFFFFFFFFFFFFF}, {"modifierFlags", true, 1},
      {"modifierFlags", false, 0}, {"modifierFlags", 2.9, 2},
      // Reals at the ends of the integer ranges (2^64 and -2^63 are exact):
      // the greatest below 2^64, -2^63, then out of range 2^64 and the next below -2^63.
      {"modifierFlags", 18446744073709549568.0, 18446744073709549568u},
      {"modifierFlags", -9223372036854775808.0, 0x8000000000000000},
      {"modifierFlags", 18446744073709551616.0, 0}, {"modifierFlags", -9223372036854777856.0, 0},
      {"modifierFlags", std::string("1835008"), 0x1C0000},  // text is not a number
      {"modifierFlags", std::monostate{}, 0x1C0000},
      // The icon setting reads as a boolean.
      {"hideMenuBarIcon", true, 1}, {"hideMenuBarIcon", false, 0}, {"hideMenuBarIcon", std::int64_t{5}, 1},
      {"hideMenuBarIcon", std::string("YES"), 1}, {"hideMenuBarIcon", std::string("no"), 0},
      {"hideMenuBarIcon", std::monostate{}, 0},
  };
  for (const auto& [key, stored, expected] : cases) {
    sim::MemoryDefaultsStore store;
    store.values[key] = stored;
    Config config(store);
    const std::string name = key;
    const std::uint64_t read = name == "enabled"         ? config.enabled()
                               : name == "modifierFlags" ? config.modifiers()
                                                         : config.hideMenuBarIcon();
    EXPECT_EQ(read, expected) << key << ", stored variant index " << stored.index();
    EXPECT_EQ(store.writes, 0);
  }
}

TEST(ConfigWriting, DefaultsUntilAssignedThenEveryAssignmentIsPublishedAndWrittenWithItsType) {
  sim::MemoryDefaultsStore store;
  Config config(store);
  EXPECT_TRUE(config.enabled());
  EXPECT_FALSE(config.hideMenuBarIcon());
  EXPECT_EQ(modifierSymbols(config.modifiers()), "⌃⌥⌘");
  EXPECT_EQ(store.writes, 0) << "loading writes nothing";
  std::vector<std::string> seen;
  Cancellable will = config.objectWillChange().subscribe([&] { seen.push_back("will change"); });
  Cancellable enabled = config.enabledPublisher().subscribe(
      [&](bool value) {
        // Subscribers run before the value is stored.
        seen.push_back(std::string("enabled ") + (value ? "true" : "false") + ", stored " +
                       (config.enabled() ? "true" : "false") + ", writes " + std::to_string(store.writes));
      },
      {.dropFirst = true});
  std::vector<ModifierFlags> modifiers;
  Cancellable current =
      config.modifiersPublisher().subscribe([&](ModifierFlags flags) { modifiers.push_back(flags); });

  config.setEnabled(true);  // unchanged, still published and written
  config.setEnabled(false);
  EXPECT_THAT(seen, ElementsAre("will change", "enabled true, stored true, writes 0", "will change",
                                "enabled false, stored true, writes 1"));
  EXPECT_EQ(store.values.at("enabled"), PropertyValue(false));

  config.setModifiers(0xFFFFFFFFFFFFFFFF);
  EXPECT_THAT(modifiers, ElementsAre(0x1C0000u, 0xFFFFFFFFFFFFFFFFu)) << "the loaded value at once";
  EXPECT_EQ(store.values.at("modifierFlags"), PropertyValue(std::uint64_t{0xFFFFFFFFFFFFFFFF}));
  EXPECT_EQ(modifierSymbols(config.modifiers()), "⌃⌥⇧⌘") << "fixed order; other flags add nothing";
  config.setHideMenuBarIcon(true);
  EXPECT_EQ(store.values.at("hideMenuBarIcon"), PropertyValue(true));
  EXPECT_FALSE(config.enabled());
  EXPECT_TRUE(config.hideMenuBarIcon());
  EXPECT_EQ(store.writes, 4);
  for (const auto& [key, value] : store.values) {
    EXPECT_NE(std::find(prefs::kAllKeys.begin(), prefs::kAllKeys.end(), key), prefs::kAllKeys.end()) << key;
  }
}

// What Config's settings do not show: delivery on the main queue (even the
// current value waits for it), values queued before a cancel, and a handler
// that cancels another while a value goes out.
TEST(Published, MainQueueAndCancelling) {
  sim::SimRunLoop loop;
  WillChangeSignal willChange;
  Published<int> value{1, willChange};
  std::vector<std::string> seen;
  auto record = [&seen](std::string who) {
    return [&seen, who](int v) { seen.push_back(who + std::to_string(v)); };
  };
  Cancellable queued = value.subscribe(record("queued "), {.mainQueue = &loop});
  EXPECT_TRUE(seen.empty());
  loop.drain();
  Cancellable second;
  Cancellable first = value.subscribe(
      [&](int v) {
        seen.push_back("first " + std::to_string(v));
        second.cancel();
      },
      {.dropFirst = true});
  second = value.subscribe(record("second "), {.dropFirst = true});
  value.set(3);
  queued.cancel();
  first.cancel();
  value.set(4);
  loop.drain();
  EXPECT_THAT(seen, ElementsAre("queued 1", "first 3"));
}

}  // namespace
}  // namespace quorvelle
