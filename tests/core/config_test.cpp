// Loading the three settings from what the store holds, and writing them back.
#include "config/config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/modifier_symbols.h"
#include "config/preference_keys.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

TEST(ConfigLoading, EmptyStoreGivesDefaultsAndWritesNothing) {
  sim::MemoryDefaultsStore store;
  Config config(store);
  EXPECT_TRUE(config.enabled());
  EXPECT_EQ(config.modifiers(), 0x1C0000u);
  EXPECT_FALSE(config.hideMenuBarIcon());
  EXPECT_EQ(store.writes, 0);
  EXPECT_TRUE(store.values.empty());
}

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

TEST(ConfigWriting, EveryAssignmentIsPublishedThenWrittenWithItsType) {
  sim::MemoryDefaultsStore store;
  Config config(store);
  std::vector<std::string> seen;
  Cancellable will = config.objectWillChange().subscribe([&] { seen.push_back("will change"); });
  Cancellable enabled = config.enabledPublisher().subscribe(
      [&](bool value) {
        // Subscribers run before the value is stored.
        seen.push_back(std::string("enabled ") + (value ? "true" : "false") + ", stored " +
                       (config.enabled() ? "true" : "false") + ", writes " + std::to_string(store.writes));
      },
      {.dropFirst = true});

  config.setEnabled(true);  // unchanged, still published and written
  config.setEnabled(false);
  EXPECT_THAT(seen, ElementsAre("will change", "enabled true, stored true, writes 0", "will change",
                                "enabled false, stored true, writes 1"));
  EXPECT_EQ(store.writes, 2);
  EXPECT_EQ(store.values.at("enabled"), PropertyValue(false));

  config.setModifiers(0xFFFFFFFFFFFFFFFF);
  EXPECT_EQ(store.values.at("modifierFlags"), PropertyValue(std::uint64_t{0xFFFFFFFFFFFFFFFF}));
  config.setHideMenuBarIcon(true);
  EXPECT_EQ(store.values.at("hideMenuBarIcon"), PropertyValue(true));
  EXPECT_FALSE(config.enabled());
  EXPECT_EQ(config.modifiers(), 0xFFFFFFFFFFFFFFFF);
  EXPECT_TRUE(config.hideMenuBarIcon());

  // Only the keys of the table are ever written.
  for (const auto& [key, value] : store.values) {
    EXPECT_NE(std::find(prefs::kAllKeys.begin(), prefs::kAllKeys.end(), key), prefs::kAllKeys.end()) << key;
  }
}

TEST(ConfigWriting, ModifiersSubscriberGetsLoadedValueAtOnce) {
  sim::MemoryDefaultsStore store;
  store.values["modifierFlags"] = std::uint64_t{0x120000};
  Config config(store);
  std::vector<ModifierFlags> seen;
  Cancellable subscription = config.modifiersPublisher().subscribe([&](ModifierFlags f) { seen.push_back(f); });
  config.setModifiers(0x40000);
  EXPECT_THAT(seen, ElementsAre(0x120000u, 0x40000u));
}

// Single symbols and smaller sets show in the recorder's state table.
TEST(ModifierSymbols, FixedOrderWhateverTheBits) {
  EXPECT_EQ(modifierSymbols(0x1E0000), "⌃⌥⇧⌘");
  EXPECT_EQ(modifierSymbols(0xFFFFFFFFFFFFFFFF), "⌃⌥⇧⌘") << "other flags add nothing";
  EXPECT_EQ(modifierSymbols(0x10000), "");
}

}  // namespace
}  // namespace quorvelle
