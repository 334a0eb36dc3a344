// The parts that talk on the session bus, on a private one that starts no
// services of its own: the input access prompt against a notification
// service of the test's own, and the launcher count as a dock receives it.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <QVariantMap>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/engine_client/engine_trust.h"
#include "service/service_harness.h"
#include "sim/sim_services.h"
#include "ui/access_notification.h"
#include "ui/launcher_badge.h"

namespace quorvelle {
namespace {

using testing::HasSubstr;

// org.freedesktop.Notifications as a desktop offers it, on a connection of
// its own; it numbers notifications from 7. It also hears LauncherEntry
// updates the way docks do: from any sender and path.
class Desktop : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Shown {
    QString appName;
    uint replaces = 0;
    QString summary, body;
    QStringList actions;
    QVariantMap hints;
  };
  Desktop() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop")) {
    bus_.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
    registered = bus_.registerService("org.freedesktop.Notifications") &&
                 bus_.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", this,
                              SLOT(Update(QString, QVariantMap)));
  }
  ~Desktop() override { QDBusConnection::disconnectFromBus("desktop"); }

  // The user clicks: a button of the notification, or the notification itself.
  void actionInvoked(uint id, const QString& action) {
    QDBusMessage message = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                      "org.freedesktop.Notifications", "ActionInvoked");
    message.setArguments({id, action});
    bus_.send(message);
  }

  bool registered = false;
  std::vector<Shown> shown;
  std::vector<uint> closed;
  std::vector<std::pair<QString, QVariantMap>> launcherUpdates;

 public slots:
  uint Notify(const QString& appName, uint replaces, const QString&, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int) {
    shown.push_back({appName, replaces, summary, body, actions, hints});
    return replaces ? replaces : nextId_++;
  }
  void CloseNotification(uint id) { closed.push_back(id); }
  void Update(const QString& app, const QVariantMap& properties) { launcherUpdates.push_back({app, properties}); }

 private:
  QDBusConnection bus_;
  uint nextId_ = 7;
};

TEST(AccessNotification, AsksOnceOnScreenItsActionGrantsAndAccessFoundTakesItBack) {
  Desktop desktop;
  ASSERT_TRUE(desktop.registered);
  sim::RecordingLog log;
  int grants = 0;
  AccessNotification prompt(QDBusConnection::sessionBus(), [&] { ++grants; }, log);
  testing_support::ServiceHarness engine;
  EngineTrust trust(prompt, engine.dir.file("engine.sock"));
  EXPECT_FALSE(trust.isTrustedPrompting()) << "no engine service";
  ASSERT_TRUE(QTest::qWaitFor([&] { return prompt.shownId() == 7; }));
  const Desktop::Shown& shown = desktop.shown[0];
  EXPECT_EQ(shown.appName + "|" + shown.summary, "Quorvelle|Input access required");
  EXPECT_EQ(shown.body, QString::fromUtf8(AccessNotification::kBody));
  EXPECT_EQ(shown.actions, QStringList({"default", "Grant Access…", "grant", "Grant Access…"}));
  EXPECT_EQ(shown.hints.value("desktop-entry").toString(), "quorvelle");

  desktop.actionInvoked(99, "grant");  // someone else's
  desktop.actionInvoked(7, "grant");
  desktop.actionInvoked(7, "default");
  ASSERT_TRUE(QTest::qWaitFor([&] { return grants == 2; }));

  EXPECT_FALSE(trust.isTrustedPrompting());
  ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.shown.size() == 2; }));
  EXPECT_EQ(desktop.shown[1].replaces, 7u) << "one request on screen, not two";
  engine.listen();
  testing_support::ServiceThread serving{engine};
  EXPECT_TRUE(trust.isTrusted());
  ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.closed == std::vector<uint>{7}; }));
  EXPECT_TRUE(trust.isTrustedPrompting());
  EXPECT_EQ(desktop.shown.size(), 2u) << "granted: nothing more to ask";
  EXPECT_TRUE(log.lines.empty());
}

TEST(LauncherBadge, CountAppearsAndGoesAsDocksExpectIt) {
  Desktop desktop;
  ASSERT_TRUE(desktop.registered);
  LauncherBadge badge;
  std::string error;
  ASSERT_TRUE(badge.setLabel("1", &error)) << error;
  ASSERT_TRUE(badge.setLabel("", &error)) << error;
  ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.launcherUpdates.size() == 2; }));
  const auto& [app, shown] = desktop.launcherUpdates[0];
  EXPECT_EQ(app, "application://com.quorvelle.Quorvelle.desktop");
  EXPECT_EQ(shown.value("count").userType(), QMetaType::LongLong) << "sent as int64, as docks expect";
  EXPECT_EQ(shown.value("count").toLongLong(), 1);
  EXPECT_TRUE(shown.value("count-visible").toBool());
  EXPECT_FALSE(desktop.launcherUpdates[1].second.value("count-visible").toBool());
  EXPECT_FALSE(badge.setLabel("new", &error));
  EXPECT_THAT(error, HasSubstr("whole number"));
}

TEST(SessionBus, WithoutOneTheRequestIsALogLineAndTheCountAnError) {
  sim::RecordingLog log;
  AccessNotification prompt(QDBusConnection::sessionBus(), [] {}, log);
  prompt.show("/dev/uinput: Permission denied");  // no notification service
  ASSERT_TRUE(QTest::qWaitFor([&] { return !log.lines.empty(); }));
  EXPECT_THAT(log.lines[0], HasSubstr("Quorvelle: input access required (/dev/uinput: Permission denied)"));
  const QDBusConnection nowhere = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere");
  AccessNotification noBus(nowhere, [] {}, log);
  noBus.show("why");
  ASSERT_EQ(log.lines.size(), 2u) << "at once, without a bus to ask";
  EXPECT_THAT(log.lines[1], HasSubstr("no session bus"));
  std::string error;
  EXPECT_FALSE(LauncherBadge(nowhere).setLabel("1", &error));
  EXPECT_THAT(error, HasSubstr("no session bus"));
}

}  // namespace
}  // namespace quorvelle

#include "session_bus_test.moc"
