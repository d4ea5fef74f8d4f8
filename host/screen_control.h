// What the host entry does for the screen: opens the chosen display and
// offers the screen's commands to the control channel.
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
