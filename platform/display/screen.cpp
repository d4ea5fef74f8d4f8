// The screen's layers and their composition, PNG snapshots (libpng, written
// through the host-call table), and the one stack of the message boxes open
// on it.
// The window layer is painted on the window's thread and copied into the
// shown layer when a paint ends, so a display or a snapshot on another thread
// never sees half a paint.
#include "platform/display/screen.h"

#include <fcntl.h>
#include <png.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/core/host_calls.h"
#include "platform/kernel/files.h"
#include "platform/display/message_box_drawing.h"
#include "platform/user/windows.h"

namespace {

struct ShownBox {
  int id;
  DWORD waitingThread;
  std::u16string title;
  std::u16string text;
  Surface pixels;
  RECT rect;
  RECT ok;
};

struct ScreenState {
  std::mutex lock;
  Surface painted;  // window layer, written by the painting thread
  Surface shown;    // what the last finished paints left
  bool windowShown = false;
  std::vector<ShownBox> boxes;  // the newest last
  std::vector<int> dismissed;   // ids dismissed and not yet hidden by their owner
  int nextBoxId = 1;
  std::atomic<uint64_t> generation{1};
  ScreenState() {
    painted.resize(kScreenWidth, kScreenHeight, 0);
    shown.resize(kScreenWidth, kScreenHeight, 0);
  }
};

ScreenState& state() {
  static ScreenState* s = new ScreenState;
  return *s;
}

}  // namespace

namespace {
// Windows paint into the window layer and say when any is showing; offered
// while the program starts, before any window exists.
[[maybe_unused]] const bool gOfferedToPainting =
    (offerWindowSurface(&state().painted, publishScreenRect),
     setWindowsShownListener(setScreenWindowShown), true);
}  // namespace

void publishScreenRect(const RECT& area) {
  ScreenState& s = state();
  RECT r = intersectRects(area, RECT{0, 0, kScreenWidth, kScreenHeight});
  if (rectIsEmpty(r)) return;
  std::lock_guard<std::mutex> guard(s.lock);
  for (int y = r.top; y < r.bottom; ++y) {
    memcpy(s.shown.row(y) + r.left, s.painted.row(y) + r.left,
           static_cast<size_t>(r.right - r.left) * sizeof(uint32_t));
  }
  ++s.generation;
}

void setScreenWindowShown(bool shown) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.windowShown != shown) ++s.generation;
  s.windowShown = shown;
}

bool screenWindowShown() {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.windowShown;
}

uint64_t screenGeneration() { return state().generation.load(); }

void composeScreen(Surface* out) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.windowShown) {
    *out = s.shown;
  } else {
    out->resize(kScreenWidth, kScreenHeight, kDesktopPixel);
  }
  if (s.boxes.empty()) return;
  const ShownBox& box = s.boxes.back();
  RECT r = intersectRects(box.rect, RECT{0, 0, kScreenWidth, kScreenHeight});
  for (int y = r.top; y < r.bottom; ++y) {
    const uint32_t* from = box.pixels.row(y - box.rect.top) + (r.left - box.rect.left);
    memcpy(out->row(y) + r.left, from, static_cast<size_t>(r.right - r.left) * sizeof(uint32_t));
  }
}

namespace {

// libpng's output, written through the host-call table instead of stdio.
void writeToFd(png_structp png, png_bytep data, size_t size) {
  int fd = *static_cast<int*>(png_get_io_ptr(png));
  if (writeAllToHostFile(fd, data, size) != 0) png_error(png, "write failed");
}
void flushNothing(png_structp) {}

// libpng reports errors by longjmp; nothing here needs unwinding.
bool writePng(int fd, const Surface& frame, png_byte* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &fd, writeToFd, flushNothing);
  png_set_IHDR(png, info, frame.width, frame.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (int y = 0; y < frame.height; ++y) {
    const uint32_t* p = frame.row(y);
    for (int x = 0; x < frame.width; ++x) {
      row[3 * x] = static_cast<png_byte>(p[x] >> 16);
      row[3 * x + 1] = static_cast<png_byte>(p[x] >> 8);
      row[3 * x + 2] = static_cast<png_byte>(p[x]);
    }
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool saveScreenSnapshot(const char* pngPath) {
  if (!pngPath) return false;
  Surface frame;
  composeScreen(&frame);
  int fd = hostCalls().open(pngPath, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  std::vector<png_byte> row(static_cast<size_t>(frame.width) * 3);
  bool ok = writePng(fd, frame, row.data());
  if (hostCalls().close(fd) != 0) ok = false;
  if (!ok) hostCalls().unlink(pngPath);
  return ok;
}

int showScreenMessageBox(const char16_t* title, const char16_t* text, DWORD waitingThread) {
  ShownBox box;
  box.waitingThread = waitingThread;
  box.title = title ? title : u"";
  box.text = text ? text : u"";
  // Drawn before the screen is locked: drawing takes the painting lock, and
  // a finished paint takes the two the other way round.
  DrawnMessageBox drawn = drawMessageBox(box.title.c_str(), box.text.c_str());
  box.pixels = std::move(drawn.pixels);
  box.rect.left = (kScreenWidth - box.pixels.width) / 2;
  box.rect.top = (kScreenHeight - box.pixels.height) / 2;
  box.rect.right = box.rect.left + box.pixels.width;
  box.rect.bottom = box.rect.top + box.pixels.height;
  box.ok = RECT{box.rect.left + drawn.ok.left, box.rect.top + drawn.ok.top,
                box.rect.left + drawn.ok.right, box.rect.top + drawn.ok.bottom};
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  box.id = s.nextBoxId++;
  s.boxes.push_back(std::move(box));
  ++s.generation;
  return s.boxes.back().id;
}

void hideScreenMessageBox(int id) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  for (size_t i = 0; i < s.boxes.size(); ++i) {
    if (s.boxes[i].id == id) {
      s.boxes.erase(s.boxes.begin() + static_cast<ptrdiff_t>(i));
      ++s.generation;
      break;
    }
  }
  for (size_t i = 0; i < s.dismissed.size(); ++i) {
    if (s.dismissed[i] == id) {
      s.dismissed.erase(s.dismissed.begin() + static_cast<ptrdiff_t>(i));
      break;
    }
  }
}

void hideAllScreenMessageBoxes() {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.boxes.empty()) ++s.generation;
  s.boxes.clear();
  s.dismissed.clear();
}

bool screenMessageBoxShown() {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return !s.boxes.empty();
}

bool topScreenMessageBox(std::u16string* title, std::u16string* text) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.boxes.empty()) return false;
  *title = s.boxes.back().title;
  *text = s.boxes.back().text;
  return true;
}

bool dismissTopScreenMessageBox(DWORD* waitingThread) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.boxes.empty()) return false;
  if (waitingThread) *waitingThread = s.boxes.back().waitingThread;
  s.dismissed.push_back(s.boxes.back().id);
  s.boxes.pop_back();
  ++s.generation;
  return true;
}

bool screenMessageBoxDismissed(int id) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  for (int d : s.dismissed) {
    if (d == id) return true;
  }
  return false;
}

static bool inside(const RECT& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool screenMessageBoxHitsOk(int x, int y) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return !s.boxes.empty() && inside(s.boxes.back().ok, x, y);
}

bool screenMessageBoxContains(int x, int y) {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return !s.boxes.empty() && inside(s.boxes.back().rect, x, y);
}

RECT screenMessageBoxRect() {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.boxes.empty() ? RECT{} : s.boxes.back().rect;
}

RECT screenMessageBoxOkRect() {
  ScreenState& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.boxes.empty() ? RECT{} : s.boxes.back().ok;
}
