// Serial port: SetCommState, GetCommState, SetCommTimeouts, GetCommTimeouts
// on a "Com1:" handle from CreateFileW (a gpsd's port, gpsd_port.h, takes the
// settings as set and reads on its own). Backed by termios on the tty that
// DIR/Com1 (or --com1) names: a USB receiver's /dev/ttyUSB0, or a pty in
// tests. Input is raw (no echo, no line editing, no CR/LF translation), so the
// receiver's bytes arrive as sent. DTR and RTS are raised or dropped with
// TIOCMBIS/TIOCMBIC where the line has them (a pty has none; that is not an
// error). The port is opened non-blocking, so only the read time-outs that
// make a read return at once with what has arrived (ReadIntervalTimeout
// MAXDWORD, zero totals) are supported; others are refused. The line is held
// for one handle, across processes too (TIOCEXCL and an flock). The host may fix
// the line speed (setComBaudRate): a receiver at 4800 baud is read at 4800
// whatever the DCB asks. A line that hangs up or vanishes (a USB receiver
// pulled out) is closed; each later read tries the same path again and, once
// it is back, gives it the settings and time-outs last set, so the reader
// only sees reads that bring nothing in between. A line that stays quiet
// is said to the host (serial_silence.h). Not supported:
// XonLim/XoffLim, the special characters, DSR sensitivity, 1.5 stop bits.
#include "platform/kernel/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/errors.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/files.h"
#include "platform/kernel/gpsd_port.h"
#include "platform/kernel/serial_silence.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"

namespace {

struct BaudRate {
  DWORD rate;
  speed_t speed;
};

const BaudRate kBaudRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
};

std::atomic<DWORD> gBaudOverride{0};

// The port's own state that termios does not hold: the time-outs as set,
// and the line settings last set, to give a line opened again after a
// replug the same.
struct SerialExtra {
  COMMTIMEOUTS timeouts;
  bool timeoutsSet;
  DCB dcb;
  bool dcbSet;
};


void closeSerialExtra(HandleEntry& entry) {
  hostCalls().free(entry.extra);
  entry.extra = nullptr;
  // Exclusive mode outlives this descriptor while another holds the tty
  // open (the far side of a pty): the next opener must not find it.
  if (entry.fd >= 0) hostCalls().ioctl(entry.fd, TIOCNXCL, nullptr);
}

// A tty behind a serial handle; false (last error set) for anything else.
bool serialTty(HANDLE file, HandleEntry* e) {
  if (!lookupHandle(file, HandleKind::Serial, e) || e->fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (hostCalls().isatty(e->fd) != 1) {
    // Not a failed call to the table (isatty answers 0), but the reason to
    // give, with the file behind the descriptor.
    errno = ENOTTY;
    HostCallSubject subject;
    subject.descriptor = e->fd;
    noteHostCallFailure("isatty", subject);
    setLastErrorFromErrno(ENOTTY);
    return false;
  }
  return true;
}

// The handle's SerialExtra, made on first use; nullptr (last error set)
// when there is no memory for it.
SerialExtra* serialExtra(HANDLE file, const HandleEntry& e) {
  setHandleCloser(HandleKind::Serial, closeSerialExtra);
  SerialExtra* extra = static_cast<SerialExtra*>(e.extra);
  if (extra) return extra;
  extra = static_cast<SerialExtra*>(hostCalls().calloc(1, sizeof(SerialExtra)));
  if (!extra || !updateHandleExtra(file, extra)) {
    hostCalls().free(extra);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return extra;
}

void setModemLine(int fd, int line, DWORD control) {
  // ENABLE raises the line, DISABLE drops it; HANDSHAKE is left to the
  // hardware flow control set in termios. A failure (a pty) is ignored.
  if (control != 0 && control != 1) return;
  int bits = line;
  hostCalls().ioctl(fd, control == 1 ? TIOCMBIS : TIOCMBIC, &bits);
}

}  // namespace

const char kSerialBaudRates[] =
    "110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400";

void setComBaudRate(DWORD rate) { gBaudOverride = rate; }

bool serialBaudRateSupported(unsigned long rate) {
  for (const BaudRate& b : kBaudRates)
    if (b.rate == rate) return true;
  return false;
}

BOOL SetCommState(HANDLE file, DCB* dcb) {
  HandleEntry e;
  if (!dcb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (isGpsdPort(file)) return TRUE;  // gpsd sets the receiver's line
  if (!serialTty(file, &e)) return FALSE;
  speed_t speed = 0;
  bool known = false;
  const DWORD rate = gBaudOverride != 0 ? gBaudOverride.load() : dcb->BaudRate;
  for (const BaudRate& b : kBaudRates) {
    if (b.rate == rate) {
      speed = b.speed;
      known = true;
    }
  }
  tcflag_t size;
  switch (dcb->ByteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: known = false; size = CS8; break;
  }
  if (!known || dcb->Parity > 4 || (dcb->StopBits != 0 && dcb->StopBits != 2)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct termios t;
  if (hostCalls().tcgetattr(e.fd, &t) != 0) {
    return failFromErrno();
  }
  // Raw input and output; the receiver's text arrives byte for byte.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= size | CREAD | CLOCAL;
  switch (dcb->Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;           // odd
    case 2: t.c_cflag |= PARENB; break;                    // even
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
    case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
    default: break;                                        // none
  }
  // fParity asks for parity checking; it only means something on a line
  // that carries a parity bit.
  if (dcb->fParity && dcb->Parity != NOPARITY) t.c_iflag |= INPCK;
  if (dcb->StopBits == 2) t.c_cflag |= CSTOPB;
  if (dcb->fOutxCtsFlow || dcb->fRtsControl == 2) t.c_cflag |= CRTSCTS;
  if (dcb->fOutX) t.c_iflag |= IXON;
  if (dcb->fInX) t.c_iflag |= IXOFF;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  // Reads return at once with what has arrived (see SetCommTimeouts).
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (hostCalls().tcsetattr(e.fd, TCSANOW, &t) != 0) {
    return failFromErrno();
  }
  setModemLine(e.fd, TIOCM_DTR, dcb->fDtrControl);
  setModemLine(e.fd, TIOCM_RTS, dcb->fRtsControl);
  if (SerialExtra* extra = serialExtra(file, e)) {
    extra->dcb = *dcb;
    extra->dcbSet = true;
  }
  return TRUE;
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  HandleEntry e;
  if (!dcb) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (isGpsdPort(file)) {
    // What the program set up, as gpsd's line is none of its business.
    memset(dcb, 0, sizeof *dcb);
    dcb->DCBlength = sizeof(DCB);
    dcb->BaudRate = CBR_9600;
    dcb->fBinary = 1;
    dcb->fTXContinueOnXoff = 1;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    dcb->ByteSize = 8;
    return TRUE;
  }
  if (!serialTty(file, &e)) return FALSE;
  struct termios t;
  if (hostCalls().tcgetattr(e.fd, &t) != 0) {
    return failFromErrno();
  }
  memset(dcb, 0, sizeof *dcb);
  dcb->DCBlength = sizeof(DCB);
  speed_t speed = cfgetispeed(&t);
  for (const BaudRate& b : kBaudRates)
    if (b.speed == speed) dcb->BaudRate = b.rate;
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb->ByteSize = 5; break;
    case CS6: dcb->ByteSize = 6; break;
    case CS7: dcb->ByteSize = 7; break;
    default: dcb->ByteSize = 8; break;
  }
  if (t.c_cflag & PARENB) {
    bool odd = t.c_cflag & PARODD, stick = t.c_cflag & CMSPAR;
    dcb->Parity = stick ? (odd ? 3 : 4) : (odd ? 1 : 2);
  }
  dcb->StopBits = (t.c_cflag & CSTOPB) ? 2 : ONESTOPBIT;
  dcb->fBinary = 1;
  dcb->fParity = (t.c_iflag & INPCK) ? 1 : 0;
  dcb->fOutxCtsFlow = (t.c_cflag & CRTSCTS) ? 1 : 0;
  dcb->fOutX = (t.c_iflag & IXON) ? 1 : 0;
  dcb->fInX = (t.c_iflag & IXOFF) ? 1 : 0;
  dcb->fTXContinueOnXoff = 1;
  int lines = 0;
  if (hostCalls().ioctl(e.fd, TIOCMGET, &lines) == 0) {
    dcb->fDtrControl = (lines & TIOCM_DTR) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb->fRtsControl = (t.c_cflag & CRTSCTS) ? 2 : (lines & TIOCM_RTS) ? RTS_CONTROL_ENABLE
                                                                       : RTS_CONTROL_DISABLE;
  } else {
    // No modem lines to read back (a pty): report them as the port keeps them.
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fRtsControl = (t.c_cflag & CRTSCTS) ? 2 : RTS_CONTROL_ENABLE;
  }
  return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  HandleEntry e;
  if (!timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool gpsd = isGpsdPort(file);
  if (!gpsd && !serialTty(file, &e)) return FALSE;
  bool returnAtOnce = timeouts->ReadIntervalTimeout == MAXDWORD &&
                      timeouts->ReadTotalTimeoutMultiplier == 0 &&
                      timeouts->ReadTotalTimeoutConstant == 0;
  if (!returnAtOnce) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (gpsd) return TRUE;  // its reads always return at once
  struct termios t;
  if (hostCalls().tcgetattr(e.fd, &t) != 0) {
    return failFromErrno();
  }
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (hostCalls().tcsetattr(e.fd, TCSANOW, &t) != 0) {
    return failFromErrno();
  }
  SerialExtra* extra = serialExtra(file, e);
  if (!extra) return FALSE;
  extra->timeouts = *timeouts;
  extra->timeoutsSet = true;
  return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  HandleEntry e;
  if (!timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!isGpsdPort(file) && !serialTty(file, &e)) return FALSE;
  if (e.extra && static_cast<SerialExtra*>(e.extra)->timeoutsSet) {
    *timeouts = static_cast<SerialExtra*>(e.extra)->timeouts;
  } else {
    // Never set: the port's reads already return at once.
    memset(timeouts, 0, sizeof *timeouts);
    timeouts->ReadIntervalTimeout = MAXDWORD;
  }
  return TRUE;
}

bool takeSerialLine(int fd) {
  // Exclusive mode refuses other opens of the tty (except by a privileged
  // process); a line that is not a tty has none, which is not an error here.
  setHandleCloser(HandleKind::Serial, closeSerialExtra);
  hostCalls().ioctl(fd, TIOCEXCL, nullptr);
  return lockWithoutWaiting(fd, LOCK_EX);
}

namespace {

// Whether a read's result (and errno) says the line is gone: a hang-up, or
// the device removed.
bool serialLineGone(int fd, ssize_t readResult, int readErrno) {
  if (readResult < 0) return readErrno == EIO || readErrno == ENXIO || readErrno == ENODEV;
  if (readResult > 0) return false;
  // A read of a non-blocking tty that has nothing waiting fails with
  // EAGAIN; 0 is the end of a line that hung up, which poll confirms.
  struct pollfd p = {fd, POLLIN, 0};
  return hostCalls().poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Closes the descriptor of a line that is gone; the handle stays valid.
void dropSerialLine(HANDLE file) {
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::Serial, &e) || e.fd < 0) return;
  updateHandleFd(file, -1);
  hostCalls().ioctl(e.fd, TIOCNXCL, nullptr);
  hostCalls().close(e.fd);
}

// Opens the same path again once it is back, with the line settings and
// time-outs last set; true when the handle has a line (again).
bool reopenSerialLine(HANDLE file) {
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::Serial, &e)) return false;
  if (e.fd >= 0) return true;
  std::string path;
  if (!hostPathFor(u"Com1:", &path)) return false;
  int fd = hostCalls().open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return false;  // not back yet
  if (hostCalls().isatty(fd) != 1 || !takeSerialLine(fd) || !updateHandleFd(file, fd)) {
    hostCalls().close(fd);
    return false;
  }
  // The same line as before: what the program last set, then a read that
  // returns at once. A line that refuses them is given up again.
  SerialExtra* extra = static_cast<SerialExtra*>(e.extra);
  DCB dcb = {};
  COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};
  if (extra && extra->dcbSet) dcb = extra->dcb;
  if (extra && extra->timeoutsSet) timeouts = extra->timeouts;
  bool applied = (!extra || !extra->dcbSet || SetCommState(file, &dcb)) &&
                 SetCommTimeouts(file, &timeouts);
  if (!applied) {
    dropSerialLine(file);
    return false;
  }
  return true;
}

}  // namespace

BOOL readSerialPort(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD bytesRead) {
  if (bytesRead) *bytesRead = 0;
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::Serial, &e)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (isGpsdPort(file)) return readGpsdPort(file, buffer, toRead, bytesRead);
  if (e.fd < 0 && (!reopenSerialLine(file) || !lookupHandle(file, HandleKind::Serial, &e))) {
    SetLastError(ERROR_DEV_NOT_EXIST);
    return FALSE;
  }
  if (toRead == 0) return TRUE;
  ssize_t n = hostCalls().read.retrying(e.fd, buffer, toRead);
  int err = errno;
  if (n > 0) {
    noteSerialRead(file, static_cast<size_t>(n));
    if (bytesRead) *bytesRead = static_cast<DWORD>(n);
    return TRUE;
  }
  if (serialLineGone(e.fd, n, err)) {
    dropSerialLine(file);
    SetLastError(ERROR_DEV_NOT_EXIST);
    return FALSE;
  }
  if (n == 0 || err == EAGAIN) {  // nothing has arrived
    noteSerialRead(file, 0);
    return TRUE;
  }
  errno = err;
  return failFromErrno();
}
