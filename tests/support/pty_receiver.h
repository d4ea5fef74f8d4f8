// A GPS receiver on the far side of a pty: the test writes NMEA text into the
// master end; the program (or the worker in the test's own process) reads the
// slave end as its "Com1:". The one pty helper of the tests: a run that only
// needs a port to open holds one that stays silent.
#pragma once

#include <termios.h>

#include <string>

class PtyReceiver {
 public:
  // Opens the pair and holds the slave open in raw mode, so text written
  // before the program opens the port is neither echoed nor translated.
  PtyReceiver();
  ~PtyReceiver();
  PtyReceiver(const PtyReceiver&) = delete;
  PtyReceiver& operator=(const PtyReceiver&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& slavePath() const { return slavePath_; }
  // Points DIR/Com1 of a device image at the slave.
  bool linkAsCom1(const std::string& deviceRoot) const;
  // The line settings the port has now, read through the slave this
  // receiver holds (a port held in exclusive mode refuses new opens).
  bool lineSettings(struct termios* t) const;
  // Writes all the bytes at once, as one burst.
  bool send(const std::string& bytes);
  // Bytes sent that the program has not read yet.
  int unread() const;
  // Waits until at least `bytes` bytes wait at the slave: written bytes reach
  // it a moment after the write returns.
  bool waitUntilArrived(int bytes, int timeoutMs) const;
  // Waits until nothing sent waits at the slave; false on time-out. Bytes
  // written a moment ago may not have arrived yet, so an empty port proves a
  // read only when what was sent had arrived before.
  bool waitUntilRead(int timeoutMs) const;
  // Sends the bytes and returns once the program has read them: they were
  // seen waiting at the slave and then gone. Bytes read before the first look
  // are never seen waiting; then the port staying empty for `settleMs` (a
  // few of the reader's periods) counts as read.
  bool sendAndWaitUntilRead(const std::string& bytes, int settleMs);
  // Closes the master: the slave sees a hang-up, as when a USB receiver is
  // pulled out.
  void hangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
