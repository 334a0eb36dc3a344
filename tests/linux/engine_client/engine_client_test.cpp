// The application's side against the real engine service on a socket in a
// temporary folder, the service's loop on a thread of its own: trust, the tap
// and what reaches the virtual keyboard, reconnecting with replay, busy and
// refused answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "linux/engine_client/engine_tap_system.h"
#include "linux/engine_client/engine_trust.h"
#include "linux/process_util.h"
#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct RecordingPrompt : AccessPrompt {
  void show(const std::string& why) override { shown.push_back(why); }
  void withdraw() override { ++withdrawn; }
  std::vector<std::string> shown;
  int withdrawn = 0;
};

struct EngineClientTest : ::testing::Test {
  EngineClientTest() { h.plug("event0").capsLockLight = true; }
  ~EngineClientTest() override {
    for (int fd : others) ::close(fd);
  }

  std::unique_ptr<EventTap> createTap() { return taps.createTap(kKeyEventMask, nullptr, nullptr); }
  // Another client of this user (the key mapping tool, a second Quorvelle),
  // its request answered.
  int other(const Message& request) {
    others.push_back(connectTo(path));
    if (!sendMessage(others.back(), request) || !awaitMessage(others.back(), MessageType::Status)) std::abort();
    return others.back();
  }
  void type(std::uint16_t code, std::int32_t value) { send(h.device("event0").testFd, frame(code, value)); }
  // What the virtual keyboard writes until count lines have come; the
  // application's loop runs meanwhile, so it answers the pings.
  std::vector<std::string> output(std::size_t count) {
    std::vector<std::string> lines;
    serveUntil(loop, [&] {
      for (const std::string& line : receive(h.devices->virtualTestFd)) lines.push_back(line);
      return lines.size() >= count;
    }, 10);
    return lines;
  }

  ServiceHarness h{{.pingSeconds = 0.05, .silenceSeconds = 2.5}};
  const std::string path = h.listen();
  std::vector<int> others;
  PollRunLoop loop;  // the application's
  sim::RecordingLog log;
  EngineTapSystem taps{loop, loop, log, path};
  ServiceThread service{h};
};

TEST_F(EngineClientTest, TrustIsServedOrBusyAndOnlyAMissingServiceIsPrompted) {
  RecordingPrompt prompt;
  EngineTrust missing(prompt, h.dir.file("none.sock"));
  EXPECT_FALSE(missing.isTrusted());
  EXPECT_TRUE(prompt.shown.empty()) << "asked without the prompt";
  EXPECT_FALSE(missing.isTrustedPrompting());
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_THAT(prompt.shown[0], HasSubstr(h.dir.file("none.sock")));

  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u) << "who is served is decided per connection";
  EngineTrust trust(prompt, path);
  EXPECT_TRUE(trust.isTrustedPrompting());
  other(message(MessageType::Start));
  // Each check closes its connection, or the service would be full by now.
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(trust.isTrusted()) << "busy is trusted, check " << i;
  h.seat.switchTo(::getuid() + 1);
  EXPECT_FALSE(trust.isTrustedPrompting());
  EXPECT_EQ(prompt.shown.size(), 1u) << "a grant does not help a service that is there";
  EXPECT_EQ(prompt.withdrawn, 22);

  std::string why;
  const std::optional<int> silent = listenAt(h.dir.file("silent.sock"), &why);  // nobody accepts
  ASSERT_TRUE(silent) << why;
  EXPECT_FALSE(EngineTrust(prompt, h.dir.file("silent.sock")).isTrusted()) << "no answer within the bound";
  ::close(*silent);
}

TEST_F(EngineClientTest, AServedTapCarriesTheCoresChoicesToTheKeysAndStopsWhenItEnds) {
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap);
  EXPECT_FALSE(createTap()) << "one tap at a time";
  tap->setInjectedFlags(kControlFlag | kShiftFlag);
  taps.hidSystem().setCapsLockStateOff();
  tap->setEnabled(true);
  other(mappingMessage({{KEY_CAPSLOCK, KEY_F18}}));
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  EXPECT_THAT(output(11), ElementsAre("CAPS 1", "SYN", "CAPS 0", "SYN", "LCTRL 1", "SYN", "LSHIFT 1", "SYN",
                                      "MSC 7001e", "A 1", "SYN"));
  // The service said so before the key left: no run loop needed.
  EXPECT_TRUE(taps.isKeyPressedByTap(KEY_LEFTCTRL));
  EXPECT_TRUE(taps.isKeyPressedByTap(KEY_LEFTSHIFT));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTALT));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_RIGHTCTRL));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_A));
  serveUntil(loop, [] { return false; }, 3.0);  // past the silence bound, answering pings

  tap.reset();
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTCTRL));
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: an event tap exists already"));
  EXPECT_TRUE(eventually([&] { return !receive(h.devices->virtualTestFd).empty(); })) << "keys released";
  service.pause();
  EXPECT_EQ(h.logged("Quorvelle engine: released: stopped"), 1) << "said, not a dropped connection";
  EXPECT_EQ(h.logged("Quorvelle engine: released: client not answering"), 0);
}

TEST_F(EngineClientTest, AfterASessionSwitchTheTapComesBackWithItsModifiersMappingAndEnable) {
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap);
  tap->setInjectedFlags(kCommandFlag);
  tap->setEnabled(true);
  other(mappingMessage({{KEY_CAPSLOCK, KEY_F18}}));
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  EXPECT_THAT(output(5), ElementsAre("LMETA 1", "SYN", "MSC 7001e", "A 1", "SYN"));
  EXPECT_TRUE(taps.isKeyPressedByTap(KEY_LEFTMETA));
  type(KEY_A, 0);
  type(KEY_CAPSLOCK, 0);
  output(5);

  // While this process is busy elsewhere: a ping (the holder, connected
  // first, is pinged before the tool), a new mapping, the refusal and the
  // end, all read at once. The pong cannot go out; the mapping must still be
  // read.
  others.push_back(connectTo(path));
  ASSERT_TRUE(awaitMessage(others.back(), MessageType::Ping));
  other(mappingMessage({{KEY_CAPSLOCK, KEY_F18}, {KEY_A, KEY_B}}));
  h.seat.switchTo(::getuid() + 1);
  service.pause();
  ASSERT_TRUE(h.loop.runUntil([&] { return !h.service->serving(); }, 5.0));
  service.resume();
  ASSERT_TRUE(serveUntil(loop, [&] { return !log.lines.empty(); }, 10));
  EXPECT_FALSE(taps.isKeyPressedByTap(KEY_LEFTMETA)) << "what the old connection said is gone with it";
  serveUntil(loop, [] { return false; }, 2.5);  // two retries
  service.pause();
  const std::string me = std::to_string(::getuid());
  EXPECT_EQ(h.logged("Quorvelle engine: refused user " + me + ": not the active session"), 0)
      << "the retries only ask: nothing for the service to log every second";
  service.resume();

  h.seat.switchTo(::getuid());
  const std::string again = "Quorvelle: the engine service serves this process again";
  ASSERT_TRUE(serveUntil(loop, [&] { return log.lines.back() == again; }, 10));
  type(KEY_CAPSLOCK, 1);
  type(KEY_A, 1);
  EXPECT_THAT(output(5), ElementsAre("LMETA 1", "SYN", "MSC 7001e", "B 1", "SYN"))
      << "the service forgot the mapping with the release: only the replay brings it";
  ASSERT_EQ(log.lines.size(), 2u) << "the refusal read, then the return";
  EXPECT_THAT(log.lines[0], HasSubstr("does not own the active session"));
}

TEST_F(EngineClientTest, BusyKeepsTryingUntilServedWhileRefusedSilentOrMissingIsNoTap) {
  const int first = other(message(MessageType::Start));
  std::unique_ptr<EventTap> tap = createTap();
  ASSERT_TRUE(tap) << "busy is a tap that waits";
  tap->setEnabled(true);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_THAT(log.lines[0], HasSubstr("another Quorvelle of this user holds the engine"));
  serveUntil(loop, [] { return false; }, 1.2);  // one retry, within the other's silence bound
  EXPECT_EQ(log.lines.size(), 1u) << "the same answer is logged once";

  ::close(first);  // the other one quits
  std::erase(others, first);
  ASSERT_TRUE(serveUntil(loop, [&] { return log.lines.size() == 2; }, 10));
  EXPECT_EQ(log.lines[1], "Quorvelle: the engine service serves this process again");
  tap.reset();

  h.seat.switchTo(::getuid() + 1);
  EXPECT_FALSE(createTap());
  EXPECT_THAT(log.lines.back(), HasSubstr("does not own the active session"));
  std::string why;
  const std::optional<int> silent = listenAt(h.dir.file("silent.sock"), &why);
  ASSERT_TRUE(silent) << why;
  EngineTapSystem unanswered(loop, loop, log, h.dir.file("silent.sock"), /*answerSeconds=*/0.3);
  EXPECT_FALSE(unanswered.createTap(kKeyEventMask, nullptr, nullptr));
  EXPECT_THAT(log.lines.back(), HasSubstr("did not answer"));
  ::close(*silent);
  EngineTapSystem missing(loop, loop, log, h.dir.file("none.sock"));
  EXPECT_FALSE(missing.createTap(kKeyEventMask, nullptr, nullptr));
  EXPECT_THAT(log.lines.back(), HasSubstr("no engine service: " + h.dir.file("none.sock")));
}

}  // namespace
}  // namespace quorvelle::testing_support
