#include "tests/support/xvfb_server.h"

#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/device_image_fixture.h"
#include "tests/support/wait_for.h"

namespace {

bool onPath(const char* program) {
  std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return system(command.c_str()) == 0;
}

}  // namespace

XvfbServer::~XvfbServer() { stop(); }

std::string XvfbServer::missingTools() {
  std::string missing;
  for (const char* tool : {"Xvfb", "import", "xdotool"}) {
    if (!onPath(tool)) missing += std::string(missing.empty() ? "" : ", ") + tool;
  }
  return missing;
}

bool XvfbServer::start() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    // The server writes the display number it took to the pipe when ready.
    int out = dup(fds[1]);
    std::string fd = std::to_string(out);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = pid;
  std::string number;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n <= 0) break;
    if (c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) {
    stop();
    return false;
  }
  display_ = ":" + number;
  return true;
}

void XvfbServer::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

int XvfbServer::run(const std::string& command, std::string* output) const {
  std::string full = "DISPLAY=" + display_ + " " + command + " 2>/dev/null";
  FILE* p = popen(full.c_str(), "r");
  if (!p) return -1;
  char buf[256];
  std::string text;
  while (fgets(buf, sizeof buf, p)) text += buf;
  int status = pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string XvfbServer::findWindow(const std::string& title, int timeoutMs) const {
  std::string out;
  if (!waitFor([&] {
        return run("xdotool search --onlyvisible --name '^" + title + "$'", &out) == 0 &&
               !out.empty();
      }, std::chrono::milliseconds(timeoutMs)))
    return "";
  return out.substr(0, out.find('\n'));
}

bool XvfbServer::grabWindow(const std::string& windowId, Surface* out) const {
  std::string dir = makeTempDir("vt-grab");
  std::string path = dir + "/window.png";
  bool ok = run("import -window " + windowId + " png24:" + path) == 0 && readPngFile(path, out);
  removeTree(dir);
  return ok;
}

bool XvfbServer::click(const std::string& windowId, int x, int y) const {
  return run("xdotool mousemove --window " + windowId + " " + std::to_string(x) + " " +
             std::to_string(y) + " click 1") == 0;
}

bool XvfbServer::key(const std::string& windowId, const std::string& keys) const {
  return run("xdotool key --window " + windowId + " " + keys) == 0;
}

bool readPngFile(const std::string& path, Surface* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  const int type = png_get_color_type(png, info);
  const bool ok = png_get_bit_depth(png, info) == 8 &&
                  (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA);
  if (ok) {
    const int w = static_cast<int>(png_get_image_width(png, info));
    const int h = static_cast<int>(png_get_image_height(png, info));
    const int channels = type == PNG_COLOR_TYPE_RGB ? 3 : 4;
    out->resize(w, h, 0);
    std::vector<png_byte> row(static_cast<size_t>(w) * channels);
    for (int y = 0; y < h; ++y) {
      png_read_row(png, row.data(), nullptr);
      for (int x = 0; x < w; ++x) {
        const png_byte* p = &row[static_cast<size_t>(x) * channels];
        out->row(y)[x] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(f);
  return ok;
}
