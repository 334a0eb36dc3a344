#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/content_windows.h"
#include "sim/sim_desktop.h"

namespace quorvelle::sim {

class SimContentWindows;

// A content window that records how it was set up and sits in the simulated
// application's window list while it exists.
class SimContentWindow : public ContentWindow {
 public:
  SimContentWindow(SimContentWindows& owner, std::string content, ContentSize fitting);
  ~SimContentWindow() override;

  bool isVisible() const override { return visible; }
  std::string title() const override { return title_; }
  std::uint32_t styleMask() const override { return styleMask_; }
  void makeKeyAndOrderFront() override {
    visible = true;
    steps.push_back("key and front");
  }
  ContentSize fittingSize() const override { return fitting_; }
  void setTitle(const std::string& title) override {
    title_ = title;
    steps.push_back("title " + title);
  }
  void setStyleMask(std::uint32_t mask) override {
    styleMask_ = mask;
    steps.push_back("style " + std::to_string(mask));
  }
  void setContentMinSize(ContentSize size) override {
    minSize = size;
    steps.push_back("min size");
  }
  void setContentSize(ContentSize size) override {
    this->size = size;
    steps.push_back("size");
  }
  void center() override { steps.push_back("center"); }
  void setReleasedWhenClosed(bool released) override {
    releasedWhenClosed = released;
    steps.push_back(released ? "released when closed" : "kept when closed");
  }
  void showWindow() override {
    visible = true;
    steps.push_back("show");
  }

  const std::string content;
  bool visible = false;
  ContentSize size;
  ContentSize minSize;
  bool releasedWhenClosed = true;
  std::vector<std::string> steps;

 private:
  SimContentWindows& owner_;
  ContentSize fitting_;
  std::string title_;
  std::uint32_t styleMask_ = 0;
};

class SimContentWindows : public ContentWindows {
 public:
  explicit SimContentWindows(SimApplication& application) : application(application) {}

  std::unique_ptr<ContentWindow> makeSettingsWindow(Config&, UpdateController&) override {
    ++settingsBuilt;
    return std::make_unique<SimContentWindow>(*this, "settings", ContentSize{420, settingsHeight});
  }
  std::unique_ptr<ContentWindow> makeAboutWindow() override {
    ++aboutBuilt;
    return std::make_unique<SimContentWindow>(*this, "about", ContentSize{300, 260});
  }

  SimContentWindow* find(const std::string& content) const {
    for (SimContentWindow* window : live)
      if (window->content == content) return window;
    return nullptr;
  }

  SimApplication& application;
  std::vector<SimContentWindow*> live;
  double settingsHeight = 377;
  int settingsBuilt = 0;
  int aboutBuilt = 0;
};

inline SimContentWindow::SimContentWindow(SimContentWindows& owner, std::string content, ContentSize fitting)
    : content(std::move(content)), owner_(owner), fitting_(fitting) {
  owner_.live.push_back(this);
  owner_.application.extraWindows.push_back(this);
}

inline SimContentWindow::~SimContentWindow() {
  std::erase(owner_.live, this);
  std::erase(owner_.application.extraWindows, static_cast<Window*>(this));
}

}  // namespace quorvelle::sim
