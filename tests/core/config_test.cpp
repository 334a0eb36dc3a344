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

struct EnabledCase {
  PropertyValue stored;
  bool expected;
};

TEST(ConfigLoading, EnabledAcceptsOnlyBooleansAndExactZeroOrOne) {
  const EnabledCase cases[] = {
      {true, true},
      {false, false},
      {std::int64_t{0}, false},
      {std::int64_t{1}, true},
      {std::uint64_t{0}, false},
      {std::int64_t{2}, true},
      {std::int64_t{-1}, true},
      {0.0, false},
      {1.0, true},
      {std::string("NO"), true},
      {std::string("0"), true},
      {std::monostate{}, true},
  };
  for (const EnabledCase& c : cases) {
    sim::MemoryDefaultsStore store;
    store.values["enabled"] = c.stored;
    EXPECT_EQ(Config(store).enabled(), c.expected) << "stored variant index " << c.stored.index();
    EXPECT_EQ(store.writes, 0);
  }
}

TEST(ConfigLoading, ModifierFlagsTakesAnyNumberAsItIs) {
  const std::pair<PropertyValue, std::uint64_t> cases[] = {
      {std::uint64_t{0}, 0},  // the empty set, not the default
      {std::int64_t{0}, 0},
      {std::uint64_t{0x120000}, 0x120000},
      {std::uint64_t{0xFFFFFFFFFFFFFFFF}, 0xFFFFFFFFFFFFFFFF},
      {std::int64_t{-1}, 0xFFFFFFFFFFFFFFFF},
      {true, 1},
      {false, 0},
      {2.9, 2},
      // Reals at the ends of the integer ranges (2^64 and -2^63 are exact).
      {18446744073709549568.0, 18446744073709549568u},  // the greatest below 2^64
      {-9223372036854775808.0, 0x8000000000000000},
      {18446744073709551616.0, 0}, {-9223372036854777856.0, 0},  // out of range: 2^64, the next below -2^63
      {std::string("1835008"), 0x1C0000},  // text is not a number
      {std::monostate{}, 0x1C0000},
  };
  for (const auto& [stored, expected] : cases) {
    sim::MemoryDefaultsStore store;
    store.values["modifierFlags"] = stored;
    EXPECT_EQ(Config(store).modifiers(), expected) << "stored variant index " << stored.index();
  }
}

TEST(ConfigLoading, HideMenuBarIconReadsAsABoolean) {
  const std::pair<PropertyValue, bool> cases[] = {
      {true, true},        {false, false},          {std::int64_t{5}, true},
      {std::string("YES"), true}, {std::string("no"), false}, {std::monostate{}, false},
  };
  for (const auto& [stored, expected] : cases) {
    sim::MemoryDefaultsStore store;
    store.values["hideMenuBarIcon"] = stored;
    EXPECT_EQ(Config(store).hideMenuBarIcon(), expected) << "stored variant index " << stored.index();
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
