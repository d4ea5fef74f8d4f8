// FindWindowW and PostMessageW across the processes of one device image.
#pragma once

// Publishes this process's top-level windows to the other copies of the
// program on the same device image, and lets FindWindowW and PostMessageW
// reach theirs. False when the run folder cannot be made safely.
bool startInterprocess();
// Withdraws this process's entry. Safe to call more than once.
void stopInterprocess();
