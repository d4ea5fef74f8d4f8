// The sdl display: an SDL2 window showing the 480 x 272 screen, each pixel
// scale x scale, and the window's mouse, touch (finger) and keyboard as the
// device's input. The window lives on a thread of its own, which owns every
// SDL call; it redraws when the composed screen changes. Closing the window
// ends the program as a SIGTERM would. Works with any SDL video driver: X11
// or Wayland on a desktop, KMSDRM on a device's own screen (SDL_VIDEODRIVER).
//
// This file is a module of its own (vellumtrace-display-sdl.so), loaded only
// when the sdl display is asked for, so that a headless program maps none of
// SDL2 and what it brings (X11, Wayland, ALSA, PulseAudio). It reaches the
// screen and the input through the DisplayHostSide table it is given.
#include <SDL.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>

#include "platform/display/display_driver.h"
#include "platform/display/screen.h"
#include "platform/user/windows.h"  // the virtual key codes

namespace {

// The device's virtual key for an SDL key, or 0 for a key it has not.
WORD virtualKeyFor(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<WORD>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WORD>('0' + (key - SDLK_0));
  if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<WORD>(0x70 + (key - SDLK_F1));
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 0x10;
    case SDLK_LALT:
    case SDLK_RALT: return 0x12;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_SPACE: return 0x20;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    default: return 0;
  }
}

class SdlDisplay : public DisplayDriver {
 public:
  SdlDisplay(const DisplayHostSide& host, int scale) : host_(host), scale_(scale) {}
  ~SdlDisplay() override { stop(); }

  const char* name() const override { return "sdl"; }

  bool start() override {
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    thread_ = std::thread([this, &opened] { run(opened); });
    if (result.get()) return true;
    thread_.join();
    return false;
  }

  void stop() override {
    quit_.store(true);
    if (thread_.joinable()) thread_.join();
  }

  uint64_t presentedGeneration() const override { return presented_.load(); }

 private:
  void run(std::promise<bool>& opened) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // the program's signals stay its own
    SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");  // fingers come as finger events only
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
      fprintf(stderr, "vellumtrace: cannot open the sdl display: %s\n", SDL_GetError());
      opened.set_value(false);
      return;
    }
    // On X the window's pixels go straight to the server, not through GL.
    if (const char* driver = SDL_GetCurrentVideoDriver(); driver && !strcmp(driver, "x11")) {
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    }
    window_ = SDL_CreateWindow("Vellumtrace", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               kScreenWidth * scale_, kScreenHeight * scale_, SDL_WINDOW_SHOWN);
    if (!window_) {
      fprintf(stderr, "vellumtrace: cannot open the sdl window: %s\n", SDL_GetError());
      SDL_Quit();
      opened.set_value(false);
      return;
    }
    opened.set_value(true);
    uint64_t shown = 0;
    bool exposed = true;
    while (!quit_.load()) {
      SDL_Event e;
      if (SDL_WaitEventTimeout(&e, 15)) {
        do {
          exposed |= handle(e);
        } while (SDL_PollEvent(&e));
      }
      uint64_t now = host_.screenGeneration();
      if (now != shown || exposed) {
        host_.composeScreen(&frame_);
        if (present()) {
          shown = now;
          presented_.store(now);
          exposed = false;
        }
      }
    }
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_Quit();
  }

  // Handles one event; true when the window needs drawing again.
  bool handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_QUIT:
        host_.closeProgram();
        return false;
      case SDL_WINDOWEVENT:
        return e.window.event == SDL_WINDOWEVENT_EXPOSED ||
               e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
               e.window.event == SDL_WINDOWEVENT_SHOWN;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && e.button.which != SDL_TOUCH_MOUSEID) {
          touch(e.button.x / scale_, e.button.y / scale_, e.type == SDL_MOUSEBUTTONDOWN);
        }
        return false;
      case SDL_FINGERDOWN:
      case SDL_FINGERUP:
        // Finger positions are fractions of the window.
        touch(static_cast<int>(e.tfinger.x * kScreenWidth), static_cast<int>(e.tfinger.y * kScreenHeight),
              e.type == SDL_FINGERDOWN);
        return false;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (e.key.repeat == 0) {
          if (WORD vk = virtualKeyFor(e.key.keysym.sym)) host_.deliverKey(vk, e.type == SDL_KEYDOWN);
        }
        return false;
      default:
        return false;
    }
  }

  void touch(int x, int y, bool down) {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return;
    host_.deliverTouch(x, y, down);
  }

  // Puts frame_ on the window, each pixel scale_ x scale_.
  bool present() {
    SDL_Surface* out = SDL_GetWindowSurface(window_);
    if (!out) return false;
    if (out->format->BytesPerPixel == 4 && out->w >= kScreenWidth * scale_ &&
        out->h >= kScreenHeight * scale_) {
      if (SDL_MUSTLOCK(out)) SDL_LockSurface(out);
      const bool direct = out->format->format == SDL_PIXELFORMAT_RGB888 ||
                          out->format->format == SDL_PIXELFORMAT_ARGB8888;
      for (int y = 0; y < kScreenHeight; ++y) {
        const uint32_t* src = frame_.row(y);
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) +
                                                static_cast<ptrdiff_t>(y) * scale_ * out->pitch);
        for (int x = 0; x < kScreenWidth; ++x) {
          uint32_t p = direct ? (src[x] | 0xFF000000u)
                              : SDL_MapRGB(out->format, static_cast<Uint8>(src[x] >> 16),
                                           static_cast<Uint8>(src[x] >> 8), static_cast<Uint8>(src[x]));
          for (int k = 0; k < scale_; ++k) row[x * scale_ + k] = p;
        }
        for (int k = 1; k < scale_; ++k) {
          memcpy(reinterpret_cast<uint8_t*>(row) + static_cast<ptrdiff_t>(k) * out->pitch, row,
                 static_cast<size_t>(kScreenWidth * scale_) * 4);
        }
      }
      if (SDL_MUSTLOCK(out)) SDL_UnlockSurface(out);
    } else {
      SDL_Surface* in = SDL_CreateRGBSurfaceWithFormatFrom(frame_.pixels.data(), kScreenWidth, kScreenHeight,
                                                           32, kScreenWidth * 4, SDL_PIXELFORMAT_RGB888);
      if (!in) return false;
      SDL_Rect to{0, 0, kScreenWidth * scale_, kScreenHeight * scale_};
      SDL_BlitScaled(in, nullptr, out, &to);
      SDL_FreeSurface(in);
    }
    return SDL_UpdateWindowSurface(window_) == 0;
  }

  const DisplayHostSide host_;
  const int scale_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> presented_{0};
  SDL_Window* window_ = nullptr;
  Surface frame_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) DisplayDriver* vellumtraceMakeSdlDisplay(
    const DisplayHostSide* host, int scale) {
  return new SdlDisplay(*host, scale);
}
