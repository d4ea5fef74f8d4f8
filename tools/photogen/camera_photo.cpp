#include "tools/photogen/camera_photo.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "tools/photogen/exif_block.h"

namespace {

// A sky-and-ground gradient with a sun whose place depends on the seed, so
// photos differ from each other; plus optional grain.
std::vector<unsigned char> drawPicture(int width, int height, int noise, uint32_t seed) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t state = seed * 2654435761u + 1;
  const int sunX = static_cast<int>(seed * 37 % (width > 0 ? width : 1));
  const int sunY = height / 4;
  const int sunR = height / 8 + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int r, g, b;
      if (y < height * 2 / 3) {
        r = 90 + 80 * y / height;
        g = 140 + 60 * y / height;
        b = 230;
      } else {
        r = 60 + 40 * x / (width ? width : 1);
        g = 120;
        b = 50;
      }
      const int dx = x - sunX, dy = y - sunY;
      if (dx * dx + dy * dy < sunR * sunR) r = 255, g = 230, b = 120;
      if (noise > 0) {
        state = state * 1664525u + 1013904223u;
        const int n = static_cast<int>((state >> 24) % (2 * noise + 1)) - noise;
        r += n, g += n, b += n;
      }
      unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>(r < 0 ? 0 : r > 255 ? 255 : r);
      p[1] = static_cast<unsigned char>(g < 0 ? 0 : g > 255 ? 255 : g);
      p[2] = static_cast<unsigned char>(b < 0 ? 0 : b > 255 ? 255 : b);
    }
  }
  return rgb;
}

// Compresses an RGB picture; `app1` (if not empty) goes in as the first
// marker after SOI, or after JFIF APP0 when jfif is set.
std::string compress(const std::vector<unsigned char>& rgb, int width, int height, int quality,
                     bool jfif, const std::string& app1) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = jfif ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  if (!app1.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&cinfo);
  free(buffer);
  return out;
}

}  // namespace

std::string makeCameraPhoto(const PhotoSpec& spec) {
  if (spec.width <= 0 || spec.height <= 0 || spec.width > 20000 || spec.height > 20000) return {};
  const int thumbW = 160, thumbH = 120;
  const std::string thumbnail =
      compress(drawPicture(thumbW, thumbH, 0, spec.seed), thumbW, thumbH, 75, false, {});
  ExifFields fields;
  fields.dateTimeOriginal = spec.dateTimeOriginal;
  fields.pixelWidth = static_cast<uint32_t>(spec.width);
  fields.pixelHeight = static_cast<uint32_t>(spec.height);
  const std::string exif = buildExifPayload(fields, thumbnail);
  if (exif.empty()) return {};
  return compress(drawPicture(spec.width, spec.height, spec.noise, spec.seed), spec.width,
                  spec.height, spec.quality, spec.jfifFirst, exif);
}
