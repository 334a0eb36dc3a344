#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/alerts.h"
#include "platform/application.h"
#include "platform/updater.h"
#include "platform/workspace.h"
#include "sim/journal.h"

namespace quorvelle::sim {

class SimWindow : public Window {
 public:
  SimWindow(std::string title, std::uint32_t styleMask, bool visible = true)
      : visible(visible), title_(std::move(title)), styleMask_(styleMask) {}
  bool isVisible() const override { return visible; }
  std::string title() const override { return title_; }
  std::uint32_t styleMask() const override { return styleMask_; }
  void makeKeyAndOrderFront() override {
    visible = true;
    ++timesBroughtFront;
  }

  bool visible;
  int timesBroughtFront = 0;

 private:
  std::string title_;
  std::uint32_t styleMask_;
};

class SimApplication : public Application {
 public:
  void setActivationPolicy(ActivationPolicy policy) override {
    policy_ = policy;
    calls.push_back(policy == ActivationPolicy::Regular ? "policy regular" : "policy accessory");
  }
  ActivationPolicy activationPolicy() const override { return policy_; }
  void activateIgnoringOtherApps() override { calls.push_back("activate"); }
  std::vector<Window*> windows() const override {
    std::vector<Window*> list;
    for (const auto& w : ownWindows) list.push_back(w.get());
    for (Window* w : extraWindows) list.push_back(w);
    return list;
  }
  void terminate() override {
    ++terminations;
    calls.push_back("terminate");
  }
  void setBadgeLabel(const std::string& label) override {
    badge = label;
    calls.push_back("badge '" + label + "'");
  }

  void addWindowWillCloseObserver(std::function<void(Window*)> observer) override {
    closeObservers.push_back(std::move(observer));
  }
  // The user closes the window: observers hear of it first, then it leaves
  // the screen.
  void closeWindow(SimWindow& window) {
    for (const auto& observer : closeObservers) observer(&window);
    window.visible = false;
  }

  SimWindow& addWindow(std::string title, std::uint32_t styleMask, bool visible = true) {
    ownWindows.push_back(std::make_unique<SimWindow>(std::move(title), styleMask, visible));
    return *ownWindows.back();
  }

  std::vector<std::unique_ptr<SimWindow>> ownWindows;
  std::vector<Window*> extraWindows;  // windows owned by the code under test
  std::vector<std::string> calls;
  std::vector<std::function<void(Window*)>> closeObservers;
  std::string badge;
  int terminations = 0;

 private:
  ActivationPolicy policy_ = ActivationPolicy::Accessory;
};

// Answers alerts from a script; an alert with no scripted answer gets the
// first button.
class SimAlerts : public Alerts {
 public:
  AlertResponse runModal(const Alert& alert) override {
    shown.push_back(alert);
    if (onShow) onShow();
    if (answers.empty()) return {};
    AlertResponse answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<Alert> shown;
  std::deque<AlertResponse> answers;
  // Runs while an alert is up, as events do in its modal loop.
  std::function<void()> onShow;
};

class SimWorkspace : public Workspace {
 public:
  bool openURL(const std::string& url) override {
    openedURLs.push_back(url);
    return true;
  }
  void openApplication(const std::string& bundlePath,
                       std::function<void(std::optional<std::string>)> completion) override {
    openedApplications.push_back(bundlePath);
    pendingCompletions.push_back(std::move(completion));
  }
  // Finishes the oldest open with the given outcome.
  void completeOpen(std::optional<std::string> error = std::nullopt) {
    auto completion = std::move(pendingCompletions.front());
    pendingCompletions.erase(pendingCompletions.begin());
    completion(std::move(error));
  }
  std::vector<std::string> openedURLs;
  std::vector<std::string> openedApplications;
  std::vector<std::function<void(std::optional<std::string>)>> pendingCompletions;
};

class SimAccessibilityTrust : public AccessibilityTrust {
 public:
  explicit SimAccessibilityTrust(Journal* journal = nullptr) : journal_(journal) {}
  bool isTrustedPrompting() override {
    if (journal_) journal_->add(trusted ? "trust checked" : "trust prompt");
    if (!trusted) ++prompts;
    return trusted;
  }
  bool isTrusted() const override { return trusted; }
  bool trusted = false;
  int prompts = 0;

 private:
  Journal* journal_;
};

class SimUpdaterController : public UpdaterController {
 public:
  SimUpdaterController(UpdaterDelegate& delegate, Journal* journal) : delegate(delegate), journal_(journal) {}
  void startUpdater() override {
    ++starts;
    if (journal_) journal_->add("updater started");
  }
  void checkForUpdates() override { ++userChecks; }
  bool automaticallyChecksForUpdates() const override { return automatic; }
  void setAutomaticallyChecksForUpdates(bool value) override { automatic = value; }

  UpdaterDelegate& delegate;
  int starts = 0;
  int userChecks = 0;
  bool automatic = true;

 private:
  Journal* journal_;
};

class SimUpdater : public Updater {
 public:
  explicit SimUpdater(Journal* journal = nullptr) : journal_(journal) {}
  std::unique_ptr<UpdaterController> createController(UpdaterDelegate& delegate) override {
    auto controller = std::make_unique<SimUpdaterController>(delegate, journal_);
    created = controller.get();
    ++creations;
    return controller;
  }
  SimUpdaterController* created = nullptr;
  int creations = 0;

 private:
  Journal* journal_;
};

}  // namespace quorvelle::sim
