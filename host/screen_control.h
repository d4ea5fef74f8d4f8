// What the host entry does for the screen: opens the chosen display, offers
// the screen's commands to the control channel, and puts message boxes on
// the screen that wait for their OK.
#pragma once

#include <string>

// Opens the display (`headless` or `sdl`, scaled by `scale`) and registers
// the control channel's `tap X Y` and `snapshot FILE`.
// False, with a line on stderr, when the display cannot be opened.
bool startScreenDisplay(const char* displayName, int scale);

// The two commands, as the control channel calls them: the text after the
// command word in, the reply line out.
std::string screenTapCommand(const std::string& arguments);
std::string screenSnapshotCommand(const std::string& arguments);

// The waiting form of MessageBoxW (--msgbox wait), for every later box: the
// box is drawn over the screen and prints its line as the headless one does,
// then stays open, running a message loop for its thread as CE's modal boxes
// do (timers, paints and posted messages go on beneath it), until OK is
// tapped, Enter pressed or the control channel's press-ok dismisses it.
void useWaitingMessageBoxes();
