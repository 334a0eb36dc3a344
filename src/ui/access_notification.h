#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <string>

#include "linux/engine_client/access_prompt.h"
#include "platform/log.h"

namespace quorvelle {

// Asks for input access with a desktop notification (freedesktop
// Notifications on the session bus) whose action starts the grant. A new
// request replaces the one still shown. Nothing here waits for the bus:
// without a notification service the request becomes a line in the log.
class AccessNotification : public QObject, public AccessPrompt {
  Q_OBJECT

 public:
  AccessNotification(QDBusConnection bus, std::function<void()> grant, Log& log, QString iconPath = {});

  void show(const std::string& why) override;
  void withdraw() override;

  // The id of the notification shown now, 0 for none.
  uint shownId() const { return id_; }

  static constexpr char kAppName[] = "Quorvelle";
  static constexpr char kSummary[] = "Input access required";
  static constexpr char kBody[] =
      "Quorvelle turns Caps Lock into a hyper key once it may read the keyboards. "
      "Grant access and it starts by itself.";
  static constexpr char kGrantAction[] = "grant";
  static constexpr char kGrantActionLabel[] = "Grant Access…";
  static constexpr int kCallTimeoutMs = 5000;

 private slots:
  void actionInvoked(uint id, const QString& action);
  void notificationClosed(uint id, uint reason);

 private:
  void listen();
  void logInstead(const std::string& why, const QString& error);

  QDBusConnection bus_;
  std::function<void()> grant_;
  Log& log_;
  QString iconPath_;
  bool listening_ = false;
  uint id_ = 0;
  // A withdraw() while the request is still on its way closes it on arrival.
  bool pending_ = false;
  bool withdrawn_ = false;
};

}  // namespace quorvelle
