// The reopen socket for real: a server on a small poll loop, clients in
// threads and in processes, one of them another user's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <future>

#include "linux/process_util.h"
#include "linux/session/reopen_client.h"
#include "linux/session/reopen_server.h"
#include "linux/session/reopen_socket.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"

namespace quorvelle {
namespace {

using namespace testing_support;

double secondsNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A client that speaks raw bytes, to send what the real one never would.
class RawClient {
 public:
  explicit RawClient(const std::string& path) : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address = {AF_UNIX, {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { close(fd_); }
  bool connected() const { return connected_; }
  void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // What the server sent before closing; nullopt while it keeps the connection open.
  std::optional<std::string> closedWith() {
    char buffer[64];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) received_.append(buffer, size_t(n));
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) return received_;
    return std::nullopt;
  }

 private:
  int fd_;
  bool connected_;
  std::string received_;
};

struct ReopenFixture : testing::Test {
  ReopenFixture() {
    mkdir(dir.file("run").c_str(), 0700);
    EXPECT_TRUE(server->listen(folder, &detail)) << detail;
  }
  std::unique_ptr<ReopenServer> makeServer() {
    return std::make_unique<ReopenServer>(loop, loop, [this] { ++shown; });
  }
  // Runs the real client on a thread; the loop serves it only once
  // busySeconds have passed since the request, as a busy copy would.
  ReopenOutcome request(double answerSeconds = 5, double busySeconds = 0) {
    std::atomic<double> asked = 0;
    auto outcome = std::async(std::launch::async, [&] {
      asked = secondsNow();
      return requestShowSettings(folder, answerSeconds, 10, &detail);
    });
    EXPECT_TRUE(eventually([&] { return asked > 0 && secondsNow() > asked + busySeconds; }));
    EXPECT_TRUE(serveUntil(loop, [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return outcome.get();
  }
  std::optional<std::string> servedUntilClosed(RawClient& client, double timeoutSeconds = 10) {
    std::optional<std::string> result;
    loop.runUntil([&] { return (result = client.closedWith()).has_value(); }, timeoutSeconds);
    return result;
  }
  bool shownTimes(int times) { return loop.runUntil([&] { return shown == times; }, 5); }

  TempDir dir;
  std::string folder = dir.file("run/quorvelle"), socket = folder + "/reopen.sock", detail;
  PollRunLoop loop;
  int shown = 0;
  std::unique_ptr<ReopenServer> server = makeServer();
};

TEST_F(ReopenFixture, OnlyTheOneRequestIsAnsweredAndOneInPiecesHoldsUpNoOther) {
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::symlink_status(folder).permissions(), fs::perms(0700));
  EXPECT_EQ(fs::symlink_status(socket).type(), fs::file_type::socket);
  EXPECT_EQ(fs::symlink_status(socket).permissions(), fs::perms(0600));

  RawClient stalled(socket);
  stalled.send("show-set");
  loop.runFor(0.05);
  EXPECT_EQ(request(), ReopenOutcome::Delivered);
  EXPECT_EQ(stalled.closedWith(), std::nullopt);  // still waiting, blocking nobody
  EXPECT_TRUE(shownTimes(1));
  stalled.send("tings\n");
  EXPECT_EQ(servedUntilClosed(stalled), "ok\n");
  EXPECT_TRUE(shownTimes(2));

  for (std::string bytes : {std::string("SHOW-SETTINGS\n"), std::string("show-settings \n"),
                            std::string("show-settings\nshow-settings\n"), std::string("show-settings\r\n"),
                            std::string("\n"), std::string("show\0settings\n", 14), std::string(100, 'a'),
                            std::string(64, 'a') + "\n"}) {
    RawClient client(socket);
    ASSERT_TRUE(client.connected());
    client.send(bytes);
    EXPECT_EQ(servedUntilClosed(client), "") << bytes;  // closed without an answer
  }
  RawClient(socket).send("show-settings");  // cut short by the client's close
  EXPECT_TRUE(loop.runUntil([&] { return server->openConnections() == 0; }, 5));
  RawClient silent(socket);
  EXPECT_EQ(servedUntilClosed(silent, ReopenServer::kRequestTimeoutSeconds + 10), "") << "let go after a while";
  EXPECT_EQ(shown, 2);
}

TEST_F(ReopenFixture, IdleConnectionsAndABusyCopyDoNotKeepARequestOut) {
  std::vector<std::unique_ptr<RawClient>> idle;
  for (size_t i = 0; i < ReopenServer::kMaxConnections; ++i) idle.push_back(std::make_unique<RawClient>(socket));
  ASSERT_TRUE(loop.runUntil([&] { return server->openConnections() == ReopenServer::kMaxConnections; }, 5));
  RawClient extra(socket);
  extra.send(reopen::kRequest);
  EXPECT_EQ(servedUntilClosed(extra), "ok\n");
  EXPECT_EQ(idle[0]->closedWith(), "") << "the oldest idle connection made room";

  // Busy (its loop not running) past the time an answer is due, but alive
  // and not stopped: it is waited for.
  EXPECT_EQ(request(0.2, 0.6), ReopenOutcome::Delivered) << detail;
  EXPECT_TRUE(shownTimes(2));
  EXPECT_LE(server->openConnections(), ReopenServer::kMaxConnections);
}

TEST_F(ReopenFixture, AStoppedCopyIsHungOnceTheAnswerIsDue) {
  const std::string hung = dir.file("run/hung");
  pid_t child = fork();
  if (child == 0) {
    PollRunLoop childLoop;
    ReopenServer listening(childLoop, childLoop, [] {});
    if (listening.listen(hung, &detail)) raise(SIGSTOP);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_EQ(requestShowSettings(hung, 0.2, 20, &detail), ReopenOutcome::NoAnswer);
  EXPECT_EQ(detail, "the running copy (process " + std::to_string(child) + ") is stopped");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(ReopenFixture, LeftoverSocketsAndSuccessors) {
  EXPECT_EQ(requestShowSettings(dir.file("run/nothing"), 1, 1, &detail), ReopenOutcome::NotRunning);
  // A successor takes the socket over; its predecessor leaving does not take it away.
  {
    int successorShown = 0;
    ReopenServer successor(loop, loop, [&] { ++successorShown; });
    ASSERT_TRUE(successor.listen(folder, &detail)) << detail;
    server.reset();
    EXPECT_EQ(request(), ReopenOutcome::Delivered);
    EXPECT_TRUE(loop.runUntil([&] { return successorShown == 1; }, 5));
  }
  EXPECT_FALSE(std::filesystem::exists(socket)) << "the successor removed its socket on the way out";

  // A socket file nobody listens on any more.
  int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {AF_UNIX, {}};
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(stale);
  EXPECT_EQ(requestShowSettings(folder, 1, 1, &detail), ReopenOutcome::NotRunning);
  server = makeServer();
  EXPECT_TRUE(server->listen(folder, &detail)) << detail;
  EXPECT_EQ(request(), ReopenOutcome::Delivered);

  // Something else in the socket's place is not removed.
  ReopenServer blocked(loop, loop, [] {});
  const std::string other = dir.file("run/other");
  writeText(other + "/reopen.sock", "keep me");
  chmod(other.c_str(), 0700);
  EXPECT_FALSE(blocked.listen(other, &detail));
  EXPECT_EQ(readText(other + "/reopen.sock"), "keep me");
}

// Even through a folder and socket left open by mistake, only this user is heard.
TEST_F(ReopenFixture, OtherUsersAreNotHeard) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  for (const std::string& path : {dir.path(), dir.file("run"), folder}) chmod(path.c_str(), 0755);
  chmod(socket.c_str(), 0666);
  pid_t child = fork();
  if (child == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    RawClient client(socket);
    client.send(reopen::kRequest);
    std::optional<std::string> reply;
    const bool closed = eventually([&] { return (reply = client.closedWith()).has_value(); }, 10);
    _exit(client.connected() && closed && reply->empty() ? 0 : 5);  // closed without an answer
  }
  std::optional<int> status = waitForExit(child, 20, &loop);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  loop.runFor(0);
  EXPECT_EQ(shown, 0);
}

TEST(ReopenSocket, OnlyAFolderOfThisUserAloneIsTrusted) {
  TempDir dir;
  std::string error, open = dir.file("open"), link = dir.file("link"), file = dir.file("file");
  mkdir(open.c_str(), 0755);
  EXPECT_FALSE(reopen::isPrivateFolder(open, &error));
  EXPECT_TRUE(reopen::preparePrivateFolder(open, &error)) << error;
  EXPECT_EQ(std::filesystem::status(open).permissions(), std::filesystem::perms(0700)) << "tightened, as it is ours";
  symlink(open.c_str(), link.c_str());
  EXPECT_FALSE(reopen::preparePrivateFolder(link, &error));
  EXPECT_FALSE(reopen::isPrivateFolder(link, &error));
  writeText(file, "");
  EXPECT_FALSE(reopen::preparePrivateFolder(file, &error));
  if (getuid() == 0) {
    ASSERT_EQ(chown(open.c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(reopen::preparePrivateFolder(open, &error));
    EXPECT_THAT(error, testing::HasSubstr("another user"));
  }
}

}  // namespace
}  // namespace quorvelle
