#include "geotag/exif_layout.h"

#include <cstring>

TiffBytes tiffOfPayload(const uint8_t* payload, uint32_t payloadSize) {
  TiffBytes t;
  if (payloadSize < kExifIdentifierBytes) return t;
  t.data = payload + kExifIdentifierBytes;
  t.size = payloadSize - kExifIdentifierBytes;
  t.bigEndian = t.size >= 2 && t.data[0] == 'M' && t.data[1] == 'M';
  return t;
}

TagOutcome readExifLayout(const uint8_t* payload, uint32_t payloadSize, ExifLayout* layout) {
  *layout = ExifLayout{};
  if (payloadSize < kExifIdentifierBytes + 8 || memcmp(payload, "Exif\0\0", 6) != 0)
    return TagOutcome::NotExif;
  TiffBytes tiff = tiffOfPayload(payload, payloadSize);
  const bool intel = tiff.data[0] == 'I' && tiff.data[1] == 'I';
  if ((!intel && !tiff.bigEndian) || tiff.u16(2) != 42) return TagOutcome::NotExif;
  if (tiff.u32(4) != 8) return TagOutcome::OutsideLayout;

  if (!readIfdTable(tiff, 8, &layout->ifd0)) return TagOutcome::Truncated;
  for (uint32_t i = 0; i < layout->ifd0.count; i++) {
    IfdEntry e = ifdEntry(tiff, layout->ifd0, i);
    // The last occurrence of a tag counts.
    if (e.tag == kTagExifIfd) layout->exifIfd = e.value;
    if (e.tag == kTagGpsIfd) layout->gpsPointer = e.value;
  }
  layout->ifd1 = nextIfdOffset(tiff, layout->ifd0);
  if (layout->gpsPointer != 0) return TagOutcome::AlreadyGeotagged;
  if (layout->exifIfd == 0) return TagOutcome::NoExifIfd;

  const uint32_t ifd1At = layout->ifd1;
  if (ifd1At != 0) {
    IfdTable ifd1;
    if (!readIfdTable(tiff, ifd1At, &ifd1))
      return tiff.has(ifd1At, 2) ? TagOutcome::Truncated : TagOutcome::OutsideLayout;
    if (ifd1At < layout->ifd0.end()) return TagOutcome::OutsideLayout;
  }
  // Without IFD1 the block goes after everything, where no offset points.
  layout->insertAt = ifd1At != 0 ? ifd1At : tiff.size;

  // Where the Exif IFD lies beside IFD1 is checked with the other offsets.
  const uint32_t exifAt = layout->exifIfd;
  if (exifAt < layout->ifd0.end()) return TagOutcome::OutsideLayout;
  if (!readIfdTable(tiff, exifAt, &layout->exif)) return TagOutcome::Truncated;

  for (uint32_t i = 0; i < layout->exif.count; i++) {
    IfdEntry e = ifdEntry(tiff, layout->exif, i);
    if (e.tag == kTagDateTimeOriginal) {
      layout->hasDateTimeOriginal = true;
      layout->dateTimeOriginal = e.value;
    }
  }
  if (!layout->hasDateTimeOriginal) return TagOutcome::NoDateTimeOriginal;
  if (!tiff.has(layout->dateTimeOriginal, kDateTimeBytes)) return TagOutcome::Truncated;
  return TagOutcome::Tagged;
}
