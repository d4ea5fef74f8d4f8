// Draws the message box the displays show for MessageBoxW: a blue title bar
// with the title, the text wrapped on white, and an OK button, framed.
#include "platform/display/message_box_drawing.h"

#include "platform/gdi/painting.h"
#include "platform/gdi/gdi_objects.h"

namespace {

constexpr int kBoxWidth = 360;
constexpr int kTitleHeight = 24;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;

HFONT boxFont(LONG height, LONG weight) {
  LOGFONTW lf{};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  return CreateFontIndirectW(&lf);
}

void fill(HDC dc, RECT r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

}  // namespace

DrawnMessageBox drawMessageBox(const char16_t* title, const char16_t* text) {
  DrawnMessageBox out;
  HFONT titleFont = boxFont(16, FW_BOLD);
  HFONT textFont = boxFont(16, FW_NORMAL);
  HDC dc = CreateCompatibleDC(nullptr);

  // Measure the text first, so the box is as tall as it needs (the screen at most).
  HGDIOBJ oldFont = SelectObject(dc, textFont);
  RECT measured{0, 0, kBoxWidth - 2 * kMargin, 0};
  DrawTextW(dc, text, -1, &measured, DT_WORDBREAK | DT_CALCRECT);
  int textHeight = measured.bottom - measured.top;
  int height = kTitleHeight + kMargin + textHeight + kMargin + kButtonHeight + kMargin;
  if (height > kScreenHeight) {
    textHeight -= height - kScreenHeight;
    height = kScreenHeight;
  }

  HBITMAP bitmap = CreateCompatibleBitmap(dc, kBoxWidth, height);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  fill(dc, RECT{0, 0, kBoxWidth, height}, RGB(0, 0, 0));
  fill(dc, RECT{1, 1, kBoxWidth - 1, height - 1}, RGB(255, 255, 255));
  fill(dc, RECT{1, 1, kBoxWidth - 1, kTitleHeight}, RGB(33, 79, 166));

  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, titleFont);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT titleRect{kMargin - 4, 1, kBoxWidth - kMargin, kTitleHeight};
  DrawTextW(dc, title, -1, &titleRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);

  SelectObject(dc, textFont);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT textRect{kMargin, kTitleHeight + kMargin, kBoxWidth - kMargin,
                kTitleHeight + kMargin + textHeight};
  DrawTextW(dc, text, -1, &textRect, DT_WORDBREAK);

  RECT ok{(kBoxWidth - kButtonWidth) / 2, height - kMargin - kButtonHeight,
          (kBoxWidth + kButtonWidth) / 2, height - kMargin};
  HBRUSH face = CreateSolidBrush(RGB(222, 226, 234));
  HGDIOBJ oldBrush = SelectObject(dc, face);
  Rectangle(dc, ok.left, ok.top, ok.right, ok.bottom);
  SelectObject(dc, oldBrush);
  DeleteObject(face);
  SelectObject(dc, titleFont);
  RECT label = ok;
  DrawTextW(dc, u"OK", -1, &label, DT_SINGLELINE | DT_VCENTER | DT_CENTER);

  SelectObject(dc, oldFont);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  DeleteObject(titleFont);
  DeleteObject(textFont);
  copyBitmapPixels(bitmap, &out.pixels);
  DeleteObject(bitmap);
  out.ok = ok;
  return out;
}
