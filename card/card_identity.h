// The card's identity text, built from its storage identification.
#pragma once

#include <cstddef>

#include "platform/core/ce_types.h"

// The identification buffer the disk device fills, and the identity text:
// two hexadecimal digits per identification byte, at most 127 bytes.
constexpr size_t kIdentificationBufferSize = 512;
constexpr size_t kIdentityTextSize = 256;
constexpr size_t kMaxIdentityBytes = (kIdentityTextSize - 1) / 2;

// Writes the identity of `identification` into `text` (NUL-terminated) and
// returns its length: the manufacturer ID unless flag bit 0 marks it invalid
// (or its offset is 0), then the serial number. Spans reaching past the
// buffer stop at its end, and bytes beyond the 127th are cut, so whatever
// the header says the text is bounded and the same for the same bytes.
size_t buildCardIdentity(const BYTE (&identification)[kIdentificationBufferSize],
                         char (&text)[kIdentityTextSize]);

// Reads the identity of the card in the slot into `identity` (`units` code
// units, NUL-padded), touching none of the card watcher's state; false when
// no card answers.
bool readSlotIdentity(WCHAR* identity, size_t units);
