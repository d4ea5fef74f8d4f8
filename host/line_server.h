// One request a line and one reply line a request, over a Unix stream socket:
// the server behind the control channel and behind the windows other copies
// of the program find and post to, and the client those copies ask with.
#pragma once

#include <string>

// Gets a request line (without its line end) and returns the reply line.
using LineHandler = std::string (*)(const std::string& line);

struct LineServer;

// Creates the socket at `path`, owner-only (mode 0600) from the start, and
// serves it: a thread accepts, and each connection gets a thread of its own
// that hands `handler` every non-empty line it reads (an LF or CR LF ends a
// line) and sends back what it returns. A line longer than 4096 bytes gets
// "error line too long" and ends the connection. A socket left at the path by
// a copy that died is replaced; a live program's socket is refused
// (EADDRINUSE) and anything else there is not ours to remove (EEXIST). At
// most 16 connections are served at once: one more takes the place of the
// one silent the longest (which is closed), or, when all 16 are answering,
// gets "error busy" and is closed; one silent for a minute is closed. A
// failed accept (out of file descriptors, say) is said on standard error and
// tried again after a pause, so the socket keeps serving once it can.
// Null, with errno set, when the socket cannot be made.
LineServer* startLineServer(const std::string& path, LineHandler handler);
// Waits up to a second for the replies in progress (so that `quit` still
// gets its `ok`), stops accepting and removes the socket. Safe to call more
// than once, and with null.
void stopLineServer(LineServer* server);

enum class LineAsk { Answered, NobodyListens, Failed };
// Sends `request` as one line to the server at `path` and waits up to
// `timeoutMs` for its reply line. NobodyListens when there is no socket at the
// path or no process behind it.
LineAsk askLineServer(const std::string& path, const std::string& request, int timeoutMs,
                      std::string* reply);
