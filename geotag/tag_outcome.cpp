#include "geotag/tag_outcome.h"

namespace {
TagOutcome latest = TagOutcome::Tagged;
}

const char* tagOutcomeReason(TagOutcome outcome) {
  switch (outcome) {
    case TagOutcome::Tagged: return "tagged";
    case TagOutcome::CannotOpen: return "cannot-open";
    case TagOutcome::ReadOnly: return "read-only";
    case TagOutcome::NotAFile: return "not-a-file";
    case TagOutcome::NotJpeg: return "not-jpeg";
    case TagOutcome::NoApp1: return "no-app1";
    case TagOutcome::NotExif: return "not-exif";
    case TagOutcome::App1TooLong: return "app1-too-long";
    case TagOutcome::Truncated: return "truncated";
    case TagOutcome::OutsideLayout: return "outside-layout";
    case TagOutcome::AlreadyGeotagged: return "already-geotagged";
    case TagOutcome::NoExifIfd: return "no-exif-ifd";
    case TagOutcome::ValueAcrossIfd1: return "value-across-ifd1";
    case TagOutcome::OverlappingData: return "overlapping-data";
    case TagOutcome::NoDateTimeOriginal: return "no-datetimeoriginal";
    case TagOutcome::NoMatchingFix: return "no-matching-fix";
    case TagOutcome::InvalidFix: return "invalid-fix";
    case TagOutcome::TempInUse: return "temp-in-use";
    case TagOutcome::WriteFailed: return "write-failed";
  }
  return "unknown";
}

int tagOutcomeResult(TagOutcome outcome) {
  switch (outcome) {
    case TagOutcome::Tagged: return 0;
    case TagOutcome::ReadOnly:
    case TagOutcome::AlreadyGeotagged:
    case TagOutcome::NoExifIfd:
    case TagOutcome::NoDateTimeOriginal:
    case TagOutcome::NoMatchingFix:
    case TagOutcome::InvalidFix: return -1;
    default: return 1;
  }
}

TagOutcome lastTagOutcome() { return latest; }
void setLastTagOutcome(TagOutcome outcome) { latest = outcome; }
