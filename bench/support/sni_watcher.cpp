#include "sni_watcher.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>
#include <QSemaphore>

namespace quorvelle::testing_support {

namespace {
const char kService[] = "org.kde.StatusNotifierWatcher";
const char kPath[] = "/StatusNotifierWatcher";
}  // namespace

SniWatcher::SniWatcher(QDBusConnection connection)
    : connection_(connection), owners_(QString(), connection, QDBusServiceWatcher::WatchForUnregistration) {
  connect(&owners_, &QDBusServiceWatcher::serviceUnregistered, this, &SniWatcher::ownerGone);
}

bool SniWatcher::start(QString* error) {
  auto* thread = new QThread();
  thread->setObjectName("sni-watcher");
  thread->start();
  bool ok = false;
  QSemaphore done;
  // Lives as long as the process, like the thread.
  QObject* context = new QObject();
  context->moveToThread(thread);
  QMetaObject::invokeMethod(context, [&] {
    QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "sni-watcher");
    if (!connection.isConnected()) {
      *error = "no session bus: " + connection.lastError().message();
    } else {
      auto* watcher = new SniWatcher(connection);
      if (!connection.registerObject(kPath, watcher, QDBusConnection::ExportAllContents)) {
        *error = "cannot register " + QString(kPath);
      } else if (!connection.registerService(kService)) {
        *error = "cannot own " + QString(kService) + ": " + connection.lastError().message();
      } else {
        ok = true;
      }
    }
    done.release();
  });
  done.acquire();
  return ok;
}

void SniWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath) {
  const QString sender = message().service();
  // A path names an object of the caller; a bus name stands for its default path.
  const QString service = serviceOrPath.startsWith('/') ? sender : serviceOrPath;
  const QString item = service + (serviceOrPath.startsWith('/') ? serviceOrPath : "/StatusNotifierItem");
  if (items_.contains(item)) return;
  items_.append(item);
  owners_.addWatchedService(service);
  emit StatusNotifierItemRegistered(item);
}

void SniWatcher::RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

void SniWatcher::ownerGone(const QString& service) {
  for (const QString& item : QStringList(items_)) {
    if (item.startsWith(service + '/')) {
      items_.removeAll(item);
      emit StatusNotifierItemUnregistered(item);
    }
  }
  owners_.removeWatchedService(service);
}

}  // namespace quorvelle::testing_support
