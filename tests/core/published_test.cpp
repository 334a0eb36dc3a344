// Delivery rules of published values: the current value on the main queue,
// and cancellation. The synchronous rules (current value first, drop-first,
// every assignment) are checked on Config's settings; that a change reaches
// the main queue later, where the delegate and the settings content take it.
#include "config/published.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_run_loop.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

struct Owner {
  WillChangeSignal willChange;
  Published<int> value{1, willChange};
};

TEST(Published, OnTheMainQueueEvenTheCurrentValueComesLater) {
  sim::SimRunLoop loop;
  Owner owner;
  std::vector<int> seen;
  Cancellable c = owner.value.subscribe([&](int v) { seen.push_back(v); }, {.mainQueue = &loop});
  EXPECT_TRUE(seen.empty()) << "even the current value waits for the queue";
  loop.drain();
  EXPECT_THAT(seen, ElementsAre(1));
}

TEST(Published, CancellingStopsDeliveryIncludingQueuedValues) {
  sim::SimRunLoop loop;
  Owner owner;
  std::vector<int> sync, queued;
  {
    Cancellable a = owner.value.subscribe([&](int v) { sync.push_back(v); }, {.dropFirst = true});
    Cancellable b = owner.value.subscribe([&](int v) { queued.push_back(v); },
                                          {.dropFirst = true, .mainQueue = &loop});
    owner.value.set(3);
  }
  owner.value.set(4);
  loop.drain();
  EXPECT_THAT(sync, ElementsAre(3));
  EXPECT_TRUE(queued.empty()) << "the value queued before cancellation is not delivered";
}

TEST(Published, HandlerMayCancelAnotherDuringDelivery) {
  Owner owner;
  std::vector<std::string> seen;
  Cancellable second;
  Cancellable first = owner.value.subscribe(
      [&](int v) {
        seen.push_back("first " + std::to_string(v));
        second.cancel();
      },
      {.dropFirst = true});
  second = owner.value.subscribe([&](int v) { seen.push_back("second " + std::to_string(v)); },
                                 {.dropFirst = true});
  owner.value.set(7);
  EXPECT_THAT(seen, ElementsAre("first 7"));
}

}  // namespace
}  // namespace quorvelle
