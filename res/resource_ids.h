// The numbers of the executable's resources and of the commands its
// accelerators send, for the code that loads or handles them.
#pragma once

// String table.
constexpr unsigned IDS_WINDOW_TITLE = 1;  // the main window's title
constexpr unsigned IDS_WINDOW_CLASS = 2;  // the main window's class name

// Accelerator table.
constexpr unsigned IDR_ACCELERATORS = 2;

// Bitmaps.
constexpr unsigned IDB_BACKGROUND = 132;  // the 480 x 272 background of the tagging screen

// Commands (WM_COMMAND's low word).
constexpr unsigned IDM_CTRL_Q = 1;        // Ctrl+Q: left to the default procedure, so nothing happens
constexpr unsigned IDM_GREETING = 40002;  // Ctrl+A: the greeting box
constexpr unsigned IDM_NOTHING = 32772;   // a command that does nothing
constexpr unsigned IDM_START_BATCH = 40003;  // START without a touch: a card that tags by itself
