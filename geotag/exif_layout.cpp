#include "geotag/exif_layout.h"

#include "geotag/jpeg_segments.h"

TiffBytes tiffOfPayload(const uint8_t* payload, uint32_t payloadSize) {
  TiffBytes t;
  const uint32_t identifier = exifIdentifierBytes(payload, payloadSize);
  if (identifier == 0) return t;
  t.data = payload + identifier;
  t.size = payloadSize - identifier;
  t.bigEndian = t.size >= 2 && t.data[0] == 'M' && t.data[1] == 'M';
  return t;
}

namespace {

// A GPS IFD holds a position when it has a latitude or a longitude; one
// written with location off holds neither, often only its version.
bool holdsPosition(const TiffBytes& tiff, const IfdTable& gps) {
  for (uint32_t i = 0; i < gps.count; i++) {
    const uint16_t tag = ifdEntry(tiff, gps, i).tag;
    if (tag == kTagGpsLatitude || tag == kTagGpsLongitude) return true;
  }
  return false;
}

}  // namespace

TagOutcome readExifLayout(const uint8_t* payload, uint32_t payloadSize, ExifLayout* layout) {
  *layout = ExifLayout{};
  TiffBytes tiff = tiffOfPayload(payload, payloadSize);
  if (tiff.size < 8) return TagOutcome::NotExif;
  layout->identifierBytes = payloadSize - tiff.size;
  const bool intel = tiff.data[0] == 'I' && tiff.data[1] == 'I';
  if ((!intel && !tiff.bigEndian) || tiff.u16(2) != 42) return TagOutcome::NotExif;
  const uint32_t ifd0At = tiff.u32(4);
  if (ifd0At < 8) return TagOutcome::OutsideLayout;

  if (!readIfdTable(tiff, ifd0At, &layout->ifd0)) return TagOutcome::Truncated;
  for (uint32_t i = 0; i < layout->ifd0.count; i++) {
    IfdEntry e = ifdEntry(tiff, layout->ifd0, i);
    // The last occurrence of a tag counts.
    if (e.tag == kTagExifIfd) layout->exifIfd = e.value;
    if (e.tag == kTagGpsIfd) {
      layout->gpsPointer = e.value;
      layout->gpsPointerEntry = true;
    }
  }
  layout->ifd1 = nextIfdOffset(tiff, layout->ifd0);
  if (layout->gpsPointer != 0 &&
      (!readIfdTable(tiff, layout->gpsPointer, &layout->gps) || holdsPosition(tiff, layout->gps)))
    return TagOutcome::AlreadyGeotagged;
  if (layout->exifIfd == 0) return TagOutcome::NoExifIfd;

  // Without IFD1 the inserted layout puts the block after everything, where
  // no offset points.
  layout->insertAt = layout->ifd1 != 0 ? layout->ifd1 : tiff.size;
  if (!readIfdTable(tiff, layout->exifIfd, &layout->exif)) return TagOutcome::Truncated;

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
