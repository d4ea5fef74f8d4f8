// The control channel of a running program (--control PATH), spoken from a
// test: one command line out, one reply line back.
#pragma once

#include <chrono>
#include <string>

// Sends one command line to a control socket and returns the reply line
// (without its line break); empty when the socket does not answer.
std::string controlCommand(const std::string& socketPath, const std::string& command);
// Waits until the socket exists and answers `window`.
bool waitForControl(const std::string& socketPath, std::chrono::milliseconds timeout);
// Waits until the reply to `command` starts with `replyStart`; the whole reply
// goes to *reply.
bool waitForReply(const std::string& socketPath, const std::string& command,
                  const std::string& replyStart, std::chrono::milliseconds timeout,
                  std::string* reply = nullptr);
