#pragma once

#include <QDBusConnection>
#include <QString>
#include <string>

namespace quorvelle {

// The count on the application's launcher icon, for docks and task bars that
// follow the Unity LauncherEntry signal on the session bus.
class LauncherBadge {
 public:
  explicit LauncherBadge(QDBusConnection connection = QDBusConnection::sessionBus(),
                         QString desktopEntry = QStringLiteral("com.quorvelle.Quorvelle.desktop"));

  // Shows the label, a whole number, as the count; an empty label hides it.
  // False with *error when the label is not a number or no signal went out.
  bool setLabel(const std::string& label, std::string* error);

  static constexpr char kObjectPath[] = "/com/quorvelle/Quorvelle/LauncherEntry";

 private:
  QDBusConnection connection_;
  QString appURI_;
};

}  // namespace quorvelle
