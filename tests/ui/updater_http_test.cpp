// The updater for real: feeds served over HTTP on 127.0.0.1 by the test, read
// with Qt Network, judged against the bundle's Info.plist and shown in the
// updater's window. Which release is newest is decided by the updater's
// rules, tested apart; here each feed shows what was read from it.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/files/file_util.h"
#include "linux/files/json_defaults_store.h"
#include "linux/files/plist_bundles.h"
#include "linux/process/system_wall_clock.h"
#include "linux/temp_dir.h"
#include "sim/sim_application.h"
#include "sim/sim_services.h"
#include "sim/sim_workspace.h"
#include "ui/qt_appcast_feed.h"
#include "ui/qt_run_loop.h"
#include "ui/qt_update_window.h"
#include "update/feed_updater.h"
#include "update/update_controller.h"
#include "update/update_window_contents.h"

namespace quorvelle {
namespace {

using testing::HasSubstr;

// Answers each GET with the body served at its path, 404 for the rest.
class FeedServer : public QTcpServer {
 public:
  FeedServer() {
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
      QTcpSocket* socket = nextPendingConnection();
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n")) return;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        const QByteArray body = bodies.value(path, "not here");
        socket->write(QByteArray(bodies.contains(path) ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                      "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                      body);
        socket->disconnectFromHost();
      });
    });
  }
  QString url(const QString& path) const { return QString("http://127.0.0.1:%1%2").arg(serverPort()).arg(path); }

  QMap<QString, QByteArray> bodies;
};

QByteArray appcast(const QByteArray& items) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
         "<channel><title>Quorvelle</title>\n" + items + "</channel></rss>\n";
}

QByteArray item(const char* version, const char* shortVersion) {
  return QByteArray("<item><title>Quorvelle ") + shortVersion + "</title><sparkle:version>" + version +
         "</sparkle:version><sparkle:shortVersionString>" + shortVersion +
         "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://quorvelle.org/notes/" + shortVersion +
         "</sparkle:releaseNotesLink><link>https://quorvelle.org/download</link></item>\n";
}

struct UpdaterOverHttp : testing::Test {
  QString label(const char* name) const { return window.widget()->findChild<QLabel*>(name)->text(); }

  // Points the bundle's Info.plist at the feed, checks as the user does and
  // answers the window's headline and message.
  std::string check(const QString& url) {
    std::string error;
    EXPECT_TRUE(writeFileAtomically(bundlePath + "/Contents/Info.plist",
                                    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleVersion</key>"
                                    "<string>1000</string><key>CFBundleShortVersionString</key><string>0.1.0</string>"
                                    "<key>SUFeedURL</key><string>" + url.toStdString() + "</string></dict></plist>",
                                    &error)) << error;
    application.setActivationPolicy(ActivationPolicy::Regular);
    updates.checkForUpdatesNow();
    QTest::qWaitFor([&] { return label("headline") != "Checking for updates..."; }, 10000);
    return (label("headline") + "\n" + label("message")).toStdString();
  }
  void closeWindow() {
    window.widget()->findChild<QPushButton*>("button")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return application.activationPolicy() == ActivationPolicy::Accessory; }))
        << "the session ends and the application goes back to the tray";
  }

  FeedServer server;
  testing_support::TempDir dir;
  std::string bundlePath = dir.file("Quorvelle.app");
  sim::RecordingLog log;
  PlistBundles bundles{bundlePath};
  JsonDefaultsStore updaterDefaults{dir.file("updater.json"), log};
  sim::MemoryDefaultsStore appDefaults;
  QtRunLoop loop;
  SystemWallClock clock;
  QtAppcastFeed feed;
  sim::SimWorkspace workspace;
  QtUpdateWindow window{workspace};
  sim::SimApplication application;
  ActivationPolicyRules activation{application, loop};
  FeedUpdater updater{{bundles, updaterDefaults, loop, clock, feed, window, log}, FeedSecurity::AllowLoopbackHttpForTests};
  UpdateController updates{appDefaults, updater, application, activation};
};

TEST_F(UpdaterOverHttp, ANewerReleaseAndEveryWayAFeedCanFail) {
  server.bodies["/newer.xml"] = appcast(item("1000", "0.1.0") + item("1005", "0.1.5"));
  EXPECT_THAT(check(server.url("/newer.xml")), HasSubstr("A new version of Quorvelle is available!\n"
                                                        "Quorvelle 0.1.5 is now available—you have 0.1.0."));
  EXPECT_THAT(label("message").toStdString(), HasSubstr("from https://quorvelle.org/download"));
  window.widget()->findChild<QLabel*>("links")->linkActivated("0");
  EXPECT_THAT(workspace.openedURLs, testing::ElementsAre("https://quorvelle.org/notes/0.1.5"));
  closeWindow();

  // Versions from the enclosure's attributes unless an element names them, a
  // beta left out, and the enclosure as the download when there is no link.
  server.bodies["/enclosure.xml"] = appcast(
      "<item><sparkle:version>1009</sparkle:version><sparkle:channel>beta</sparkle:channel></item>"
      "<item><sparkle:version> 1007 </sparkle:version><enclosure url=\"https://quorvelle.org/q.tgz?a=1&amp;b=2\" "
      "sparkle:version=\"1\" sparkle:shortVersionString=\" 0.1.7 \"/></item>");
  EXPECT_THAT(check(server.url("/enclosure.xml")),
              HasSubstr("Quorvelle 0.1.7 is now available—you have 0.1.0.\n\nThis version cannot install updates "
                        "itself yet. Download the new version from https://quorvelle.org/q.tgz?a=1&b=2"));
  closeWindow();
  server.bodies["/empty.xml"] = appcast("");
  EXPECT_THAT(check(server.url("/empty.xml")), HasSubstr("You're up to date")) << "a feed with no release yet";
  closeWindow();

  server.bodies["/malformed.xml"] = appcast(item("1005", "0.1.5")).left(180);
  server.bodies["/huge.xml"] = appcast(QByteArray(2 * 1024 * 1024, ' '));
  server.bodies["/unnumbered.xml"] = appcast(item("", "0.1.5"));
  server.bodies["/html.xml"] = "<html><body>Gateway</body></html>";
  server.bodies["/doctype.xml"] = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaa\">]>"
                                  "<rss><channel><item><title>&a;</title></item></channel></rss>";
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const QString refused = QString("http://127.0.0.1:%1/appcast.xml").arg(closed.serverPort());
  closed.close();
  const std::pair<QString, const char*> failures[] = {
      {server.url("/malformed.xml"), "Update Error\nThe update information from the server could not be read.\n\nline"},
      {server.url("/missing.xml"), "server replied: Not Found"},
      {server.url("/huge.xml"), "The update feed is larger than 1024 KB."},
      {server.url("/unnumbered.xml"), "lists no version number"},
      {server.url("/html.xml"), "not an RSS feed with a channel"},
      {server.url("/doctype.xml"), "the feed declares a document type"},
      {refused, "The update server could not be reached.\n\nConnection refused"}};
  for (const auto& [url, message] : failures) {
    EXPECT_THAT(check(url), HasSubstr(message));
    closeWindow();
  }
}

TEST(QtUpdateWindow, ComingForwardIsAttentionLinkTitlesAreTextAndClosingNeverQuits) {
  sim::SimWorkspace workspace;
  QtUpdateWindow window(workspace);
  int attention = 0;
  window.setHandlers([&] { ++attention; }, [] {});
  UpdateWindowContent content = upToDateContent("0.1.0");
  content.links = {{"<b>Notes</b>", "https://quorvelle.org/notes"}};
  window.show(content, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return attention == 1; })) << "coming forward is attention";
  EXPECT_THAT(window.widget()->findChild<QLabel*>("links")->text().toStdString(), HasSubstr("&lt;b&gt;Notes"));

  // Inside the running application (the only place Qt decides to quit),
  // closing its only window must not count as closing its last window.
  int lastWindowClosed = 0;
  QObject listening;
  QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &listening, [&] { ++lastWindowClosed; });
  QMetaObject::invokeMethod(qApp, [&] {
    window.widget()->findChild<QPushButton*>("button")->click();
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(7); }, Qt::QueuedConnection);
  }, Qt::QueuedConnection);
  EXPECT_EQ(QCoreApplication::exec(), 7);
  EXPECT_EQ(lastWindowClosed, 0);
}

}  // namespace
}  // namespace quorvelle
