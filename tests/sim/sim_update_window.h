#pragma once

#include <functional>
#include <vector>

#include "platform/update_window.h"

namespace quorvelle::sim {

// The updater's window: what it shows and whether it took the focus.
class SimUpdateWindow : public UpdateWindow {
 public:
  void show(const UpdateWindowContent& content, bool activate) override {
    shown.push_back(content);
    activations += activate ? 1 : 0;
    if (activate) userAttends();
  }
  void setHandlers(std::function<void()> attention, std::function<void()> closed) override {
    onAttention = std::move(attention);
    onClosed = std::move(closed);
  }

  // The user clicks into the window, or closes it.
  void userAttends() { onAttention(); }
  void userCloses() { onClosed(); }
  const UpdateWindowContent& current() const { return shown.back(); }

  std::vector<UpdateWindowContent> shown;
  int activations = 0;

 private:
  std::function<void()> onAttention;
  std::function<void()> onClosed;
};

}  // namespace quorvelle::sim
