// The hyper state machine as a table: each case is a script of input lines,
// each line an event and what applications must receive.
//
//   down A            -> same          the event passes unchanged
//   down A 0x20000    -> 0x1e0000      the event passes with these flags
//   down F18          -> dropped
//   lose up F18       the key goes up physically but the tap never sees it
//   inject 0x100000   the shell writes injectedFlags
//   timeout | userinput -> same        a tap-disabled notification
//   other 12          -> same          an event of another type
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/hyper_key_manager.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

const std::map<std::string, std::uint16_t> kKeys = {
    {"A", 0}, {"B", 11}, {"Shift", 56}, {"F18", sim::SimEventTapSystem::kF18}};

struct Case {
  const char* name;
  const char* script;
};

const Case kCases[] = {
    {"keys pass unchanged without hyper", R"(
        down A          -> same
        up A            -> same
        down B 0x20000  -> 0x20000
    )"},
    {"F18 is swallowed and adds the flags to key downs and ups while held", R"(
        down F18        -> dropped
        down A          -> 0x1c0000
        up A            -> 0x1c0000
        up F18          -> dropped
        down A          -> same
    )"},
    {"flags already on the event stay", R"(
        down F18        -> dropped
        down A 0x20000  -> 0x1e0000
        down B 0x1      -> 0x1c0001
    )"},
    {"auto-repeated F18 downs are dropped and keep hyper held", R"(
        down F18        -> dropped
        down F18        -> dropped
        down F18        -> dropped
        down F18        -> dropped
        down A          -> 0x1c0000
        down A          -> 0x1c0000
        up A            -> 0x1c0000
    )"},
    {"an F18 up without a down is dropped and changes nothing", R"(
        up F18          -> dropped
        down A          -> same
    )"},
    {"a missed F18 release is found at the next key, which passes unchanged", R"(
        down F18        -> dropped
        lose up F18
        down A          -> same
        down B          -> same
        up B            -> same
    )"},
    {"a stale hold is not revived when F18 goes down again without the tap seeing it", R"(
        down F18        -> dropped
        lose up F18
        down A          -> same
        lose down F18
        down B          -> same
    )"},
    {"injectedFlags of 0 leaves events as they are but still swallows F18", R"(
        inject 0
        down F18        -> dropped
        down A 0x20000  -> 0x20000
        up F18          -> dropped
    )"},
    {"injectedFlags changed mid-hold reaches the very next event", R"(
        down F18        -> dropped
        down A          -> 0x1c0000
        inject 0x120000
        up A            -> 0x120000
        down B          -> 0x120000
    )"},
    {"either tap-disabled notification forgets the hold and passes unchanged; F18 held again works", R"(
        down F18        -> dropped
        timeout         -> same
        down A          -> same
        down F18        -> dropped
        userinput       -> same
        down A          -> same
        down F18        -> dropped
        down A          -> 0x1c0000
    )"},
    {"other event types pass and leave the hold alone", R"(
        down F18        -> dropped
        other 12        -> same
        other 0         -> same
        down A          -> 0x1c0000
    )"},
    {"a physical modifier held with hyper keeps its own flag", R"(
        down F18           -> dropped
        down Shift 0x20000 -> 0x1e0000
        down A 0x20000     -> 0x1e0000
        up A 0x20000       -> 0x1e0000
        up Shift           -> 0x1c0000
    )"},
};

std::uint64_t parseNumber(const std::string& text) { return std::stoull(text, nullptr, 0); }

class HyperKeyTable : public testing::TestWithParam<Case> {};

TEST_P(HyperKeyTable, Script) {
  sim::SimEventTapSystem taps;
  sim::RecordingProcessLauncher launcher;
  sim::SimHidSystem hid;
  sim::RecordingLog log;
  KeyMapping mapping(launcher, hid, log, "/tool");
  HyperKeyManager manager(taps, mapping);
  ASSERT_TRUE(manager.start());
  sim::SimEventTap& tap = *taps.tap();

  std::istringstream script(GetParam().script);
  std::string line;
  int lineNumber = 0;
  while (std::getline(script, line)) {
    ++lineNumber;
    std::string input = line.substr(0, line.find("->"));
    std::string expected = line.find("->") == std::string::npos ? "" : line.substr(line.find("->") + 2);
    std::istringstream words(input);
    std::string verb;
    if (!(words >> verb)) continue;
    SCOPED_TRACE("line " + std::to_string(lineNumber) + ": " + line);
    std::istringstream expectedWords(expected);
    std::string outcome;
    expectedWords >> outcome;

    if (verb == "inject") {
      std::string value;
      words >> value;
      manager.setInjectedFlags(parseNumber(value));
      continue;
    }
    if (verb == "lose") {
      std::string direction, key;
      words >> direction >> key;
      if (direction == "up") taps.physicallyDown.erase(kKeys.at(key));
      else taps.physicallyDown.insert(kKeys.at(key));
      continue;
    }
    if (verb == "timeout" || verb == "userinput") {
      std::uint32_t type = verb == "timeout" ? kTapDisabledByTimeout : kTapDisabledByUserInput;
      tap.setEnabled(false);  // the system disables the tap before it notifies
      KeyEvent event{type, 0, 0};
      KeyEvent* result = HyperKeyManager::tapCallback(type, &event, &manager);
      EXPECT_EQ(result, &event);
      EXPECT_TRUE(tap.enabled()) << "the handler re-enables the tap";
      continue;
    }
    std::uint32_t type = 0;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    if (verb == "other") {
      std::string value;
      words >> value;
      type = static_cast<std::uint32_t>(parseNumber(value));
    } else {
      std::string key, flagText;
      words >> key;
      if (words >> flagText) flags = parseNumber(flagText);
      type = verb == "down" ? kKeyDownEvent : kKeyUpEvent;
      keyCode = kKeys.at(key);
      if (type == kKeyDownEvent) taps.physicallyDown.insert(keyCode);
      else taps.physicallyDown.erase(keyCode);
    }
    std::optional<KeyEvent> out = tap.deliver(type, keyCode, flags);
    if (outcome == "dropped") {
      EXPECT_FALSE(out.has_value());
    } else {
      ASSERT_TRUE(out.has_value());
      EXPECT_EQ(out->type, type);
      EXPECT_EQ(out->keyCode, keyCode);
      EXPECT_EQ(out->flags, outcome == "same" ? flags : parseNumber(outcome));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, HyperKeyTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c; ++c)
                             name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                           return name;
                         });

}  // namespace
}  // namespace quorvelle
