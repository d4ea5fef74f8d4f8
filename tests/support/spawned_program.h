// The real program as a child process, started under any name (a link or a
// copy called install-vellumtrace), with its standard output and error read
// line by line as they come; and the control channel spoken from a test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SpawnedProgram {
 public:
  // Starts `executable` with argv[0] = argv0 (the executable itself when
  // empty) and the given arguments.
  SpawnedProgram(const std::string& executable, const std::vector<std::string>& args,
                 const std::string& argv0 = "");
  ~SpawnedProgram();  // kills the child if it still runs
  SpawnedProgram(const SpawnedProgram&) = delete;
  SpawnedProgram& operator=(const SpawnedProgram&) = delete;

  pid_t pid() const { return pid_; }
  // The lines written so far.
  std::vector<std::string> outLines();
  std::vector<std::string> errLines();
  // Waits until a line of standard output satisfies `match`; false on timeout.
  bool waitForOutLine(const std::function<bool(const std::string&)>& match,
                      std::chrono::milliseconds timeout);
  bool waitForOutLine(const std::string& exact, std::chrono::milliseconds timeout);
  // Waits for the child to end: its exit code, -1 on timeout, 128+N for a
  // signal N.
  int waitForExit(std::chrono::milliseconds timeout);
  bool running();
  void signal(int sig);

 private:
  void readLoop(int fd, std::vector<std::string>* lines);

  pid_t pid_ = -1;
  int status_ = -1;
  bool exited_ = false;
  int closedStreams_ = 0;  // output streams read to their end
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> out_, err_;
  std::thread outReader_, errReader_;
};

// Sends one command line to a control socket and returns the reply line
// (without its line break); empty when the socket does not answer.
std::string controlCommand(const std::string& socketPath, const std::string& command);
// Waits until the socket answers and the program has started: its main
// window made, and hidden.
bool waitForControl(const std::string& socketPath, std::chrono::milliseconds timeout);
