// The waiting form of MessageBoxW (--msgbox wait): the box prints its line
// as the headless one does, then stays open, running a message loop for its
// thread as CE's modal boxes do (timers, paints and posted messages go on
// beneath it), until it is dismissed through the control channel.
#pragma once

#include <string>

// Makes every later MessageBoxW wait.
void useWaitingMessageBoxes();
// The box on top (the one opened last that is still open): false when none.
bool topMessageBox(std::u16string* title, std::u16string* text);
// Dismisses the box on top as its OK button would; false when none is open.
bool pressOkOnTopMessageBox();
