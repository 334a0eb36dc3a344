#pragma once

#include <QDBusArgument>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <vector>

namespace quorvelle::testing_support {

// One entry of a com.canonical.dbusmenu layout.
struct DbusMenuEntry {
  int id = 0;
  QVariantMap properties;
  std::vector<DbusMenuEntry> children;

  QString label() const { return properties.value("label").toString(); }
  bool isSeparator() const { return properties.value("type").toString() == "separator"; }
  bool isVisible() const { return properties.value("visible", true).toBool(); }
  // "Control+Q" style, empty when the entry has no shortcut.
  QString shortcut() const;
};

// A tray item exported by a StatusNotifierItem, read the way a tray host
// reads it. Every call waits with the event loop running, since the item is
// served by the calling thread.
class StatusNotifierItemReader {
 public:
  // "<bus name>/<path>" as the watcher lists it.
  explicit StatusNotifierItemReader(const QString& item);

  QVariant property(const QString& name, QString* error) const;
  // The IconPixmap property: each size's ARGB bytes after its width and height.
  QByteArray iconPixmaps(QString* error) const;
  std::optional<DbusMenuEntry> menuLayout(QString* error) const;
  bool aboutToShow(int id, QString* error) const;
  bool click(int id, QString* error) const;
  bool activate(QString* error) const;

  // The items the watcher lists now.
  static QStringList registeredItems(QString* error);

 private:
  QString service_;
  QString path_;
};

}  // namespace quorvelle::testing_support
