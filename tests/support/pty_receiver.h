// A GPS receiver on the far side of a pty: the test writes NMEA text into the
// master end; the program reads the slave end as its "Com1:".
#pragma once

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
  // Writes all the bytes at once, as one burst.
  bool send(const std::string& bytes);
  // Bytes sent that the program has not read yet.
  int unread() const;
  // Waits until the program has read everything sent; false on time-out.
  bool waitUntilRead(int timeoutMs) const;
  // Closes the master: the slave sees a hang-up, as when a USB receiver is
  // pulled out.
  void hangUp();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
