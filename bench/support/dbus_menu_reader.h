#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <optional>
#include <vector>

namespace quorvelle::testing_support {

// One entry of a com.canonical.dbusmenu layout.
struct DbusMenuEntry {
  int id = 0;
  QVariantMap properties;
  std::vector<DbusMenuEntry> children;
};

// A StatusNotifierItem read the way a tray host reads it. Calls wait with the
// event loop running: the item is served by the calling thread. Failures go
// to *error.
class StatusNotifierItemReader {
 public:
  // "<bus name>/<path>" as the watcher lists it.
  explicit StatusNotifierItemReader(const QString& item);

  // The IconPixmap property flattened: each size's width, height and bytes.
  QByteArray iconPixmaps(QString* error) const;
  std::optional<DbusMenuEntry> menuLayout(QString* error) const;
  // A method of the menu (AboutToShow, Event) or, without menu, of the item.
  bool call(bool onMenu, const QString& method, const QVariantList& arguments, QString* error) const;

  static QStringList registeredItems(QString* error);

 private:
  QString service_;
  QString path_;
};

}  // namespace quorvelle::testing_support
