// The input access prompt over a private session bus, against a
// notification service of the test's own.
#include "ui/access_notification.h"

#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/engine_client/engine_trust.h"
#include "linux/engine_test_server.h"
#include "linux/temp_dir.h"
#include "qt_wait.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::HasSubstr;

struct Shown {
  QString appName;
  uint replaces = 0;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
};

// org.freedesktop.Notifications as a desktop offers it, on a connection of
// its own; it numbers notifications from 7.
class NotificationService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  NotificationService() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notifications")) {
    bus_.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
    registered = bus_.registerService("org.freedesktop.Notifications");
  }
  ~NotificationService() override {
    bus_.unregisterService("org.freedesktop.Notifications");
    QDBusConnection::disconnectFromBus("notifications");
  }

  // The user clicks: a button of the notification, or the notification itself.
  void emitSignal(const QString& name, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                      "org.freedesktop.Notifications", name);
    message.setArguments(arguments);
    bus_.send(message);
  }

  bool registered = false;
  std::vector<Shown> shown;
  std::vector<uint> closed;

 public slots:
  uint Notify(const QString& appName, uint replaces, const QString&, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int) {
    shown.push_back({appName, replaces, summary, body, actions, hints});
    return replaces ? replaces : nextId_++;
  }
  void CloseNotification(uint id) { closed.push_back(id); }

 private:
  QDBusConnection bus_;
  uint nextId_ = 7;
};

struct AccessNotificationTest : testing::Test {
  sim::RecordingLog log;
  int grants = 0;
  AccessNotification prompt{QDBusConnection::sessionBus(), [this] { ++grants; }, log};
};

TEST_F(AccessNotificationTest, AsksOnceOnScreenItsActionGrantsAndAccessFoundTakesItBack) {
  NotificationService service;
  ASSERT_TRUE(service.registered);
  testing_support::TempDir dir;
  EngineTrust trust(prompt, dir.file("engine.sock"));
  EXPECT_FALSE(trust.isTrustedPrompting()) << "no engine service";
  ASSERT_TRUE(testing_support::waitFor([&] { return prompt.shownId() == 7; }));
  const Shown& shown = service.shown[0];
  EXPECT_EQ(shown.appName + "|" + shown.summary, "Quorvelle|Input access required");
  EXPECT_EQ(shown.body, QString::fromUtf8(AccessNotification::kBody));
  EXPECT_EQ(shown.actions, QStringList({"default", "Grant Access…", "grant", "Grant Access…"}));
  EXPECT_EQ(shown.hints.value("desktop-entry").toString(), "quorvelle");

  service.emitSignal("ActionInvoked", {uint(99), QString("grant")});  // someone else's
  service.emitSignal("ActionInvoked", {uint(7), QString("grant")});
  service.emitSignal("ActionInvoked", {uint(7), QString("default")});
  ASSERT_TRUE(testing_support::waitFor([&] { return grants == 2; }));

  EXPECT_FALSE(trust.isTrustedPrompting());
  ASSERT_TRUE(testing_support::waitFor([&] { return service.shown.size() == 2; }));
  EXPECT_EQ(service.shown[1].replaces, 7u) << "one request on screen, not two";
  testing_support::EngineTestServer engine(dir.file("engine.sock"));
  EXPECT_TRUE(trust.isTrusted());
  ASSERT_TRUE(testing_support::waitFor([&] { return service.closed == std::vector<uint>{7}; }));
  EXPECT_TRUE(trust.isTrustedPrompting());
  EXPECT_EQ(service.shown.size(), 2u) << "granted: nothing more to ask";
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(AccessNotificationTest, WithoutANotificationServiceTheRequestIsALogLine) {
  prompt.show("/dev/uinput: Permission denied");
  ASSERT_TRUE(testing_support::waitFor([&] { return !log.lines.empty(); }));
  EXPECT_THAT(log.lines[0], HasSubstr("Quorvelle: input access required (/dev/uinput: Permission denied)"));
  AccessNotification noBus(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"), [] {}, log);
  noBus.show("why");
  ASSERT_EQ(log.lines.size(), 2u) << "at once, without a bus to ask";
  EXPECT_THAT(log.lines[1], HasSubstr("no session bus"));
}

}  // namespace
}  // namespace quorvelle

#include "access_notification_test.moc"
