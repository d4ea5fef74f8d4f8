// The line server behind the control channel and the windows across
// processes, on a real Unix socket.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <chrono>
#include <vector>

#include "host/line_server.h"
#include "platform/core/host_calls.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/wait_for.h"

namespace {

std::string echo(const std::string& line) { return "got " + line; }

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

// A plain folder, not a device image: the image's teardown resets the
// host-call table, which the server's detached threads have read.
class LineServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    stopLineServer(server);
    removeTree(folder);
  }
  std::string path() { return folder + "/s.sock"; }
  std::string folder = makeTempDir("vt-line-server");
  LineServer* server = nullptr;
};

TEST_F(LineServerTest, EachLineGetsOneReplyLineInOrderAndAStoppedServerIsGone) {
  server = startLineServer(path(), echo);
  ASSERT_NE(nullptr, server);
  struct stat st;
  ASSERT_EQ(0, lstat(path().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  // CR LF or LF ends a line, empty lines are skipped, and a line may come in
  // pieces.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr = addressOf(path());
  ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  ASSERT_EQ(7, write(fd, "a\r\n\nb\nc", 7));
  ASSERT_EQ(2, write(fd, "d\n", 2));
  shutdown(fd, SHUT_WR);
  std::string replies;
  char buf[256];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) replies.append(buf, static_cast<size_t>(n));
  EXPECT_EQ("got a\ngot b\ngot cd\n", replies);
  close(fd);

  std::string reply;
  EXPECT_EQ(LineAsk::Answered, askLineServer(path(), "x", 1000, &reply));
  EXPECT_EQ("got x", reply);
  stopLineServer(server);
  EXPECT_NE(0, lstat(path().c_str(), &st));
  EXPECT_EQ(LineAsk::NobodyListens, askLineServer(path(), "x", 1000, &reply));
}

TEST_F(LineServerTest, ASocketLeftByADeadCopyIsReplacedAndAnythingElseIsLeftAlone) {
  ASSERT_TRUE(writeWholeFile(path(), "someone's file"));
  EXPECT_EQ(nullptr, startLineServer(path(), echo));
  EXPECT_EQ(EEXIST, errno);
  EXPECT_EQ("someone's file", readWholeFile(path()));

  ASSERT_EQ(0, unlink(path().c_str()));
  sockaddr_un addr = addressOf(path());
  int dead = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(0, bind(dead, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  close(dead);  // bound, never listened on: nobody is behind it
  std::string reply;
  EXPECT_EQ(LineAsk::NobodyListens, askLineServer(path(), "x", 1000, &reply));
  server = startLineServer(path(), echo);
  ASSERT_NE(nullptr, server);
  EXPECT_EQ(LineAsk::Answered, askLineServer(path(), "y", 1000, &reply));
  EXPECT_EQ("got y", reply);
}

TEST_F(LineServerTest, ALiveServersSocketIsNotTakenOverAndSilentClientsCannotLockTheOwnerOut) {
  server = startLineServer(path(), echo);
  ASSERT_NE(nullptr, server);
  EXPECT_EQ(nullptr, startLineServer(path(), echo));
  EXPECT_EQ(EADDRINUSE, errno);

  // Sixteen clients that connect and say nothing fill every place; the next
  // one is answered at once, in the place of the one silent the longest.
  std::vector<int> idle;
  std::string reply;
  for (int i = 0; i < 16; ++i) {
    idle.push_back(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un addr = addressOf(path());
    ASSERT_EQ(0, connect(idle.back(), reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  }
  ASSERT_EQ(LineAsk::Answered, askLineServer(path(), "x", 1000, &reply));
  EXPECT_EQ("got x", reply);
  int closed = 0;
  for (int fd : idle) {
    pollfd p = {fd, POLLIN, 0};
    char c;
    closed += poll(&p, 1, 0) == 1 && read(fd, &c, 1) == 0;
  }
  EXPECT_EQ(1, closed) << "one silent client made room";
  for (int fd : idle) close(fd);
}

// Out of file descriptors, accept fails: the server says so, waits, and
// serves again once accepting works; it does not close its socket for good.
int gAcceptFailures = 0;
int failingAccept(int fd, sockaddr* addr, socklen_t* len) {
  if (gAcceptFailures > 0) {
    --gAcceptFailures;
    errno = EMFILE;
    return -1;
  }
  return realHostCalls().accept(fd, addr, len);
}

TEST_F(LineServerTest, AFailedAcceptIsSaidAndWaitedOut) {
  // Left in place after the test (it forwards once the failures are used
  // up): restoring the table would race with the server's own threads.
  gAcceptFailures = 4;
  hostCalls().accept = failingAccept;
  testing::internal::CaptureStderr();
  server = startLineServer(path(), echo);
  ASSERT_NE(nullptr, server);
  std::string reply;
  EXPECT_TRUE(waitFor([&] {
    return askLineServer(path(), "x", 300, &reply) == LineAsk::Answered && reply == "got x";
  }, std::chrono::seconds(5)));
  stopLineServer(server);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(path() + ": cannot accept a connection: Too many open files; trying again\n"),
            std::string::npos) << err;
  EXPECT_NE(err.find(path() + ": accepting connections again\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("trying again"), err.rfind("trying again")) << "said once, not at each try";
}

}  // namespace
