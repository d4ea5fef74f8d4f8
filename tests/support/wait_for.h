// Waiting for state a test can observe (a file's size, a window's state, a
// line of output) instead of sleeping for a time that is long enough on a
// quiet machine and too short on a loaded one.
#pragma once

#include <chrono>
#include <functional>

// Polls `done` every few milliseconds until it holds; false when it still
// does not after `timeout`. `done` is asked once more at the deadline, so a
// state reached just then still counts.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));
