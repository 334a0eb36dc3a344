#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/update_window.h"
#include "platform/workspace.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvelle {

// The updater's window: a headline, a message, links opened through the
// workspace, a busy bar while checking, and one button that closes it.
// Closing it never quits the application.
class QtUpdateWindow : public UpdateWindow {
 public:
  explicit QtUpdateWindow(Workspace& workspace);
  ~QtUpdateWindow() override;

  void show(const UpdateWindowContent& content, bool activate) override;
  void setHandlers(std::function<void()> onAttention, std::function<void()> onClosed) override;

  QWidget* widget() const { return widget_.get(); }

 private:
  class Events;
  void openLink(const QString& href);

  Workspace& workspace_;
  std::unique_ptr<QWidget> widget_;
  QLabel* headline_;
  QLabel* message_;
  QLabel* links_;
  QProgressBar* busy_;
  QPushButton* button_;
  UpdateWindowContent content_;
  std::function<void()> onAttention_;
  std::function<void()> onClosed_;
};

}  // namespace quorvelle
