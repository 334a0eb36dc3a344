// The launcher count over a private session bus, as a dock receives it.
#include "ui/launcher_badge.h"

#include <QDBusConnection>
#include <QVariantMap>
#include <gtest/gtest.h>

#include "qt_wait.h"

namespace quorvelle {
namespace {

// Receives LauncherEntry updates the way docks do: from any sender and path.
class Dock : public QObject {
  Q_OBJECT
 public:
  Dock() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "dock")) {
    listening = bus_.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", this,
                             SLOT(update(QString, QVariantMap)));
  }
  ~Dock() override { QDBusConnection::disconnectFromBus("dock"); }

  bool listening = false;
  QStringList apps;
  std::vector<QVariantMap> updates;

 public slots:
  void update(const QString& app, const QVariantMap& properties) {
    apps << app;
    updates.push_back(properties);
  }

 private:
  QDBusConnection bus_;
};

TEST(LauncherBadge, CountAppearsAndGoesOnTheSessionBus) {
  Dock dock;
  ASSERT_TRUE(dock.listening);
  LauncherBadge badge;
  std::string error;
  ASSERT_TRUE(badge.setLabel("1", &error)) << error;
  ASSERT_TRUE(testing_support::waitFor([&] { return dock.updates.size() == 1; }));
  EXPECT_EQ(dock.apps.first(), "application://com.quorvelle.Quorvelle.desktop");
  EXPECT_EQ(dock.updates[0].value("count").userType(), QMetaType::LongLong) << "sent as int64, as docks expect";
  EXPECT_EQ(dock.updates[0].value("count").toLongLong(), 1);
  EXPECT_TRUE(dock.updates[0].value("count-visible").toBool());

  ASSERT_TRUE(badge.setLabel("", &error)) << error;
  ASSERT_TRUE(testing_support::waitFor([&] { return dock.updates.size() == 2; }));
  EXPECT_FALSE(dock.updates[1].value("count-visible").toBool());

  EXPECT_FALSE(badge.setLabel("new", &error));
  EXPECT_NE(error.find("whole number"), std::string::npos);
}

TEST(LauncherBadge, WithoutABusItSaysSo) {
  LauncherBadge badge(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"));
  std::string error;
  EXPECT_FALSE(badge.setLabel("1", &error));
  EXPECT_NE(error.find("no session bus"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorvelle

#include "launcher_badge_test.moc"
