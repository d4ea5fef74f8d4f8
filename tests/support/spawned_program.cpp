#include "tests/support/spawned_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

SpawnedProgram::SpawnedProgram(const std::string& executable, const std::vector<std::string>& args,
                               const std::string& argv0) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> all{argv0.empty() ? executable : argv0};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  outReader_ = std::thread(&SpawnedProgram::readLoop, this, out[0], &out_);
  errReader_ = std::thread(&SpawnedProgram::readLoop, this, err[0], &err_);
}

SpawnedProgram::~SpawnedProgram() {
  if (running()) {
    kill(pid_, SIGKILL);
    waitForExit(std::chrono::seconds(5));
  }
  outReader_.join();
  errReader_.join();
}

void SpawnedProgram::readLoop(int fd, std::vector<std::string>* lines) {
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

std::vector<std::string> SpawnedProgram::outLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}

std::vector<std::string> SpawnedProgram::errLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return err_;
}

bool SpawnedProgram::waitForOutLine(const std::function<bool(const std::string&)>& match,
                                    std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    for (const std::string& l : out_)
      if (match(l)) return true;
    return false;
  });
}

bool SpawnedProgram::waitForOutLine(const std::string& exact, std::chrono::milliseconds timeout) {
  return waitForOutLine([&](const std::string& l) { return l == exact; }, timeout);
}

int SpawnedProgram::waitForExit(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (exited_) return status_;
    }
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      std::unique_lock<std::mutex> lock(mutex_);
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      // Everything it wrote is read before its end is reported.
      changed_.wait_for(lock, std::chrono::seconds(2), [&] { return closedStreams_ == 2; });
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    usleep(5000);
  }
}

bool SpawnedProgram::running() { return pid_ > 0 && waitForExit(std::chrono::milliseconds(0)) == -1; }

void SpawnedProgram::signal(int sig) {
  if (running()) kill(pid_, sig);
}

std::string controlCommand(const std::string& socketPath, const std::string& command) {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return "";
  memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
      char c;
      pollfd p = {fd, POLLIN, 0};
      while (poll(&p, 1, 5000) == 1 && read(fd, &c, 1) == 1 && c != '\n') reply.push_back(c);
    }
  }
  close(fd);
  return reply;
}

bool waitForControl(const std::string& socketPath, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    // The main window is made visible and hidden at once while the program
    // starts; a program that has started shows no window.
    if (controlCommand(socketPath, "window") == "hidden") return true;
    usleep(10000);
  }
  return false;
}
