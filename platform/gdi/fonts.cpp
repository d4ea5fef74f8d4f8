// Fonts for the painting layer: logical fonts (LOGFONTW) become FreeType faces
// found through fontconfig, and their text is drawn antialiased in grey
// levels (ClearType quality is drawn the same way).
// A positive lfHeight is the cell height (ascent + descent) in pixels, a
// negative one the character height (the em), zero the system font's size,
// as on the device. Weight 600 and above asks fontconfig for the bold face,
// lfItalic for the italic one. Underline, strike-out, escapement and width are
// not supported. Each face keeps the glyphs it has rendered, so a repaint
// renders nothing new. Callers hold the painting lock.
#include "platform/gdi/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/core/wide_text.h"

struct Glyph {
  int left = 0;  // from the pen position to the bitmap's first column
  int top = 0;   // from the baseline up to the bitmap's first row
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

struct FontFace {
  FT_Face face = nullptr;
  int ascent = 0;
  int height = 0;
  std::array<std::unique_ptr<Glyph>, 0x500> common;  // Latin and Cyrillic
  std::unordered_map<uint32_t, std::unique_ptr<Glyph>> others;
};

namespace {

constexpr LONG kSystemCellHeight = 16;
const char kFallbackFamily[] = "DejaVu Sans";

FT_Library library() {
  static FT_Library lib = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return lib;
}

// The font file fontconfig chooses for a family, weight and slant.
struct FontFile {
  std::string path;
  int index = 0;
};

bool findFontFile(const std::string& family, bool bold, bool italic, FontFile* out) {
  static std::map<std::string, FontFile> found;
  std::string key = family + (bold ? "|b" : "|r") + (italic ? "i" : "");
  auto it = found.find(key);
  if (it != found.end()) {
    *out = it->second;
    return !out->path.empty();
  }
  FontFile file;
  if (FcInit()) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
      file.path = reinterpret_cast<const char*>(path);
      FcPatternGetInteger(match, FC_INDEX, 0, &file.index);
    }
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
  }
  found[key] = file;
  *out = file;
  return !file.path.empty();
}

std::string sansSerifFamily() {
  static std::string family = [] {
    std::string name = kFallbackFamily;
    if (!FcInit()) return name;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcChar8* value = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch) {
      name = reinterpret_cast<const char*>(value);
    }
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return name;
  }();
  return family;
}

std::unique_ptr<FontFace> openFace(const FontFile& file, LONG lfHeight) {
  FT_Library lib = library();
  if (!lib) return nullptr;
  auto made = std::make_unique<FontFace>();
  if (FT_New_Face(lib, file.path.c_str(), file.index, &made->face) != 0) return nullptr;
  FT_Face f = made->face;
  double up = f->units_per_EM ? f->units_per_EM : 2048;
  double ascender = f->ascender;
  double descender = -static_cast<double>(f->descender);
  // The device measures cells by the OS/2 table's Windows ascent and descent.
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2))) {
    if (os2->usWinAscent + os2->usWinDescent > 0) {
      ascender = os2->usWinAscent;
      descender = os2->usWinDescent;
    }
  }
  if (ascender + descender <= 0) {
    ascender = up * 0.8;
    descender = up * 0.2;
  }
  double em;
  if (lfHeight < 0) {
    em = -static_cast<double>(lfHeight);
    made->ascent = static_cast<int>(std::lround(em * ascender / up));
    made->height = made->ascent + static_cast<int>(std::lround(em * descender / up));
  } else {
    int cell = lfHeight == 0 ? kSystemCellHeight : lfHeight;
    em = cell * up / (ascender + descender);
    made->ascent = static_cast<int>(std::lround(cell * ascender / (ascender + descender)));
    made->height = cell;
  }
  if (FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(std::lround(em * 64.0)), 72, 72) != 0) {
    FT_Done_Face(f);
    return nullptr;
  }
  return made;
}

const Glyph& glyphFor(FontFace* face, uint32_t codepoint) {
  std::unique_ptr<Glyph>* slot;
  if (codepoint < face->common.size()) {
    slot = &face->common[codepoint];
  } else {
    slot = &face->others[codepoint];
  }
  if (*slot) return **slot;
  auto g = std::make_unique<Glyph>();
  if (FT_Load_Char(face->face, codepoint, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0) {
    FT_GlyphSlot s = face->face->glyph;
    g->left = s->bitmap_left;
    g->top = s->bitmap_top;
    g->advance = static_cast<int>((s->advance.x + 32) >> 6);
    const FT_Bitmap& b = s->bitmap;
    if (b.pixel_mode == FT_PIXEL_MODE_GRAY && b.buffer) {
      g->width = static_cast<int>(b.width);
      g->rows = static_cast<int>(b.rows);
      g->coverage.resize(static_cast<size_t>(g->width) * static_cast<size_t>(g->rows));
      for (int y = 0; y < g->rows; ++y) {
        const uint8_t* src = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
        std::copy(src, src + g->width, g->coverage.begin() + static_cast<ptrdiff_t>(y) * g->width);
      }
    }
  }
  *slot = std::move(g);
  return **slot;
}

// Next code point of UTF-16 text; unpaired surrogates become U+FFFD.
uint32_t nextCodepoint(const char16_t* text, size_t length, size_t* i) {
  uint32_t c = text[(*i)++];
  if (c >= 0xD800 && c <= 0xDBFF) {
    if (*i < length && text[*i] >= 0xDC00 && text[*i] <= 0xDFFF) {
      uint32_t low = text[(*i)++];
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
    return 0xFFFD;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

inline uint32_t blend(uint32_t dst, uint32_t ink, unsigned a) {
  if (a == 0) return dst;
  if (a == 255) return ink;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int d = static_cast<int>((dst >> shift) & 0xFF);
    int s = static_cast<int>((ink >> shift) & 0xFF);
    int v = d + ((s - d) * static_cast<int>(a) + (s > d ? 127 : -127)) / 255;
    out |= static_cast<uint32_t>(v) << shift;
  }
  return out;
}

}  // namespace

void systemLogFont(LOGFONTW* out) {
  *out = LOGFONTW{};
  out->lfHeight = kSystemCellHeight;
  out->lfWeight = FW_NORMAL;
  out->lfPitchAndFamily = 0x22;  // VARIABLE_PITCH | FF_SWISS
  std::u16string face = utf16FromUtf8(sansSerifFamily());
  size_t n = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
  for (size_t i = 0; i < n; ++i) out->lfFaceName[i] = face[i];
}

FontFace* fontFaceFor(const LOGFONTW& font) {
  static std::map<std::string, std::unique_ptr<FontFace>> faces;
  size_t nameLength = 0;
  while (nameLength < LF_FACESIZE && font.lfFaceName[nameLength]) ++nameLength;
  std::string family = utf8FromUtf16(std::u16string_view(font.lfFaceName, nameLength));
  if (family.empty()) family = sansSerifFamily();
  bool bold = font.lfWeight >= 600;
  bool italic = font.lfItalic != 0;
  FontFile file;
  if (!findFontFile(family, bold, italic, &file)) return nullptr;
  std::string key = file.path + "#" + std::to_string(file.index) + "@" + std::to_string(font.lfHeight);
  auto it = faces.find(key);
  if (it != faces.end()) return it->second.get();
  std::unique_ptr<FontFace> made = openFace(file, font.lfHeight);
  FontFace* result = made.get();
  if (made) faces[key] = std::move(made);
  return result;
}

int fontAscent(const FontFace* face) { return face ? face->ascent : 0; }
int fontHeight(const FontFace* face) { return face ? face->height : 0; }

int measureText(FontFace* face, const char16_t* text, size_t length) {
  if (!face) return 0;
  int width = 0;
  for (size_t i = 0; i < length;) width += glyphFor(face, nextCodepoint(text, length, &i)).advance;
  return width;
}

void drawTextRun(Surface& target, const RECT& clip, FontFace* face, int x, int top,
                 const char16_t* text, size_t length, uint32_t color) {
  if (!face) return;
  RECT c = intersectRects(clip, RECT{0, 0, target.width, target.height});
  if (rectIsEmpty(c)) return;
  const int baseline = top + face->ascent;
  for (size_t i = 0; i < length;) {
    const Glyph& g = glyphFor(face, nextCodepoint(text, length, &i));
    const int gx = x + g.left;
    const int gy = baseline - g.top;
    const int x0 = gx > c.left ? gx : c.left;
    const int x1 = gx + g.width < c.right ? gx + g.width : c.right;
    const int y0 = gy > c.top ? gy : c.top;
    const int y1 = gy + g.rows < c.bottom ? gy + g.rows : c.bottom;
    for (int y = y0; y < y1; ++y) {
      const uint8_t* cov = g.coverage.data() + static_cast<size_t>(y - gy) * g.width;
      uint32_t* row = target.row(y);
      for (int px = x0; px < x1; ++px) row[px] = blend(row[px], color, cov[px - gx]);
    }
    x += g.advance;
    if (x - 8 >= c.right) break;  // nothing further can reach into the clip
  }
}
