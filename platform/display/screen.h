// The device's screen on the host: 480 x 272 pixels the displays show and the
// snapshots save. What they show is composed from three things: the window
// layer that windows paint into, the plain desktop that shows instead while
// no window is visible, and the drawn message box on top of either.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/gdi_internal.h"

// The desktop's colour, shown while every window is hidden.
constexpr uint32_t kDesktopPixel = 0x3A6EA5;

// The screen offers its window layer to the painting family at start-up:
// window device contexts draw into it, on the window's thread, and publish
// what a finished paint drew inside `area` (screen coordinates) here.
void publishScreenRect(const RECT& area);

// Whether a window is showing; while none is, the screen shows the desktop.
void setScreenWindowShown(bool shown);
bool screenWindowShown();

// Counts every change of what composeScreen gives, so a display redraws
// only when there is something new.
uint64_t screenGeneration();

// The screen as the user sees it, into `out` (resized to 480 x 272).
void composeScreen(Surface* out);

// Writes the screen as the user sees it to a PNG file (8-bit RGB). False, with
// the file removed, when it cannot be written.
bool saveScreenSnapshot(const char* pngPath);

// The message boxes open on the screen: one stack, the newest drawn on top of
// the screen and the one taps, Enter and the control channel's press-ok go
// to. The text may hold line breaks. A box a thread waits on names that
// thread, so that whoever dismisses the box can wake it (pressMessageBoxOk).
int showScreenMessageBox(const char16_t* title, const char16_t* text,
                         DWORD waitingThread = 0);  // its id
void hideScreenMessageBox(int id);
void hideAllScreenMessageBoxes();
bool screenMessageBoxShown();
// The top box's title and text; false when there is none.
bool topScreenMessageBox(std::u16string* title, std::u16string* text);
// Dismisses the top box (it disappears at once) and gives the thread waiting
// on it; false when there is none.
bool dismissTopScreenMessageBox(DWORD* waitingThread = nullptr);
bool screenMessageBoxDismissed(int id);
// Whether (x, y) lies on the top box's OK button / anywhere on the top box.
bool screenMessageBoxHitsOk(int x, int y);
bool screenMessageBoxContains(int x, int y);
// The top box's frame and its OK button, in screen coordinates.
RECT screenMessageBoxRect();
RECT screenMessageBoxOkRect();
