#include "tools/tool/day_logs.h"
#include "tools/tool/tool_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "platform/core/handles.h"
#include "platform/core/wide_text.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/files.h"
#include "platform/kernel/find_files.h"
#include "tools/tool/commands.h"

namespace {

bool digits(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; i++)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int twoDigits(const std::string& text, size_t at) {
  return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// A file named like a day file, such as 060326.log (any case of the
// extension, as FAT does not keep it); false for anything else.
bool looksLikeDayFile(const std::string& name) {
  if (name.size() != 10) return false;
  std::string ext = name.substr(6);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".log" && digits(name, 0, 6);
}

bool degreesOf(float packed, char ref, char positive, char negative, double limit, double* out) {
  if (ref != positive && ref != negative) return false;
  const double value = packed;
  if (!std::isfinite(value) || value < 0.0) return false;
  const double whole = std::floor(value / 100.0);
  const double minutes = value - whole * 100.0;
  if (minutes >= 60.0) return false;
  const double degrees = whole + minutes / 60.0;
  if (degrees > limit) return false;
  *out = ref == negative ? -degrees : degrees;
  return true;
}

}  // namespace

bool parseDayName(const std::string& text, DayName* out) {
  if (text.size() != 6 || !digits(text, 0, 6)) return false;
  DayName d;
  d.ddmmyy = text;
  d.day = twoDigits(text, 0);
  d.month = twoDigits(text, 2);
  const int yy = twoDigits(text, 4);
  d.year = yy >= 80 ? 1900 + yy : 2000 + yy;
  if (d.day < 1 || d.day > 31 || d.month < 1 || d.month > 12) return false;
  *out = d;
  return true;
}

std::vector<DayName> listDayFiles(const char* command) {
  std::vector<DayName> days;
  WCHAR pattern[MAX_PATH];
  wsprintfW(pattern, u"%s\\*", kTrackLogFolder);
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return days;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = utf8FromUtf16(entry.cFileName);
    DayName day;
    if (!looksLikeDayFile(name)) continue;  // the program itself, other files
    if (!parseDayName(name.substr(0, 6), &day)) {
      fprintf(stderr, "vellumtrace-tool %s: %s is not named after a date; passed over\n", command,
              name.c_str());
      continue;
    }
    days.push_back(day);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(days.begin(), days.end(), [](const DayName& a, const DayName& b) {
    return std::tie(a.year, a.month, a.day) < std::tie(b.year, b.month, b.day);
  });
  return days;
}

DayRead readDayLogInBlocks(const char* command, const DayName& day,
                           const std::function<void(const TrackRecord*, size_t)>& each,
                           uint32_t* fragmentBytes) {
  if (fragmentBytes) *fragmentBytes = 0;
  WCHAR path[MAX_PATH];
  trackLogPath(day.ddmmyy.c_str(), path, MAX_PATH);
  // Shared for writing too: the recorder may be appending to today's file.
  HANDLE log = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "vellumtrace-tool %s: no track log for %s\n", command, day.ddmmyy.c_str());
    reportHostFailure("cannot open " + utf8FromUtf16(path));
    return DayRead::Missing;
  }
  static BYTE block[kTrackRecordBytes * 4096];
  static TrackRecord records[4096];
  DWORD carried = 0;  // bytes of a record cut by the end of the previous block
  DayRead result = DayRead::Whole;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(log, block + carried, sizeof block - carried, &got, nullptr)) {
      reportHostFailure("cannot read " + utf8FromUtf16(path));
      result = DayRead::CutShort;
      break;
    }
    if (got == 0) break;
    const DWORD have = carried + got;
    const DWORD whole = have - have % kTrackRecordBytes;
    size_t count = 0;
    for (DWORD at = 0; at < whole; at += kTrackRecordBytes)
      records[count++] = decodeTrackRecord(block + at);
    if (count) each(records, count);
    carried = have - whole;
    memmove(block, block + whole, carried);
  }
  CloseHandle(log);
  if (fragmentBytes) *fragmentBytes = carried;
  if (carried)
    fprintf(stderr, "vellumtrace-tool %s: %s.log ends in %u bytes that are not a whole record\n",
            command, day.ddmmyy.c_str(), static_cast<unsigned>(carried));
  return result;
}

bool readDayLog(const char* command, const DayName& day, DayLog* out) {
  out->records.clear();
  return readDayLogInBlocks(
             command, day,
             [out](const TrackRecord* r, size_t n) { out->records.insert(out->records.end(), r, r + n); },
             &out->fragmentBytes) == DayRead::Whole;
}

bool formatDayTime(int32_t utcSeconds, char out[9]) {
  if (utcSeconds < 0 || utcSeconds >= 86400) return false;
  const int fields[3] = {utcSeconds / 3600, utcSeconds / 60 % 60, utcSeconds % 60};
  for (int i = 0; i < 3; i++) {
    out[i * 3] = static_cast<char>('0' + fields[i] / 10);
    out[i * 3 + 1] = static_cast<char>('0' + fields[i] % 10);
    out[i * 3 + 2] = i < 2 ? ':' : '\0';
  }
  return true;
}

bool latitudeDegrees(float packed, char ref, double* out) {
  return degreesOf(packed, ref, 'N', 'S', 90.0, out);
}
bool longitudeDegrees(float packed, char ref, double* out) {
  return degreesOf(packed, ref, 'E', 'W', 180.0, out);
}

int parseDayArguments(const char* command, const char* usage, int argc, char** argv,
                      std::vector<DayName>* days) {
  std::string root;
  std::vector<DayName> named;
  for (int i = 0; i < argc; i++) {
    const std::string arg = argv[i];
    DayName day;
    const int got = optionValue(command, argc, argv, &i, "--root", &root);
    if (got < 0) {
      fprintf(stderr, "usage: vellumtrace-tool %s %s\n", command, usage);
      return 2;
    }
    if (got > 0) {
      continue;
    } else if (arg == "--help" || arg == "-h") {
      printf("usage: vellumtrace-tool %s %s\n", command, usage);
      return 0;
    } else if (parseDayName(arg, &day)) {
      named.push_back(day);
    } else {
      fprintf(stderr, "vellumtrace-tool %s: %s '%s'\nusage: vellumtrace-tool %s %s\n", command,
              arg[0] == '-' ? "unknown option" : "not a day (DDMMYY)", arg.c_str(), command, usage);
      return 2;
    }
  }
  if (useDeviceImage(command, root) != 0) return 1;
  *days = named.empty() ? listDayFiles(command) : named;
  return -1;
}
