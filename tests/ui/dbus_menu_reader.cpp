#include "dbus_menu_reader.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>

namespace quorvelle::testing_support {
namespace {

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments, QString* error) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui, 10000);
  if (reply.type() == QDBusMessage::ErrorMessage) *error = reply.errorName() + ": " + reply.errorMessage();
  return reply;
}

QVariant getProperty(const QString& service, const QString& path, const QString& interface, const QString& name,
                     QString* error) {
  QDBusMessage reply = call(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, name}, error);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
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

const char kMenuInterface[] = "com.canonical.dbusmenu";
const char kItemInterface[] = "org.kde.StatusNotifierItem";

}  // namespace

QString DbusMenuEntry::shortcut() const {
  QVariant value = properties.value("shortcut");
  if (!value.isValid()) return {};
  // aas: one list of key names per chord.
  QStringList chords;
  const QDBusArgument argument = value.value<QDBusArgument>();
  argument.beginArray();
  while (!argument.atEnd()) {
    QStringList keys;
    argument >> keys;
    chords << keys.join('+');
  }
  argument.endArray();
  return chords.join(", ");
}

StatusNotifierItemReader::StatusNotifierItemReader(const QString& item) {
  const qsizetype slash = item.indexOf('/');
  service_ = item.left(slash);
  path_ = item.mid(slash);
}

QVariant StatusNotifierItemReader::property(const QString& name, QString* error) const {
  return getProperty(service_, path_, kItemInterface, name, error);
}

QByteArray StatusNotifierItemReader::iconPixmaps(QString* error) const {
  QByteArray all;
  const QDBusArgument argument = property("IconPixmap", error).value<QDBusArgument>();
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
  QDBusObjectPath menu = property("Menu", error).value<QDBusObjectPath>();
  if (menu.path().isEmpty()) {
    if (error->isEmpty()) *error = "the item names no menu";
    return std::nullopt;
  }
  QDBusMessage reply = call(service_, menu.path(), kMenuInterface, "GetLayout", {0, -1, QStringList()}, error);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) return std::nullopt;
  return readEntry(reply.arguments().at(1).value<QDBusArgument>());
}

bool StatusNotifierItemReader::aboutToShow(int id, QString* error) const {
  QDBusObjectPath menu = property("Menu", error).value<QDBusObjectPath>();
  QDBusMessage reply = call(service_, menu.path(), kMenuInterface, "AboutToShow", {id}, error);
  return reply.type() == QDBusMessage::ReplyMessage;
}

bool StatusNotifierItemReader::click(int id, QString* error) const {
  QDBusObjectPath menu = property("Menu", error).value<QDBusObjectPath>();
  QDBusMessage reply = call(service_, menu.path(), kMenuInterface, "Event",
                            {id, QString("clicked"), QVariant::fromValue(QDBusVariant(0)),
                             static_cast<uint>(QDateTime::currentSecsSinceEpoch())},
                            error);
  return reply.type() == QDBusMessage::ReplyMessage;
}

bool StatusNotifierItemReader::activate(QString* error) const {
  QDBusMessage reply = call(service_, path_, kItemInterface, "Activate", {10, 10}, error);
  return reply.type() == QDBusMessage::ReplyMessage;
}

QStringList StatusNotifierItemReader::registeredItems(QString* error) {
  return getProperty("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                     "RegisteredStatusNotifierItems", error)
      .toStringList();
}

}  // namespace quorvelle::testing_support
