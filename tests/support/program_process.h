// The real program (or any executable) as a child process for end-to-end
// tests: arguments and extra environment, standard output captured line by
// line, signals, waiting with a time-out. The destructor kills (-9) and reaps
// a child that is still running, so a failed test leaves nothing behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ProgramProcess {
 public:
  ProgramProcess() = default;
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  // Starts `program` with `args` (not counting argv[0]) and the test's own
  // environment plus `env` ("NAME=value" entries, replacing same names).
  // Standard input is /dev/null; standard error is the test's.
  bool start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& env = {});
  pid_t pid() const { return pid_; }
  bool running();

  // The next whole line of standard output, without its '\n'; false when
  // none came within the time-out or the output ended.
  bool readLine(std::string* line, int timeoutMs);
  // Reads lines until one contains `text`; false on time-out or end.
  bool waitForLine(const std::string& text, int timeoutMs, std::string* line = nullptr);
  // Every line read so far, by readLine, waitForLine or readRemainingLines.
  const std::vector<std::string>& lines() const { return lines_; }
  // Reads what is left of standard output after the child has ended.
  void readRemainingLines(int timeoutMs);

  bool signal(int sig);
  // Waits for the child to end. True when it did within the time-out, with
  // *status its exit code, or minus the signal that ended it.
  bool wait(int timeoutMs, int* status = nullptr);
  void kill9();

 private:
  bool fillBuffer(int timeoutMs);

  pid_t pid_ = -1;
  int out_ = -1;
  bool eof_ = false;
  bool reaped_ = false;
  int status_ = 0;
  std::string pending_;
  std::vector<std::string> lines_;
};
