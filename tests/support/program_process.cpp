#include "tests/support/program_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tests/support/wait_for.h"

extern char** environ;

namespace {

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The test's environment with `extra` put in, replacing entries of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
  std::vector<std::string> all;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& x : extra) replaced = replaced || nameOf(x) == nameOf(entry);
    if (!replaced) all.push_back(entry);
  }
  all.insert(all.end(), extra.begin(), extra.end());
  return all;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ProgramProcess::ProgramProcess(const std::string& executable, const std::vector<std::string>& args,
                               const ProgramOptions& options) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) abort();
  std::vector<std::string> argStrings{options.argv0.empty() ? executable : options.argv0};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings = environmentWith(options.env);
  std::vector<char*> argv = pointersTo(argStrings);
  std::vector<char*> envp = pointersTo(envStrings);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (posix_spawn(&pid_, executable.c_str(), &actions, &attr, argv.data(), envp.data()) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(out[1]);
  close(err[1]);
  outReader_ = std::thread(&ProgramProcess::readLoop, this, out[0], &out_);
  errReader_ = std::thread(&ProgramProcess::readLoop, this, err[0], &err_);
}

ProgramProcess::~ProgramProcess() {
  kill9();
  outReader_.join();
  errReader_.join();
}

void ProgramProcess::readLoop(int fd, std::vector<std::string>* lines) {
  std::string pending;
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines->push_back(pending.substr(0, nl));
      pending.erase(0, nl + 1);
      changed_.notify_all();
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending.empty()) lines->push_back(pending);
  ++closedStreams_;
  changed_.notify_all();
  close(fd);
}

std::vector<std::string> ProgramProcess::outLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}

std::vector<std::string> ProgramProcess::errLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return err_;
}

bool ProgramProcess::waitForOutLine(const std::function<bool(const std::string&)>& match,
                                    std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    for (const std::string& l : out_)
      if (match(l)) return true;
    return false;
  });
}

bool ProgramProcess::waitForOutLine(const std::string& exact, std::chrono::milliseconds timeout) {
  return waitForOutLine([&](const std::string& l) { return l == exact; }, timeout);
}

bool ProgramProcess::waitForOutLines(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return out_.size() >= count; });
}

// Reaps the child if it has ended; true once it has.
bool ProgramProcess::reaped() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (exited_) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  exited_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // Everything it wrote is read before its end is reported.
  changed_.wait_for(lock, std::chrono::seconds(2), [&] { return closedStreams_ == 2; });
  return true;
}

int ProgramProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (pid_ < 0 || !waitFor([this] { return reaped(); }, timeout)) return -1;
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

bool ProgramProcess::running() { return pid_ > 0 && !reaped(); }

void ProgramProcess::signal(int sig) {
  if (running()) kill(pid_, sig);
}

void ProgramProcess::kill9() {
  if (!running()) return;
  kill(pid_, SIGKILL);
  waitForExit(std::chrono::seconds(10));
}

ToolRun runProgram(const std::string& executable, const std::vector<std::string>& args,
                   const ProgramOptions& options) {
  ProgramProcess program(executable, args, options);
  ToolRun r{program.waitForExit(std::chrono::seconds(30)), {}, {}};
  for (const std::string& line : program.outLines()) r.out += line + "\n";
  for (const std::string& line : program.errLines()) r.err += line + "\n";
  return r;
}

ToolRun runTool(const std::vector<std::string>& args) { return runProgram(VT_TOOL, args); }
