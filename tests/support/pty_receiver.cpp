#include "tests/support/pty_receiver.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/wait_for.h"

PtyReceiver::PtyReceiver() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return;
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
    close(master_);
    master_ = -1;
    return;
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0) return;
  struct termios t;
  if (tcgetattr(slave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
  }
}

PtyReceiver::~PtyReceiver() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

bool PtyReceiver::linkAsCom1(const std::string& deviceRoot) const {
  std::string link = deviceRoot + "/Com1";
  unlink(link.c_str());
  return symlink(slavePath_.c_str(), link.c_str()) == 0;
}

bool PtyReceiver::lineSettings(struct termios* t) const { return tcgetattr(slave_, t) == 0; }

bool PtyReceiver::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int PtyReceiver::unread() const {
  int n = 0;
  if (ioctl(slave_, TIOCINQ, &n) != 0) return -1;
  return n;
}

bool PtyReceiver::waitUntilArrived(int bytes, int timeoutMs) const {
  return waitFor([&] { return unread() >= bytes; }, std::chrono::milliseconds(timeoutMs));
}

bool PtyReceiver::waitUntilRead(int timeoutMs) const {
  return waitFor([&] { return unread() == 0; }, std::chrono::milliseconds(timeoutMs));
}

bool PtyReceiver::sendAndWaitUntilRead(const std::string& bytes, int settleMs) {
  if (!send(bytes)) return false;
  bool seen = false;
  if (waitFor(
          [&] {
            const int n = unread();
            seen = seen || n > 0;
            return seen && n == 0;
          },
          std::chrono::milliseconds(settleMs)))
    return true;
  return !seen && unread() == 0;
}

void PtyReceiver::hangUp() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}
