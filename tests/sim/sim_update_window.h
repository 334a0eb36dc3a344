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
    visible = true;
    activations += activate ? 1 : 0;
    if (activate) userAttends();
  }
  void setHandlers(std::function<void()> attention, std::function<void()> closed) override {
    onAttention = std::move(attention);
    onClosed = std::move(closed);
  }

  // The user clicks into the window, or closes it.
  void userAttends() {
    if (visible && onAttention) onAttention();
  }
  void userCloses() {
    visible = false;
    if (onClosed) onClosed();
  }
  const UpdateWindowContent& current() const { return shown.back(); }

  std::vector<UpdateWindowContent> shown;
  bool visible = false;
  int activations = 0;
  std::function<void()> onAttention;
  std::function<void()> onClosed;
};

}  // namespace quorvelle::sim
