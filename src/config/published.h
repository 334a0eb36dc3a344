#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/run_loop.h"

namespace quorvelle {

// Ends a subscription when destroyed (or cancelled); later values are not
// delivered, not even those already queued for the main queue.
class Cancellable {
 public:
  Cancellable() = default;
  explicit Cancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Cancellable(Cancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Cancellable& operator=(Cancellable&& other) noexcept {
    if (this != &other) {
      cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Cancellable(const Cancellable&) = delete;
  Cancellable& operator=(const Cancellable&) = delete;
  ~Cancellable() { cancel(); }

  void cancel() {
    if (cancel_) std::exchange(cancel_, nullptr)();
  }

 private:
  std::function<void()> cancel_;
};

// Handlers called in the order they subscribed. A handler may subscribe or
// cancel others while it runs; a cancelled handler is not called again.
template <typename Value>
class HandlerList {
 public:
  using Handler = std::function<void(const Value&)>;

  Cancellable add(Handler handler) {
    auto entry = std::make_shared<Entry>(Entry{std::move(handler), true});
    entries_->push_back(entry);
    std::weak_ptr<std::vector<std::shared_ptr<Entry>>> weakEntries = entries_;
    return Cancellable([weakEntries, entry] {
      entry->active = false;
      if (auto entries = weakEntries.lock()) std::erase(*entries, entry);
    });
  }

  void call(const Value& value) const {
    std::vector<std::shared_ptr<Entry>> snapshot = *entries_;
    for (const auto& entry : snapshot) {
      if (entry->active) entry->handler(value);
    }
  }

 private:
  struct Entry {
    Handler handler;
    bool active;
  };
  std::shared_ptr<std::vector<std::shared_ptr<Entry>>> entries_ =
      std::make_shared<std::vector<std::shared_ptr<Entry>>>();
};

// Signals that an object is about to change.
class WillChangeSignal {
 public:
  Cancellable subscribe(std::function<void()> handler) {
    return handlers_.add([handler = std::move(handler)](const bool&) { handler(); });
  }
  void send() const { handlers_.call(true); }

 private:
  HandlerList<bool> handlers_;
};

// How a subscriber receives a published value's changes.
struct Delivery {
  // Skip the current value that a new subscriber otherwise receives at once.
  bool dropFirst = false;
  // Deliver each value on a later turn of this main queue instead of
  // synchronously inside the assignment.
  RunLoop* mainQueue = nullptr;
};

// An observable value. Assigning announces the change on the owner's
// will-change signal, delivers the new value to the subscribers (which still
// read the old value through get()), then stores it.
template <typename T>
class Published {
 public:
  using Handler = std::function<void(const T&)>;

  Published(T initial, WillChangeSignal& ownerWillChange)
      : value_(std::move(initial)), ownerWillChange_(ownerWillChange) {}

  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

  const T& get() const { return value_; }

  void set(T value) {
    ownerWillChange_.send();
    subscribers_.call(value);
    value_ = std::move(value);
  }

  // The subscriber receives the current value at once (unless dropped), then
  // every assigned value.
  [[nodiscard]] Cancellable subscribe(Handler handler, Delivery delivery = {}) {
    if (!delivery.mainQueue) {
      if (!delivery.dropFirst) handler(value_);
      return subscribers_.add(std::move(handler));
    }
    // Values travel through the main queue; one still queued when the
    // subscription ends is not delivered.
    auto live = std::make_shared<bool>(true);
    Handler posting = [live, queue = delivery.mainQueue, handler = std::move(handler)](const T& value) {
      queue->post([live, handler, value] {
        if (*live) handler(value);
      });
    };
    if (!delivery.dropFirst) posting(value_);
    auto inner = std::make_shared<Cancellable>(subscribers_.add(std::move(posting)));
    return Cancellable([live, inner] {
      *live = false;
      inner->cancel();
    });
  }

 private:
  T value_;
  WillChangeSignal& ownerWillChange_;
  HandlerList<T> subscribers_;
};

}  // namespace quorvelle
