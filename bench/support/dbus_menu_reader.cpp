#include "dbus_menu_reader.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace quorvelle::testing_support {
namespace {

QDBusMessage callMethod(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments, QString* error) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui, 10000);
  if (reply.type() == QDBusMessage::ErrorMessage) *error = reply.errorName() + ": " + reply.errorMessage();
  return reply;
}

QVariant property(const QString& service, const QString& path, const QString& interface, const QString& name,
                  QString* error) {
  QDBusMessage reply = callMethod(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, name}, error);
  if (reply.type() != QDBusMessage::ReplyMessage) return {};
  return reply.arguments().value(0).value<QDBusVariant>().variant();
}

DbusMenuEntry readEntry(const QDBusArgument& argument) {
  DbusMenuEntry entry;
  argument.beginStructure();
  argument >> entry.id >> entry.properties;
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    entry.children.push_back(readEntry(child.variant().value<QDBusArgument>()));
  }
  argument.endArray();
  argument.endStructure();
  return entry;
}

const char kItem[] = "org.kde.StatusNotifierItem";

}  // namespace

StatusNotifierItemReader::StatusNotifierItemReader(const QString& item)
    : service_(item.left(item.indexOf('/'))), path_(item.mid(item.indexOf('/'))) {}

QByteArray StatusNotifierItemReader::iconPixmaps(QString* error) const {
  QByteArray all;
  const QDBusArgument argument = property(service_, path_, kItem, "IconPixmap", error).value<QDBusArgument>();
  argument.beginArray();
  while (!argument.atEnd()) {
    int width = 0, height = 0;
    QByteArray bytes;
    argument.beginStructure();
    argument >> width >> height >> bytes;
    argument.endStructure();
    all += QByteArray::number(width) + "x" + QByteArray::number(height) + ":" + bytes;
  }
  argument.endArray();
  return all;
}

std::optional<DbusMenuEntry> StatusNotifierItemReader::menuLayout(QString* error) const {
  QDBusObjectPath menu = property(service_, path_, kItem, "Menu", error).value<QDBusObjectPath>();
  QDBusMessage reply = callMethod(service_, menu.path(), "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()}, error);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) return std::nullopt;
  return readEntry(reply.arguments().at(1).value<QDBusArgument>());
}

bool StatusNotifierItemReader::call(bool onMenu, const QString& method, const QVariantList& arguments,
                                    QString* error) const {
  const QString path = onMenu ? property(service_, path_, kItem, "Menu", error).value<QDBusObjectPath>().path() : path_;
  return callMethod(service_, path, onMenu ? "com.canonical.dbusmenu" : kItem, method,
                                          arguments, error)
             .type() == QDBusMessage::ReplyMessage;
}

QStringList StatusNotifierItemReader::registeredItems(QString* error) {
  return property("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                  "RegisteredStatusNotifierItems", error)
      .toStringList();
}

}  // namespace quorvelle::testing_support
