#include "tests/support/control_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/wait_for.h"

std::string controlCommand(const std::string& socketPath, const std::string& command) {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return "";
  memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
      char c;
      pollfd p = {fd, POLLIN, 0};
      while (poll(&p, 1, 5000) == 1 && read(fd, &c, 1) == 1 && c != '\n') reply.push_back(c);
    }
  }
  close(fd);
  return reply;
}

bool waitForControl(const std::string& socketPath, std::chrono::milliseconds timeout) {
  // The main window is made visible and hidden at once while the program
  // starts; a program that has started shows no window.
  return waitFor([&] { return controlCommand(socketPath, "window") == "hidden"; }, timeout);
}

bool waitForReply(const std::string& socketPath, const std::string& command,
                  const std::string& replyStart, std::chrono::milliseconds timeout,
                  std::string* reply) {
  std::string last;
  const bool got = waitFor(
      [&] {
        last = controlCommand(socketPath, command);
        return last.rfind(replyStart, 0) == 0;
      },
      timeout);
  if (reply) *reply = last;
  return got;
}
