// The updater for real: feeds served over HTTP on 127.0.0.1 by the test, read
// with Qt Network, judged against the bundle's Info.plist and shown in the
// updater's window.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/files/file_util.h"
#include "linux/files/json_defaults_store.h"
#include "linux/files/plist_bundles.h"
#include "linux/process/system_wall_clock.h"
#include "linux/temp_dir.h"
#include "qt_wait.h"
#include "sim/sim_application.h"
#include "sim/sim_services.h"
#include "sim/sim_workspace.h"
#include "ui/appcast_reader.h"
#include "ui/qt_appcast_feed.h"
#include "ui/qt_run_loop.h"
#include "ui/qt_update_window.h"
#include "update/feed_updater.h"
#include "update/update_controller.h"
#include "update/update_window_contents.h"

namespace quorvelle {
namespace {

using testing::HasSubstr;
using testing_support::waitFor;

// Answers GET requests with canned bodies by path, 404 for the rest.
class FeedServer {
 public:
  FeedServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  void serve(const QString& path, const QByteArray& body) { bodies_[path] = body; }
  QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path); }

 private:
  void answer(QTcpSocket* socket) {
    QByteArray& request = pending_[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) return;
    const QString path = QString::fromLatin1(request.split(' ').value(1));
    pending_.remove(socket);
    const bool found = bodies_.contains(path);
    const QByteArray body = bodies_.value(path, "not here");
    socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                  ("Content-Type: application/rss+xml\r\nContent-Length: " + QByteArray::number(body.size()) +
                   "\r\nConnection: close\r\n\r\n") +
                  body);
    socket->disconnectFromHost();
  }
  QTcpServer server_;
  QMap<QString, QByteArray> bodies_;
  QMap<QTcpSocket*, QByteArray> pending_;
};

QByteArray appcast(const QByteArray& items) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
         "<channel><title>Quorvelle</title>\n" +
         items + "</channel></rss>\n";
}

QByteArray item(const char* version, const char* shortVersion) {
  return QByteArray("<item><title>Quorvelle ") + shortVersion + "</title><sparkle:version>" + version +
         "</sparkle:version><sparkle:shortVersionString>" + shortVersion +
         "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://quorvelle.org/notes/" + shortVersion +
         "</sparkle:releaseNotesLink><link>https://quorvelle.org/download</link></item>\n";
}

struct UpdaterOverHttp : testing::Test {
  // The feed the bundle's Info.plist names.
  void useFeed(const QString& url) {
    std::string error;
    ASSERT_TRUE(writeFileAtomically(
        bundlePath + "/Contents/Info.plist",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>com.quorvelle.Quorvelle</string>"
        "<key>CFBundleVersion</key><string>1000</string>"
        "<key>CFBundleShortVersionString</key><string>0.1.0</string>"
        "<key>SUFeedURL</key><string>" + url.toStdString() + "</string></dict></plist>\n",
        &error))
        << error;
  }
  QString label(const char* name) const { return window.widget()->findChild<QLabel*>(name)->text(); }

  // Checks as the user does and answers the window's headline and message.
  std::string check() {
    updates.checkForUpdatesNow();
    waitFor([&] { return label("headline") != "Checking for updates..."; });
    return (label("headline") + "\n" + label("message")).toStdString();
  }
  void closeWindow() {
    window.widget()->findChild<QPushButton*>("button")->click();
    ASSERT_TRUE(waitFor([&] { return application.activationPolicy() == ActivationPolicy::Accessory; }))
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

// Which release is newest is decided by the updater's rules, tested apart.
TEST_F(UpdaterOverHttp, ANewerReleaseAndEveryWayAFeedCanFail) {
  server.serve("/newer.xml", appcast(item("1000", "0.1.0") + item("1005", "0.1.5")));
  useFeed(server.url("/newer.xml"));
  EXPECT_THAT(check(), HasSubstr("A new version of Quorvelle is available!\n"
                                 "Quorvelle 0.1.5 is now available—you have 0.1.0."));
  EXPECT_THAT(label("message").toStdString(), HasSubstr("from https://quorvelle.org/download"));
  window.widget()->findChild<QLabel*>("links")->linkActivated("0");
  EXPECT_THAT(workspace.openedURLs, testing::ElementsAre("https://quorvelle.org/notes/0.1.5"));
  closeWindow();

  server.serve("/malformed.xml", appcast(item("1005", "0.1.5")).left(180));
  server.serve("/huge.xml", appcast(QByteArray(2 * 1024 * 1024, ' ')));
  server.serve("/unnumbered.xml", appcast(item("", "0.1.5")));
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost, 0);
  const QString refused = QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closed.serverPort());
  closed.close();
  const std::pair<QString, const char*> failures[] = {
      {server.url("/malformed.xml"), "Update Error\nThe update information from the server could not be read.\n\nline"},
      {server.url("/missing.xml"), "server replied: Not Found"},
      {server.url("/huge.xml"), "The update feed is larger than 1024 KB."},
      {server.url("/unnumbered.xml"), "lists no version number"},
      {refused, "The update server could not be reached.\n\nConnection refused"}};
  for (const auto& [url, message] : failures) {
    application.setActivationPolicy(ActivationPolicy::Regular);
    useFeed(url);
    EXPECT_THAT(check(), HasSubstr(message));
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
  ASSERT_TRUE(waitFor([&] { return attention == 1; })) << "coming forward is attention";
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

TEST(AppcastReader, ReadsElementsOrEnclosureAttributesAndRefusesWhatIsNotAnAppcast) {
  std::string error;
  std::optional<std::vector<AppcastItem>> items = readAppcast(
      appcast("<item><title><![CDATA[Fish & <Chips>]]></title>"
              "<enclosure url=\"https://quorvelle.org/q.tar.gz\" sparkle:version=\" 1007 \" "
              "sparkle:shortVersionString=\"0.1.7\"/></item>"
              "<item><sparkle:version>1008</sparkle:version><sparkle:channel>beta</sparkle:channel>"
              "<enclosure sparkle:version=\"1\"/><link>https://a.example/?a=1&amp;b=2</link></item>"),
      &error);
  ASSERT_TRUE(items) << error;
  ASSERT_EQ(items->size(), 2u);
  EXPECT_EQ((*items)[0].title, "Fish & <Chips>");
  EXPECT_EQ((*items)[0].version, "1007");
  EXPECT_EQ((*items)[0].shortVersionString, "0.1.7");
  EXPECT_EQ((*items)[0].enclosureURL, "https://quorvelle.org/q.tar.gz");
  EXPECT_EQ((*items)[1].version, "1008") << "the element wins over the attribute";
  EXPECT_EQ((*items)[1].channel, "beta");
  EXPECT_EQ((*items)[1].link, "https://a.example/?a=1&b=2");

  for (const QByteArray& bad : {QByteArray(""), QByteArray("<html><body>Gateway</body></html>"),
                                QByteArray("<rss></rss>"), appcast("") + "<junk>",
                                QByteArray("\x89PNG\r\n")}) {
    error.clear();
    EXPECT_FALSE(readAppcast(bad, &error)) << bad.left(40).toStdString();
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(readAppcast("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaa\">]>"
                           "<rss><channel><item><title>&a;</title></item></channel></rss>",
                           &error));
  EXPECT_EQ(error, "the feed declares a document type");
  EXPECT_TRUE(readAppcast(appcast(""), &error)) << "a feed with no release yet";
}

}  // namespace
}  // namespace quorvelle
