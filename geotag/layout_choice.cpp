#include "geotag/layout_choice.h"

#include <cstddef>

namespace {

struct TagRange {
  uint16_t first, last;
};

// The standard TIFF, EXIF and interoperability tags of a camera's IFD0, IFD1,
// Exif and interoperability IFDs whose values are data alone: where one is
// stored outside its entry, the entry's offset is the only one pointing into
// it, and nothing in it points elsewhere. The pointers the inserted layout
// moves itself (Exif and interoperability IFD, thumbnail, strips) are among
// them. Not here, and so never moved: the maker note (0x927C), sub-IFDs
// (0x014A), the GPS pointer, and every private or unknown tag, any of which
// may hold offsets of its own.
constexpr TagRange kPlainTags[] = {
    {0x0001, 0x0002},  // InteropIndex, InteropVersion
    {0x00FE, 0x0103},  // NewSubfileType .. Compression
    {0x0106, 0x0106},  // PhotometricInterpretation
    {0x010E, 0x0112},  // ImageDescription, Make, Model, StripOffsets, Orientation
    {0x0115, 0x011C},  // SamplesPerPixel .. PlanarConfiguration
    {0x0128, 0x0128},  // ResolutionUnit
    {0x012D, 0x012D},  // TransferFunction
    {0x0131, 0x0132},  // Software, DateTime
    {0x013B, 0x013B},  // Artist
    {0x013E, 0x013F},  // WhitePoint, PrimaryChromaticities
    {0x0201, 0x0202},  // JPEGInterchangeFormat and its length
    {0x0211, 0x0214},  // YCbCrCoefficients .. ReferenceBlackWhite
    {0x1000, 0x1002},  // RelatedImageFileFormat, RelatedImageWidth, -Length
    {0x8298, 0x8298},  // Copyright
    {0x829A, 0x829A},  // ExposureTime
    {0x829D, 0x829D},  // FNumber
    {0x8769, 0x8769},  // the Exif IFD
    {0x8822, 0x8822},  // ExposureProgram
    {0x8824, 0x8824},  // SpectralSensitivity
    {0x8827, 0x8828},  // ISO, OECF
    {0x8830, 0x8835},  // SensitivityType .. ISOSpeedLatitudeZZZ
    {0x9000, 0x9000},  // ExifVersion
    {0x9003, 0x9004},  // DateTimeOriginal, CreateDate
    {0x9010, 0x9012},  // OffsetTime, OffsetTimeOriginal, OffsetTimeDigitized
    {0x9101, 0x9102},  // ComponentsConfiguration, CompressedBitsPerPixel
    {0x9201, 0x920A},  // ShutterSpeedValue .. FocalLength
    {0x9214, 0x9214},  // SubjectArea
    {0x9286, 0x9286},  // UserComment
    {0x9290, 0x9292},  // SubSecTime, -Original, -Digitized
    {0x9400, 0x9405},  // Temperature .. CameraElevationAngle
    {0x9C9B, 0x9C9F},  // the Windows XP text tags
    {0xA000, 0xA005},  // FlashpixVersion .. the interoperability IFD
    {0xA20B, 0xA20C},  // FlashEnergy, SpatialFrequencyResponse
    {0xA20E, 0xA210},  // FocalPlaneXResolution .. FocalPlaneResolutionUnit
    {0xA214, 0xA215},  // SubjectLocation, ExposureIndex
    {0xA217, 0xA217},  // SensingMethod
    {0xA300, 0xA302},  // FileSource, SceneType, CFAPattern
    {0xA401, 0xA40C},  // CustomRendered .. SubjectDistanceRange
    {0xA420, 0xA420},  // ImageUniqueID
    {0xA430, 0xA435},  // OwnerName .. LensSerialNumber
    {0xA460, 0xA462},  // CompositeImage ..
    {0xA500, 0xA500},  // Gamma
    {0xC4A5, 0xC4A5},  // PrintIM: tag-value pairs, no offsets
};

bool isPlainTag(uint16_t tag) {
  for (const TagRange& r : kPlainTags)
    if (tag >= r.first && tag <= r.last) return true;
  return false;
}

// Every entry plain; in IFD0 also in strictly ascending order, so that the
// new entry has one place.
bool plainDirectory(const TiffBytes& tiff, const IfdTable& t, bool ascending) {
  for (uint32_t i = 0; i < t.count; i++) {
    const IfdEntry e = ifdEntry(tiff, t, i);
    if (!isPlainTag(e.tag) || tiffTypeSize(e.type) == 0 || e.type == 13) return false;
    if (ascending && i > 0 && ifdEntry(tiff, t, i - 1).tag >= e.tag) return false;
  }
  return true;
}

}  // namespace

bool insertedLayoutCovers(const TiffBytes& tiff, const ExifLayout& layout) {
  if (layout.ifd0.offset != 8 || layout.gpsPointerEntry) return false;
  if (!plainDirectory(tiff, layout.ifd0, true) || !plainDirectory(tiff, layout.exif, false)) return false;
  for (uint32_t i = 0; i < layout.exif.count; i++) {
    const IfdEntry e = ifdEntry(tiff, layout.exif, i);
    IfdTable interop;
    if (e.tag == kTagInteropIfd && e.value != 0 &&
        (!readIfdTable(tiff, e.value, &interop) || !plainDirectory(tiff, interop, false)))
      return false;
  }
  if (layout.ifd1 != 0) {
    IfdTable ifd1;
    if (!readIfdTable(tiff, layout.ifd1, &ifd1) || !plainDirectory(tiff, ifd1, false) ||
        nextIfdOffset(tiff, ifd1) != 0)
      return false;
  }
  return true;
}
