#include "tests/support/program_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

ProgramProcess::~ProgramProcess() {
  kill9();
  if (out_ >= 0) close(out_);
}

bool ProgramProcess::start(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& extra : env)
      if (nameOf(extra) == nameOf(entry)) replaced = true;
    if (!replaced) envStrings.push_back(entry);
  }
  for (const std::string& extra : env) envStrings.push_back(extra);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> argStrings{program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  // A fresh signal mask and default dispositions, whatever the test runner set.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    errno = rc;
    return false;
  }
  pid_ = pid;
  out_ = pipeFds[0];
  eof_ = false;
  reaped_ = false;
  pending_.clear();
  lines_.clear();
  return true;
}

bool ProgramProcess::running() {
  if (pid_ < 0 || reaped_) return false;
  return !wait(0);
}

bool ProgramProcess::fillBuffer(int timeoutMs) {
  if (out_ < 0 || eof_) return false;
  struct pollfd p = {out_, POLLIN, 0};
  int rc = poll(&p, 1, timeoutMs);
  if (rc <= 0) return false;
  char buf[4096];
  ssize_t n = read(out_, buf, sizeof buf);
  if (n < 0 && errno == EINTR) return true;
  if (n <= 0) {
    eof_ = true;
    return false;
  }
  pending_.append(buf, static_cast<size_t>(n));
  return true;
}

bool ProgramProcess::readLine(std::string* line, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      *line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      lines_.push_back(*line);
      return true;
    }
    if (!fillBuffer(msLeft(deadline)) && (eof_ || msLeft(deadline) == 0)) return false;
  }
}

bool ProgramProcess::waitForLine(const std::string& text, int timeoutMs, std::string* found) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (readLine(&line, msLeft(deadline))) {
    if (line.find(text) != std::string::npos) {
      if (found) *found = line;
      return true;
    }
  }
  return false;
}

void ProgramProcess::readRemainingLines(int timeoutMs) {
  std::string line;
  while (readLine(&line, timeoutMs)) {
  }
}

bool ProgramProcess::signal(int sig) {
  if (pid_ < 0 || reaped_) return false;
  return ::kill(pid_, sig) == 0;
}

bool ProgramProcess::wait(int timeoutMs, int* status) {
  if (pid_ < 0) return false;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!reaped_) {
    int raw = 0;
    pid_t r = waitpid(pid_, &raw, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? -WTERMSIG(raw) : raw;
      break;
    }
    if (r < 0 && errno != EINTR) return false;
    if (msLeft(deadline) == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (status) *status = status_;
  return true;
}

void ProgramProcess::kill9() {
  if (pid_ < 0 || reaped_) return;
  ::kill(pid_, SIGKILL);
  wait(10000);
}
