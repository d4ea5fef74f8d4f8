// The day file's name.
#include "gps/track_record.h"

#include "platform/core/wide_text.h"

void trackLogPath(const char* ddmmyy, WCHAR* path, size_t size) {
  // Widened unit by unit: the date is 8-bit text, the path UTF-16.
  WCHAR date[7] = {};
  for (int i = 0; i < 6 && ddmmyy[i] != 0; ++i) date[i] = static_cast<unsigned char>(ddmmyy[i]);
  WCHAR out[1024];  // wsprintfW's own bound
  wsprintfW(out, u"%s\\%s.log", kTrackLogFolder, date);
  wcsncpy16(path, out, size);
}
