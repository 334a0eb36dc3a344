#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

#include "install/command_line_tool.h"
#include "platform/bundle.h"
#include "platform/content_windows.h"
#include "settings/settings_view.h"
#include "ui/qt_application.h"
#include "ui/qt_menu.h"

namespace quorvelle {

// A top-level window around one content widget. It belongs to this object:
// closing it only hides it, and destroying this object releases it (later, as
// it may be closing right now).
class QtContentWindow : public ContentWindow {
 public:
  // host is the window; its content is already inside.
  QtContentWindow(QtApplication& application, QWidget* host);
  ~QtContentWindow() override;

  bool isVisible() const override;
  std::string title() const override { return title_; }
  std::uint32_t styleMask() const override { return styleMask_; }
  void makeKeyAndOrderFront() override;

  ContentSize fittingSize() const override;
  void setTitle(const std::string& title) override;
  void setStyleMask(std::uint32_t styleMask) override;
  void setContentMinSize(ContentSize size) override;
  void setContentSize(ContentSize size) override;
  void center() override;
  // The window always belongs to this object, so closing only hides it
  // either way; it is released with this object.
  void setReleasedWhenClosed(bool) override {}
  void showWindow() override;

  QWidget* widget() const { return host_; }

 private:
  QtApplication& application_;
  QPointer<QWidget> host_;
  std::string title_;
  std::uint32_t styleMask_ = 0;
};

// Builds the settings and About windows. Linux has no menu bar: the
// application commands ("About Quorvelle", "Check for Updates…") are offered
// by the settings window, in the menu of its "⋯" button at the bottom right
// and in its context menu (a right click anywhere on the window).
class QtContentWindows : public ContentWindows {
 public:
  QtContentWindows(QtApplication& application, SettingsServices services, CommandLineTool& commandLineTool,
                   const Bundles& bundles);
  ~QtContentWindows() override;

  // The menu the settings windows offer; the application fills it.
  Menu& applicationMenu() { return applicationMenu_; }

  std::unique_ptr<ContentWindow> makeSettingsWindow(Config& config, UpdateController& updates) override;
  std::unique_ptr<ContentWindow> makeAboutWindow() override;

  // The object name of the settings window's menu button.
  static constexpr char kMenuButtonName[] = "applicationMenuButton";

 private:
  QtApplication& application_;
  SettingsServices services_;
  CommandLineTool& commandLineTool_;
  const Bundles& bundles_;
  QtMenu applicationMenu_;
};

}  // namespace quorvelle
