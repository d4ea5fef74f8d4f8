// Why a photo was or was not geotagged. insertGpsIfd keeps its small integer
// result for the batch; the reason of its latest call is kept here for the
// people and tools that want to know more.
#pragma once

enum class TagOutcome {
  Tagged,
  CannotOpen,         // the photo cannot be opened
  ReadOnly,           // the photo is protected (read-only) and stays as it is
  NotAFile,           // the name holds a FIFO, a device or a link, not a photo file
  NotJpeg,            // it does not start with FF D8
  NoApp1,             // no APP1 before the image data
  NotExif,            // the APP1 does not hold EXIF data
  App1TooLong,        // the APP1 would not fit its length field with the GPS IFD
  Truncated,          // the file ends inside the structures read
  OutsideLayout,      // IFD0 not at 8, overlapping or damaged directories
  AlreadyGeotagged,   // the GPS IFD already holds a position
  NoExifIfd,          // IFD0 has no Exif IFD pointer
  ValueAcrossIfd1,    // a value runs across the point where the GPS block goes
  OverlappingData,    // a value or directory lies on an offset the copy rewrites
  NoDateTimeOriginal, // the Exif IFD has no DateTimeOriginal
  NoMatchingFix,      // the day's log has no fix for the photo's time
  InvalidFix,         // the matching record holds no usable position or hemisphere
  TempInUse,          // the temporary file cannot be opened for our use alone
  WriteFailed,        // the tagged copy could not be written, checked or put in place
};

// The short reason the tool prints ("already-geotagged", "write-failed").
const char* tagOutcomeReason(TagOutcome outcome);
// The result the batch counts: 0 tagged, 1 the photo could not be used as a
// JPEG file, -1 not tagged for what its contents or the log say.
int tagOutcomeResult(TagOutcome outcome);

// The outcome of the latest insertGpsIfd call.
TagOutcome lastTagOutcome();
void setLastTagOutcome(TagOutcome outcome);
