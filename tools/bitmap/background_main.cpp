// background: draws the tagging screen's 480 x 272 background picture with the
// program's own painting layer and writes it as a 24-bit BMP file, the form
// the executable embeds as bitmap 132.
//   background OUT.bmp
// The texts the program draws at run time land on the card bar and the white
// panel, and the touch regions on the two buttons, so those keep their exact
// places and plain colours; the rest is decoration.
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/gdi/bitmap_files.h"
#include "platform/gdi/painting.h"
#include "platform/gdi/gdi_objects.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 272;
constexpr COLORREF kTitleBlue = RGB(33, 79, 166);
constexpr COLORREF kCardBlue = RGB(49, 99, 197);
constexpr COLORREF kWhite = RGB(255, 255, 255);

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

COLORREF mix(COLORREF a, COLORREF b, double t) {
  auto ch = [t](int x, int y) { return static_cast<BYTE>(std::lround(x + (y - x) * t)); };
  return RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)),
             ch(GetBValue(a), GetBValue(b)));
}

// Lays `colour` over the pixel with the given coverage.
void blendPixel(HDC dc, int x, int y, COLORREF colour, double coverage) {
  if (coverage <= 0) return;
  COLORREF under = GetPixel(dc, x, y);
  if (under == CLR_INVALID) return;
  SetPixel(dc, x, y, mix(under, colour, clamp01(coverage)));
}

void fillSolid(HDC dc, RECT r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// How much of pixel (x, y) lies inside the rounded rectangle [l, r] x [t, b]
// (inclusive pixel bounds) with corner radius `radius`.
double roundedCoverage(int x, int y, int l, int t, int r, int b, double radius) {
  double px = x + 0.5, py = y + 0.5;
  double cx = px < l + radius ? l + radius : (px > r + 1 - radius ? r + 1 - radius : px);
  double cy = py < t + radius ? t + radius : (py > b + 1 - radius ? b + 1 - radius : py);
  double d = std::hypot(px - cx, py - cy);
  if (px == cx || py == cy) {
    // Along the straight edges: plain box coverage.
    double inX = clamp01(std::min(px - l, r + 1 - px) + 0.5);
    double inY = clamp01(std::min(py - t, b + 1 - py) + 0.5);
    return std::min(inX, inY);
  }
  return clamp01(radius + 0.5 - d);
}

// A rounded button with a vertical gradient, a light rim and a label.
void drawButton(HDC dc, int l, int t, int r, int b, COLORREF top, COLORREF bottom, COLORREF rim,
                const char16_t* label, HFONT font) {
  const double radius = 7.0;
  for (int y = t; y <= b; ++y) {
    double f = static_cast<double>(y - t) / (b - t);
    // A glossy upper half: lighter, with a step at the middle.
    COLORREF body = f < 0.5 ? mix(mix(top, kWhite, 0.25), top, f * 2) : mix(top, bottom, (f - 0.5) * 2);
    for (int x = l; x <= r; ++x) {
      double outer = roundedCoverage(x, y, l, t, r, b, radius);
      double inner = roundedCoverage(x, y, l + 1, t + 1, r - 1, b - 1, radius - 1);
      blendPixel(dc, x, y, rim, outer - inner);
      blendPixel(dc, x, y, body, inner);
    }
  }
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  RECT shadow{l + 1, t + 1, r + 2, b + 2};
  SetTextColor(dc, mix(bottom, RGB(0, 0, 0), 0.5));
  DrawTextW(dc, label, -1, &shadow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RECT box{l, t, r + 1, b + 1};
  SetTextColor(dc, kWhite);
  DrawTextW(dc, label, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
}

// Distance from p to the segment a-b.
double segmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double vx = bx - ax, vy = by - ay;
  double len2 = vx * vx + vy * vy;
  double t = len2 > 0 ? clamp01(((px - ax) * vx + (py - ay) * vy) / len2) : 0;
  return std::hypot(px - (ax + t * vx), py - (ay + t * vy));
}

// The logo: a compass ring with a recorded track winding through it to a
// location pin, and the maker's word mark beside it.
void drawLogo(HDC dc, HFONT wordFont, HFONT smallFont) {
  const double cx = 370.5, cy = 224.5, ring = 29.0;
  for (int y = 192; y <= 257; ++y) {
    for (int x = 340; x <= 402; ++x) {
      double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      double disc = clamp01(ring + 0.5 - d);
      double f = clamp01((y - (cy - ring)) / (2 * ring));
      blendPixel(dc, x, y, mix(RGB(70, 128, 230), RGB(18, 44, 110), f), disc);
      double rim = clamp01(1.2 - std::fabs(d - (ring - 1.5)));
      blendPixel(dc, x, y, RGB(190, 210, 245), rim);
    }
  }
  const double track[][2] = {{350, 238}, {358, 229}, {366, 234}, {374, 222}, {381, 226}, {387, 213}};
  for (int y = 192; y <= 257; ++y) {
    for (int x = 340; x <= 402; ++x) {
      double best = 1e9;
      for (size_t i = 0; i + 1 < sizeof track / sizeof track[0]; ++i) {
        best = std::min(best, segmentDistance(x + 0.5, y + 0.5, track[i][0], track[i][1],
                                              track[i + 1][0], track[i + 1][1]));
      }
      blendPixel(dc, x, y, kWhite, clamp01(1.6 - best));
    }
  }
  // The pin at the track's end: a head and a point.
  const double hx = 387, hy = 207;
  for (int y = 196; y <= 216; ++y) {
    for (int x = 378; x <= 397; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double head = clamp01(6.5 - std::hypot(px - hx, py - hy));
      double point = 0;
      if (py > hy && py < hy + 11) {
        double half = 5.5 * (1 - (py - hy) / 11);
        point = clamp01(half + 0.5 - std::fabs(px - hx));
      }
      blendPixel(dc, x, y, RGB(232, 64, 52), std::max(head, point));
      blendPixel(dc, x, y, kWhite, clamp01(2.5 - std::hypot(px - hx, py - hy)));
    }
  }
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old = SelectObject(dc, wordFont);
  SetTextColor(dc, kWhite);
  RECT word{406, 204, 467, 226};
  DrawTextW(dc, u"Tarnix", -1, &word, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, smallFont);
  SetTextColor(dc, RGB(120, 160, 235));
  RECT tag{407, 226, 467, 242};
  DrawTextW(dc, u"GPS TOOLS", -1, &tag, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, old);
}

HFONT systemFont(LONG height, LONG weight) {
  LOGFONTW lf{};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfQuality = 5;
  return CreateFontIndirectW(&lf);
}

void drawBackground(HDC dc) {
  fillSolid(dc, RECT{0, 0, kWidth, kHeight}, RGB(0, 0, 0));
  // Below the panel the black deepens into a night blue towards the bezel.
  for (int y = 172; y < kHeight; ++y) {
    fillSolid(dc, RECT{0, y, kWidth, y + 1},
              mix(RGB(0, 0, 0), RGB(10, 18, 40), static_cast<double>(y - 172) / (kHeight - 172)));
  }

  // Title line: the program's name and version.
  HFONT titleFont = systemFont(15, FW_BOLD);
  HFONT versionFont = systemFont(13, FW_NORMAL);
  HGDIOBJ old = SelectObject(dc, titleFont);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(72, 126, 230));
  RECT title{16, 10, 235, 25};
  DrawTextW(dc, u"TarnixGPS Vellumtrace", -1, &title, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
  RECT measured{0, 0, 0, 0};
  DrawTextW(dc, u"TarnixGPS Vellumtrace", -1, &measured, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, versionFont);
  SetTextColor(dc, RGB(150, 150, 160));
  RECT version{16 + measured.right + 6, 11, 235, 25};
  DrawTextW(dc, u"v1.0", -1, &version, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
  SelectObject(dc, old);
  DeleteObject(titleFont);
  DeleteObject(versionFont);
  // A hairline under the title fading out to the right.
  for (int x = 16; x < 462; ++x) {
    COLORREF c = mix(kTitleBlue, RGB(0, 0, 0), static_cast<double>(x - 16) / 446);
    SetPixel(dc, x, 30, c);
  }

  // Card bar, solid, with its white label at the left end.
  fillSolid(dc, RECT{17, 36, 462, 54}, kCardBlue);
  fillSolid(dc, RECT{18, 39, 22, 51}, kWhite);

  // The white panel the photo count, the percentage and the bar go on.
  fillSolid(dc, RECT{17, 56, 462, 166}, kWhite);
  // A soft shadow below it.
  for (int i = 0; i < 3; ++i) {
    fillSolid(dc, RECT{19 + i, 166 + i, 462 + i, 167 + i}, mix(RGB(60, 60, 70), RGB(0, 0, 0), i / 3.0));
  }

  HFONT buttonFont = systemFont(14, FW_BOLD);
  drawButton(dc, 16, 193, 94, 215, RGB(56, 112, 214), RGB(20, 52, 128), RGB(150, 185, 245),
             u"START", buttonFont);
  drawButton(dc, 16, 234, 94, 256, RGB(112, 116, 128), RGB(44, 46, 54), RGB(180, 184, 196),
             u"EXIT", buttonFont);
  DeleteObject(buttonFont);

  HFONT wordFont = systemFont(19, FW_BOLD);
  HFONT smallFont = systemFont(11, FW_NORMAL);
  drawLogo(dc, wordFont, smallFont);
  DeleteObject(wordFont);
  DeleteObject(smallFont);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: background OUT.bmp\n");
    return 2;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, kHeight);
  HGDIOBJ old = SelectObject(dc, bitmap);
  drawBackground(dc);
  SelectObject(dc, old);
  DeleteDC(dc);
  Surface pixels;
  copyBitmapPixels(bitmap, &pixels);
  DeleteObject(bitmap);
  std::vector<uint8_t> file = encodeBmp24(pixels);
  FILE* f = fopen(argv[1], "wb");
  if (!f || fwrite(file.data(), 1, file.size(), f) != file.size() || fclose(f) != 0) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
