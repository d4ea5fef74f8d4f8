// The tagging batch and the screen's input: the START and EXIT touch regions,
// the one-photo-per-tick batch timer, the progress bookkeeping the screen
// paints, and the two accelerator commands.
#pragma once

#include "platform/core/ce_types.h"

// Timer on the main window that tags one photo per tick.
constexpr uintptr_t kBatchTimerId = 1026;
constexpr UINT kFirstTickMs = 30;
constexpr UINT kNextTickMs = 500;

// Accelerator commands.

// The progress bar: 25 segments of 12 pixels every 17, from x = 25 to 450.
constexpr int kBarSegmentCount = 25;
constexpr int kBarLeft = 25;
constexpr int kBarPitch = 17;
constexpr int kBarSegmentWidth = 12;
constexpr int kBarTop = 151;
constexpr int kBarBottom = 163;
constexpr int kBarRight = kBarLeft + kBarPitch * kBarSegmentCount;  // 450

// Whole segments that a percentage fills: 0 to 25.
int barSegments(float percent);
// The number of segments the bar repaints ahead of the filled ones, for a
// batch of `batchTotal` photos; `current` is kept for a batch of one.
int progressStepFor(int batchTotal, int current);

// WM_LBUTTONDOWN: x in the low, y in the high 16 bits of lParam.
void handleTouch(LPARAM lParam);
// EXIT: hides the idle screen; during a batch, the next tick is the last.
void requestStop();
// START: begins a batch over the listed photos.
void startBatch();
// One tick of the batch timer: tags the photo at the head of the list.
void tagNextPhoto();
// Ends the batch with its closing message and hides the screen.
void finishBatch();
// WM_COMMAND: 0 for the commands handled here, else DefWindowProcW's result.
LRESULT handleCommand(HWND window, WPARAM wParam, LPARAM lParam);
