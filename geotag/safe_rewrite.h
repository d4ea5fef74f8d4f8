// Putting the tagged copy in the photo's place without ever losing the photo:
// the whole copy is written to the temporary file, checked (its length, and
// its header read back from the card), flushed to stable storage, and then
// renamed over the photo in one step, and the folder is flushed. Until the
// rename the photo is untouched; on any failure the temporary file is removed.
//
// The temporary file (card/tagging_copy.h) is never a photo's name, so a
// copy left by a power cut is removed when found; no *.jpg on the card is
// ever overwritten or deleted but the photo replaced by its own tagged copy.
#pragma once

#include <cstdint>

#include "geotag/exif_layout.h"
#include "geotag/jpeg_segments.h"
#include "geotag/offset_relocation.h"
#include "geotag/tag_outcome.h"
#include "platform/core/ce_types.h"

struct TaggedCopy {
  const uint8_t* payload;     // the new APP1 payload (EXIF identifier onwards)
  uint32_t payloadSize;       // its size, less the length field
  CopyExpectation expected;   // where the copy's read-back must find its structures
};

// Writes the photo (open for reading, closed on return) with its APP1 replaced
// by the copy's, and renames the result over `photoPath`.
TagOutcome replaceWithTaggedCopy(HANDLE photo, LPCWSTR photoPath, const PhotoApp1& app1,
                                 const TaggedCopy& copy);
