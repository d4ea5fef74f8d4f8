// EXIF GPS insertion: reads the photo's DateTimeOriginal, looks its fix up in
// the day's track log and rewrites the photo with a GPS IFD: a new last entry
// in IFD0 pointing at a 115-byte GPS block put in front of IFD1. Photos of
// another layout, or that cannot be rewritten so that every offset still
// points at its data, are left byte for byte as they were.
#include "geotag/gps_insert.h"

#include <cstring>

#include "app/state/shared_state.h"
#include "geotag/exif_layout.h"
#include "geotag/gps_block.h"
#include "geotag/jpeg_segments.h"
#include "geotag/offset_relocation.h"
#include "geotag/safe_rewrite.h"
#include "geotag/tag_outcome.h"
#include "geotag/track_lookup.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"

namespace {

uint8_t photoPayload[kApp1PayloadCapacity];
uint8_t taggedPayload[kApp1PayloadCapacity + kInsertedBytes];

TagOutcome tagPhoto(LPCWSTR path) {
  HANDLE photo = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (photo == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_NOT_SUPPORTED ? TagOutcome::NotAFile : TagOutcome::CannotOpen;

  PhotoApp1 app1;
  ExifLayout layout;
  TiffBytes tiff;
  TagOutcome o = readPhotoApp1(photo, &app1, photoPayload);
  if (o == TagOutcome::Tagged) o = readExifLayout(photoPayload, app1.payloadSize(), &layout);
  if (o == TagOutcome::Tagged) {
    tiff = tiffOfPayload(photoPayload, app1.payloadSize());
    o = checkOffsets(tiff, layout);
  }
  if (o != TagOutcome::Tagged) {
    CloseHandle(photo);
    return o;
  }

  memcpy(shared.exifDateTime, tiff.data + layout.dateTimeOriginal, kDateTimeBytes);
  shared.exifDateTime[19] = 0;
  if (findTrackFix() != 0) {
    CloseHandle(photo);
    return TagOutcome::NoMatchingFix;
  }
  DegreesMinutes lat, lon;
  if (!splitDegreesMinutes(shared.matchLatitude, 9000.0f, &lat) ||
      !splitDegreesMinutes(shared.matchLongitude, 18000.0f, &lon)) {
    CloseHandle(photo);
    return TagOutcome::InvalidFix;
  }
  uint8_t block[kGpsIfdBytes];
  fillGpsBlock(block, layout.ifd1, shared.matchLatRef, lat, shared.matchLonRef, lon);

  memcpy(taggedPayload, photoPayload, kExifIdentifierBytes);
  uint32_t tiffSize = buildTaggedTiff(tiff, layout, block, taggedPayload + kExifIdentifierBytes);
  TaggedCopy copy{taggedPayload, kExifIdentifierBytes + tiffSize, layout};
  return replaceWithTaggedCopy(photo, path, app1, copy);
}

}  // namespace

int insertGpsIfd(LPCWSTR path) {
  TagOutcome outcome = tagPhoto(path);
  setLastTagOutcome(outcome);
  return tagOutcomeResult(outcome);
}
