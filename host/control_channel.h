// The control channel (--control PATH): a Unix stream socket through which
// tests and scripts drive a running program, one command a line and one reply
// line a command, in UTF-8.
//
//   window                  visible | hidden       the main window's state
//   key ctrl+a | ctrl+q     ok                     a key press for the main window
//   msgbox                  none | open<TAB>title<TAB>text   the box on top
//   press-ok                ok | none              dismisses the box on top
//   quit                    ok                     WM_CLOSE to the main window
//   tap X Y, snapshot FILE  as their handlers say, else unsupported
#pragma once

#include <string>

// Creates the socket (mode 0600; a stale socket at the path is replaced) and
// starts serving it. False, with errno set, when it cannot be made.
bool startControlChannel(const std::string& path);
// Stops serving and removes the socket. Safe to call more than once.
void stopControlChannel();

// A command provided by another part of the host (the screen's tap and
// snapshot): gets the text after the command word and returns the reply.
using ControlCommandHandler = std::string (*)(const std::string& arguments);
void setControlCommand(const std::string& name, ControlCommandHandler handler);
