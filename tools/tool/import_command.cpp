// vellumtrace-tool import: an NMEA log from another logger (or gpsd) into the
// day files of a device image, through the recorder's own intake and log
// step, so the same sentences give the same records. Lines end in LF or
// CR LF; each is handed to the intake with CR LF, as a receiver ends it.
// Records are handed to the log step in large batches (one write per day
// each, reaching the storage before the next), appended to what the day
// files already hold. A fix a day file already holds (the same record: time
// and position) is skipped and counted, so importing a log twice does not
// double the day. "-" reads standard input; other names must be regular
// files, as anything else (a FIFO without a writer, a device) could hold the
// import for good.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gps/nmea_intake.h"
#include "gps/track_log.h"
#include "gps/track_record.h"
#include "platform/ce.h"
#include "platform/kernel/device_image.h"
#include "tools/tool/commands.h"

namespace {

const char kImportUsage[] =
    "usage: vellumtrace-tool import [--root DIR] FILE... (- for standard input)\n";

int usageError(const std::string& why) {
  fprintf(stderr, "vellumtrace-tool import: %s\n", why.c_str());
  fputs(kImportUsage, stderr);
  return 2;
}

// Fixes on their way to the log step, each with its own date.
struct Batch {
  static constexpr int kRecords = 4096;
  DatedRecord records[kRecords];
  int used = 0;
};

using RecordBytes = std::array<BYTE, kTrackRecordBytes>;

// Day file -> fixes handed to it, its size before the first of them, the
// fixes skipped as already there, and every record it holds or was handed.
struct DayCount {
  long handed = 0;
  long sizeBefore = -1;
  long skipped = 0;
  std::set<RecordBytes> held;
};

std::string dayFileName(const char* date) { return std::string(date) + ".log"; }

// The size of a day file that is not open for logging; 0 when there is none.
long dayFileSize(const char* date) {
  WCHAR path[MAX_PATH];
  trackLogPath(date, path, MAX_PATH);
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  DWORD size = GetFileSize(f, nullptr);
  CloseHandle(f);
  return size == 0xFFFFFFFFu ? 0 : static_cast<long>(size);
}

// The whole records the day's file holds (none when there is no file).
void loadHeldRecords(const char* date, std::set<RecordBytes>* held) {
  WCHAR path[MAX_PATH];
  trackLogPath(date, path, MAX_PATH);
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  static BYTE block[kTrackRecordBytes * 4096];
  DWORD carried = 0, got = 0;
  while (ReadFile(f, block + carried, sizeof block - carried, &got, nullptr) && got > 0) {
    const DWORD have = carried + got, whole = have - have % kTrackRecordBytes;
    for (DWORD at = 0; at < whole; at += kTrackRecordBytes) {
      RecordBytes r;
      memcpy(r.data(), block + at, kTrackRecordBytes);
      held->insert(r);
    }
    carried = have - whole;
    memmove(block, block + whole, carried);
  }
  CloseHandle(f);
}

void flush(Batch* batch) {
  if (batch->used == 0) return;
  appendTrackRecords(batch->records, batch->used);
  batch->used = 0;
}

// One line of the file (without its line end) as one tick's text.
void importLine(const char* line, size_t length, Batch* batch,
                std::map<std::string, DayCount>* days) {
  if (length >= kLineBytes) return;  // the intake skips such lines too
  static char text[kLineBytes + 2];
  memcpy(text, line, length);
  memcpy(text + length, "\r\n", 2);
  takeTickText(text, length + 2);
  for (int i = 0; i < gpsIntake.recordCount; ++i) {
    const DatedRecord& r = gpsIntake.records[i];
    DayCount& day = (*days)[dayFileName(r.date)];
    if (day.sizeBefore < 0) {
      // Measured before anything is handed to that day; the day's file may
      // be the one the log holds open.
      flush(batch);
      closeTrackLogAtExit();
      day.sizeBefore = dayFileSize(r.date);
      loadHeldRecords(r.date, &day.held);
    }
    // Only the fixes the day does not hold yet go on.
    RecordBytes bytes;
    memcpy(bytes.data(), r.bytes, kTrackRecordBytes);
    if (!day.held.insert(bytes).second) {
      ++day.skipped;
      continue;
    }
    ++day.handed;
    if (batch->used == Batch::kRecords) flush(batch);
    batch->records[batch->used++] = r;
  }
}

// The file to read: standard input for "-", else a regular file, opened
// without waiting (a FIFO would wait for a writer) and refused at once if
// it is anything else. Null, said on standard error, when it cannot be read.
FILE* openNmeaFile(const std::string& name) {
  if (name == "-") return stdin;
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    fprintf(stderr, "vellumtrace-tool import: %s: %s\n", name.c_str(), strerror(errno));
    if (fd >= 0) close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    fprintf(stderr,
            "vellumtrace-tool import: %s: not a regular file (give - to read standard input)\n",
            name.c_str());
    close(fd);
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* f = fdopen(fd, "rb");
  if (!f) {
    fprintf(stderr, "vellumtrace-tool import: %s: %s\n", name.c_str(), strerror(errno));
    close(fd);
  }
  return f;
}

bool importFile(const std::string& name, Batch* batch, std::map<std::string, DayCount>* days) {
  FILE* f = openNmeaFile(name);
  if (!f) return false;
  // Lines end in LF or CR LF; a line longer than any sentence is skipped
  // whole, however it is cut by the reads of the file.
  static char chunk[1 << 16];
  std::string line;
  bool tooLong = false;
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      char c = chunk[i];
      if (c != '\n') {
        if (line.size() < kLineBytes) line.push_back(c);
        else tooLong = true;
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!tooLong) importLine(line.data(), line.size(), batch, days);
      line.clear();
      tooLong = false;
    }
  }
  if (!line.empty() && !tooLong) importLine(line.data(), line.size(), batch, days);
  bool ok = !ferror(f);
  if (!ok) fprintf(stderr, "vellumtrace-tool import: %s: %s\n", name.c_str(), strerror(errno));
  if (f != stdin) fclose(f);
  return ok;
}

}  // namespace

int importCommand(int argc, char** argv) {
  std::string root = defaultDeviceRoot();
  std::vector<std::string> files;
  for (int i = 0; i < argc; i++) {
    if (!strcmp(argv[i], "--root")) {
      if (++i == argc) return usageError("--root needs a folder");
      root = argv[i];
    } else if (!strncmp(argv[i], "--root=", 7)) {
      root = argv[i] + 7;
    } else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      fputs(kImportUsage, stdout);
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != 0) {
      return usageError(std::string("unknown option ") + argv[i]);
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) return usageError("no NMEA file named");
  setDeviceRoot(root);
  if (!prepareDeviceImage()) {
    fprintf(stderr, "vellumtrace-tool import: cannot prepare the device image at %s: %s\n",
            root.c_str(), strerror(errno));
    return 1;
  }
  CreateDirectoryW(kTrackLogFolder, nullptr);
  resetGpsIntake();
  static Batch batch;
  std::map<std::string, DayCount> days;
  bool ok = true;
  for (const std::string& name : files) {
    // Each file is a log of its own: nothing carries over from the last.
    resetGpsIntake();
    ok = importFile(name, &batch, &days) && ok;
    flush(&batch);
  }
  closeTrackLogAtExit();

  // What the day files gained, against what was handed to them: a write
  // that failed is reported, not counted.
  for (const auto& [file, day] : days) {
    const std::string date = file.substr(0, 6);
    long written = (dayFileSize(date.c_str()) - day.sizeBefore) / static_cast<long>(kTrackRecordBytes);
    if (day.skipped > 0)
      printf("%s: %ld fixes, %ld skipped as already there\n", file.c_str(), written, day.skipped);
    else
      printf("%s: %ld fixes\n", file.c_str(), written);
    if (written != day.handed) {
      fprintf(stderr, "vellumtrace-tool import: %s: only %ld of %ld fixes were written\n",
              file.c_str(), written, day.handed);
      ok = false;
    }
  }
  if (days.empty()) printf("no fixes\n");
  return ok ? 0 : 1;
}
