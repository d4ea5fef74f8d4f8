// EXIF GPS insertion: reads the photo's DateTimeOriginal, looks its fix up in
// the day's track log and rewrites the photo with a GPS IFD, in the photo's
// byte order and in one of two layouts (layout_choice.h, README.md). Photos
// that cannot be read, or rewritten so that every offset still points at its
// data, are left byte for byte as they were.
#include "geotag/gps_insert.h"

#include <cstring>

#include "app/state/shared_state.h"
#include "geotag/append_layout.h"
#include "geotag/exif_layout.h"
#include "geotag/gps_block.h"
#include "geotag/jpeg_segments.h"
#include "geotag/layout_choice.h"
#include "geotag/offset_relocation.h"
#include "geotag/safe_rewrite.h"
#include "geotag/tag_outcome.h"
#include "geotag/track_lookup.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"

namespace {

uint8_t photoPayload[kApp1PayloadCapacity];
uint8_t taggedPayload[kApp1PayloadCapacity + kInsertedBytes];

// Only a record's own hemisphere letters make a position: a NUL from an
// empty field or line noise would be written as an unknown reference, and the
// photo, geotagged by then, could never be tagged again.
bool isHemisphere(char letter, char positive, char negative) {
  return letter == positive || letter == negative;
}

TagOutcome tagPhoto(LPCWSTR path, bool write) {
  HANDLE photo = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (photo == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_NOT_SUPPORTED ? TagOutcome::NotAFile : TagOutcome::CannotOpen;
  // A camera's "protect" makes a photo read-only: it is not replaced, which
  // would drop the protection with the old file.
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) {
    CloseHandle(photo);
    return attributes == INVALID_FILE_ATTRIBUTES ? TagOutcome::CannotOpen : TagOutcome::ReadOnly;
  }

  PhotoApp1 app1;
  ExifLayout layout;
  TiffBytes tiff;
  TagOutcome o = readPhotoApp1(photo, &app1, photoPayload);
  if (o == TagOutcome::Tagged) o = readExifLayout(photoPayload, app1.payloadSize(), &layout);
  // The inserted layout where it provably brings every offset along, the
  // appended one otherwise (layout_choice.h).
  bool inserted = false;
  AppendPlan plan;
  const uint32_t maxTiff = kMaxApp1Length - 2 - layout.identifierBytes;
  if (o == TagOutcome::Tagged) {
    tiff = tiffOfPayload(photoPayload, app1.payloadSize());
    inserted = insertedLayoutCovers(tiff, layout) && tiff.size + kInsertedBytes <= maxTiff &&
               checkOffsets(tiff, layout) == TagOutcome::Tagged;
    if (!inserted) o = planAppendedLayout(tiff, layout, maxTiff, &plan);
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
  if (!isHemisphere(shared.matchLatRef, 'N', 'S') || !isHemisphere(shared.matchLonRef, 'E', 'W') ||
      !splitDegreesMinutes(shared.matchLatitude, 9000.0f, &lat) ||
      !splitDegreesMinutes(shared.matchLongitude, 18000.0f, &lon)) {
    CloseHandle(photo);
    return TagOutcome::InvalidFix;
  }
  if (!write) {
    CloseHandle(photo);
    return TagOutcome::Tagged;
  }
  const uint32_t identifier = layout.identifierBytes;
  memcpy(taggedPayload, photoPayload, identifier);
  uint8_t block[kGpsIfdBytes];
  uint32_t tiffSize = 0;
  CopyExpectation expected;
  if (inserted) {
    fillGpsBlock(block, layout.insertAt, shared.matchLatRef, lat, shared.matchLonRef, lon, tiff.bigEndian);
    tiffSize = buildTaggedTiff(tiff, layout, block, taggedPayload + identifier);
    expected = insertedCopyExpectation(tiff, layout);
    // A value lying on an offset the copy rewrites: nothing needs to move.
    if (tiffSize == 0 && (o = planAppendedLayout(tiff, layout, maxTiff, &plan)) != TagOutcome::Tagged) {
      CloseHandle(photo);
      return o;
    }
  }
  if (tiffSize == 0) {
    fillGpsBlock(block, plan.gps - kNewEntryBytes, shared.matchLatRef, lat, shared.matchLonRef, lon,
                 tiff.bigEndian);
    buildAppendedTiff(tiff, layout, plan, block, taggedPayload + identifier);
    tiffSize = plan.size;
    expected = appendedCopyExpectation(layout, plan);
  }
  TaggedCopy copy{taggedPayload, identifier + tiffSize, expected};
  return replaceWithTaggedCopy(photo, path, app1, copy);
}

}  // namespace

int insertGpsIfd(LPCWSTR path) {
  TagOutcome outcome = tagPhoto(path, true);
  setLastTagOutcome(outcome);
  return tagOutcomeResult(outcome);
}

int previewGpsIfd(LPCWSTR path) {
  TagOutcome outcome = tagPhoto(path, false);
  setLastTagOutcome(outcome);
  return tagOutcomeResult(outcome);
}
