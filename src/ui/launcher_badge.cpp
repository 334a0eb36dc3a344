#include "ui/launcher_badge.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace quorvelle {

LauncherBadge::LauncherBadge(QDBusConnection connection, QString desktopEntry)
    : connection_(connection), appURI_(QStringLiteral("application://") + desktopEntry) {}

bool LauncherBadge::setLabel(const std::string& label, std::string* error) {
  qint64 count = 0;
  if (!label.empty()) {
    bool ok = false;
    count = QString::fromStdString(label).toLongLong(&ok);
    if (!ok) {
      *error = "a launcher count must be a whole number, not \"" + label + "\"";
      return false;
    }
  }
  QDBusMessage update =
      QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                 QStringLiteral("Update"));
  QVariantMap properties;
  properties.insert(QStringLiteral("count"), count);
  properties.insert(QStringLiteral("count-visible"), !label.empty());
  update << appURI_ << properties;
  if (!connection_.isConnected() || !connection_.send(update)) {
    *error = "no session bus for the launcher count: " + connection_.lastError().message().toStdString();
    return false;
  }
  return true;
}

}  // namespace quorvelle
