#include "ui/access_notification.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace quorvelle {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// Clicking the notification itself starts the grant too.
const QString kDefaultAction = QStringLiteral("default");

}  // namespace

AccessNotification::AccessNotification(QDBusConnection bus, std::function<void()> grant, Log& log, QString iconPath)
    : bus_(std::move(bus)), grant_(std::move(grant)), log_(log), iconPath_(std::move(iconPath)) {}

void AccessNotification::listen() {
  if (listening_) return;
  listening_ = true;
  bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
               SLOT(actionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
               SLOT(notificationClosed(uint, uint)));
}

void AccessNotification::show(const std::string& why) {
  if (!bus_.isConnected()) {
    logInstead(why, QStringLiteral("no session bus"));
    return;
  }
  listen();
  QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  const QString label = QString::fromUtf8(kGrantActionLabel);
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quorvelle"));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
  notify << QString::fromUtf8(kAppName) << id_ << iconPath_ << QString::fromUtf8(kSummary)
         << QString::fromUtf8(kBody) << QStringList{kDefaultAction, label, QString::fromUtf8(kGrantAction), label}
         << hints << qint32(-1);
  pending_ = true;
  withdrawn_ = false;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, why](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    pending_ = false;
    QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
      logInstead(why, reply.error().message());
      return;
    }
    id_ = reply.value();
    if (withdrawn_) withdraw();
  });
}

void AccessNotification::withdraw() {
  if (pending_) {
    withdrawn_ = true;
    return;
  }
  if (id_ == 0) return;
  QDBusMessage close =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
  close << id_;
  id_ = 0;
  bus_.asyncCall(close, kCallTimeoutMs);
}

void AccessNotification::actionInvoked(uint id, const QString& action) {
  if (id == 0 || id != id_) return;
  if (action == QString::fromUtf8(kGrantAction) || action == kDefaultAction) grant_();
}

void AccessNotification::notificationClosed(uint id, uint) {
  if (id != 0 && id == id_) id_ = 0;
}

void AccessNotification::logInstead(const std::string& why, const QString& error) {
  log_.write("Quorvelle: input access required (" + why + "); grant it from the menu or the settings window" +
             " (no notification: " + error.toStdString() + ")");
}

}  // namespace quorvelle
