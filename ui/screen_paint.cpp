// Every paint draws the whole layout from the shared state; the platform
// clips it to what was invalidated, which is how a batch tick keeps its
// repaint small. All GDI objects made here are released before it returns.
#include "ui/screen_paint.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/state/shared_state.h"
#include "platform/gdi/painting.h"
#include "platform/user/resources.h"
#include "platform/core/wide_text.h"
#include "platform/user/windows.h"
#include "res/resource_ids.h"
#include "ui/batch_controller.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/user/paint.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kCardBarBlue = RGB(49, 99, 197);
constexpr COLORREF kSegmentBlue = RGB(33, 79, 166);

constexpr BYTE kClearTypeQuality = 5;

const WCHAR kCardFormat[] = u"Обнаружена SD: %hs GB (свободно: %hs GB)";
const WCHAR kPhotoCountFormat[] =
    u"НАЙДЕНО %d ФОТОГРАФИЙ.\nДЛЯ ЗАПИСИ GPS-КООРДИНАТ В ФОТО\nНАЖМИТЕ КНОПКУ \"START\"";
const WCHAR kPercentFormat[] = u"ОБРАБОТКА ФОТОГРАФИЙ:  %hs%%";

// wsprintfW has no floating-point conversions: the numbers are printed as
// 8-bit text with the C library's correctly rounded %.Nf and put in as %hs.
struct NumberText {
  char text[48];
};
NumberText fixed(double value, int decimals) {
  NumberText n;
  snprintf(n.text, sizeof n.text, "%.*f", decimals, value);
  return n;
}

// KiB to GiB in single precision, as the card line has always shown it.
double gibFromKib(uint32_t kib) {
  return static_cast<double>(static_cast<float>(kib) * (1.0f / 1048576.0f));
}

}  // namespace

void formatCardLine(LPWSTR out, uint32_t totalKb, uint32_t freeKb) {
  wsprintfW(out, kCardFormat, fixed(gibFromKib(totalKb), 3).text, fixed(gibFromKib(freeKb), 3).text);
}

void formatPercentLine(LPWSTR out, float percent) {
  wsprintfW(out, kPercentFormat, fixed(static_cast<double>(percent), 0).text);
}

namespace {

void drawText(HDC dc, RECT rect) { DrawTextW(dc, shared.screenText, -1, &rect, 0); }

void drawBackground(HDC dc, const RECT& client) {
  HMODULE module = GetModuleHandleW(nullptr);
  HGDIOBJ bitmap = LoadImageW(module, MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, 0);
  BITMAP info = {};
  GetObjectW(bitmap, sizeof info, &info);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, info.bmWidth, info.bmHeight,
             SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

void drawProgress(HDC dc, LOGFONTW& font, HGDIOBJ ownFont) {
  font.lfQuality = kClearTypeQuality;
  font.lfHeight = 15;
  font.lfWeight = FW_NORMAL;
  HFONT progressFont = CreateFontIndirectW(&font);
  SelectObject(dc, progressFont);
  SetTextColor(dc, kBlack);
  SetBkColor(dc, kWhite);
  const float percent = shared.progressPercent.load();
  formatPercentLine(shared.screenText, percent);
  drawText(dc, RECT{25, 128, 450, 150});
  SelectObject(dc, ownFont);
  DeleteObject(progressFont);

  HBRUSH ruleBrush = CreateSolidBrush(kBlack);
  HGDIOBJ previousBrush = SelectObject(dc, ruleBrush);
  Rectangle(dc, 0, 146, 480, 148);
  SelectObject(dc, previousBrush);
  DeleteObject(ruleBrush);

  HBRUSH segmentBrush = CreateSolidBrush(kSegmentBlue);
  previousBrush = SelectObject(dc, segmentBrush);
  if (shared.batchTotal > 4) {
    // The bar runs progressStep segments ahead of the filled ones, so the
    // segments the next photos fill are already on screen. Segments from
    // 25 on start at x = 450 and are clipped away during a batch.
    const double n = static_cast<double>(shared.progressStep) + barSegments(percent);
    for (int k = 0; k < n; ++k) {
      const int left = kBarLeft + kBarPitch * k;
      Rectangle(dc, left, kBarTop, left + kBarSegmentWidth, kBarBottom);
    }
  }
  SelectObject(dc, previousBrush);
  DeleteObject(segmentBrush);
}

}  // namespace

void paintMainWindow(HWND window) {
  PAINTSTRUCT paint = {};
  HDC dc = BeginPaint(window, &paint);
  RECT client = {};
  GetClientRect(window, &client);

  drawBackground(dc, client);

  LOGFONTW font;
  memset(&font, 0, sizeof font);
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof font, &font);

  // Card line, bold on the card bar.
  font.lfHeight = 14;
  font.lfWeight = FW_BOLD;
  font.lfQuality = kClearTypeQuality;
  HFONT headerFont = CreateFontIndirectW(&font);
  HGDIOBJ ownFont = SelectObject(dc, headerFont);
  SetTextColor(dc, kWhite);
  SetBkColor(dc, kCardBarBlue);
  formatCardLine(shared.screenText, shared.cardTotalKb.load(), shared.cardFreeKb.load());
  drawText(dc, RECT{25, 38, 450, 54});

  // Photo count on the white panel.
  font.lfQuality = kClearTypeQuality;
  font.lfHeight = 17;
  font.lfWeight = FW_NORMAL;
  HFONT panelFont = CreateFontIndirectW(&font);
  SelectObject(dc, panelFont);
  DeleteObject(headerFont);
  SetTextColor(dc, kBlack);
  SetBkColor(dc, kWhite);
  wsprintfW(shared.screenText, kPhotoCountFormat, shared.photoCount.load());
  drawText(dc, RECT{25, 65, 450, 150});
  SelectObject(dc, ownFont);
  DeleteObject(panelFont);

  if (shared.progressPercent.load() != 0.0f) drawProgress(dc, font, ownFont);

  EndPaint(window, &paint);
}
