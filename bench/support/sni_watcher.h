#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace quorvelle::testing_support {

// A minimal StatusNotifierWatcher that also stands for a registered host, so
// that Qt exports its tray icons over D-Bus. It lives on a thread of its own
// with a connection of its own: Qt asks it questions with blocking calls from
// the main thread.
class SniWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  // Starts the thread and claims org.kde.StatusNotifierWatcher; false when the
  // name could not be had.
  static bool start(QString* error);

  QStringList registeredItems() const { return items_; }
  bool isHostRegistered() const { return true; }
  int protocolVersion() const { return 0; }

 public slots:
  void RegisterStatusNotifierItem(const QString& serviceOrPath);
  void RegisterStatusNotifierHost(const QString& service);

 signals:
  void StatusNotifierItemRegistered(const QString& item);
  void StatusNotifierItemUnregistered(const QString& item);
  void StatusNotifierHostRegistered();

 private:
  explicit SniWatcher(QDBusConnection connection);
  void ownerGone(const QString& service);

  QDBusConnection connection_;
  QDBusServiceWatcher owners_;
  QStringList items_;
};

}  // namespace quorvelle::testing_support
