// The real program (or any executable) as a child process, for the tests
// that run it whole: started under any name (a link called
// install-vellumtrace works as a copy would), with extra environment; its
// standard output and error read line by line as they come, by threads of
// its own, so a test can wait for a line; signals; and waiting for its end.
// The destructor kills (-9) and reaps a child that still runs, so a failed
// test leaves nothing behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ProgramOptions {
  std::string argv0;             // the executable's own path when empty
  std::vector<std::string> env;  // "NAME=value", replacing the test's own NAME
};

class ProgramProcess {
 public:
  // Starts `executable` with `args` (not counting argv[0]). Standard input is
  // /dev/null; the signal mask and dispositions are the defaults, whatever
  // the test runner set.
  ProgramProcess(const std::string& executable, const std::vector<std::string>& args,
                 const ProgramOptions& options = {});
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The lines written so far, without their '\n'.
  std::vector<std::string> outLines();
  std::vector<std::string> errLines();
  // Waits until a line of standard output satisfies `match`; false on time-out.
  bool waitForOutLine(const std::function<bool(const std::string&)>& match,
                      std::chrono::milliseconds timeout);
  bool waitForOutLine(const std::string& exact, std::chrono::milliseconds timeout);
  // Waits until standard output holds at least `count` lines.
  bool waitForOutLines(size_t count, std::chrono::milliseconds timeout);

  // Waits for the child to end: its exit code, 128 + N when signal N ended
  // it, -1 when it still runs after `timeout`. Once it has ended, everything
  // it wrote has been read.
  int waitForExit(std::chrono::milliseconds timeout);
  bool running();
  void signal(int sig);
  // SIGKILL, as a power cut would end it, and waits until it is gone.
  void kill9();

 private:
  void readLoop(int fd, std::vector<std::string>* lines);
  bool reaped();

  pid_t pid_ = -1;
  int status_ = -1;
  bool exited_ = false;
  int closedStreams_ = 0;  // output streams read to their end
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> out_, err_;
  std::thread outReader_, errReader_;
};

// A program run to its end (30 s at most): its exit status and what it
// wrote, each line ending in '\n'. runTool runs vellumtrace-tool.
struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun runProgram(const std::string& executable, const std::vector<std::string>& args,
                   const ProgramOptions& options = {});
ToolRun runTool(const std::vector<std::string>& args);
