// The power-loss proof. A recorder tick, a batch of photos (with a copy an
// earlier cut left still on the card) and the tick after the batch run once,
// with every write, truncation, flush, create, rename and removal they make
// recorded through the host-call table. Then, for each point a power cut
// could stop the run, every state the storage could hold is built: data not
// yet flushed dropped, or cut short at any byte; names not yet made durable by
// a flush of their folder lost, the latest first (a journal keeps them in
// order). In every state each photo is its original or its whole tagged copy
// and the day log holds whole records of what was logged; and started again
// on that state, the program tags every photo, leaves no copy behind and
// appends the day's next records after the last whole one. The fixes that
// arrive during the batch are held and written after it: a cut can lose
// them, never misalign the day.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "card/photo_discovery.h"
#include "card/photo_list.h"
#include "geotag/gps_insert.h"
#include "geotag/tag_outcome.h"
#include "gps/track_log.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
#include "platform/user/resources.h"
#include "res/resources.h"
#include "tests/geotag/crafted_jpeg.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"

namespace {

constexpr char kLogDay[] = "210706";
constexpr char kPhotoDay[] = "270804";  // the photos were taken 2004:08:27 13:52:55, UTC+3
constexpr int32_t kPhotoFixSeconds = 13 * 3600 + 52 * 60 + 55 - 10800;
constexpr int kPhotos = 4;

std::string photoRelative(int i) { return "SDMMC/DCIM/100CAM/IMG_000" + std::to_string(i + 1) + ".JPG"; }

// ---- Recording what reaches the storage ---------------------------------------

struct Op {
  enum Kind { Write, Truncate, Sync, Create, Rename, Unlink, FolderSync } kind = Write;
  int file = -1;        // the file written, truncated or flushed (or made)
  uint64_t at = 0;      // Write: where; Truncate: the new length
  std::string bytes;    // Write
  std::string path, to; // Create, Unlink: the name; Rename: from, to; FolderSync: the folder
};

struct Recording {
  bool on = false;
  std::vector<Op> ops;
  std::map<ino_t, int> fileOfInode;  // the host's inode -> our file (inodes are reused)
  std::map<int, int> fileOfFd;
  std::map<int, std::string> folderOfFd;
  int files = 0;
} rec;

int fileOf(int fd) {
  auto it = rec.fileOfFd.find(fd);
  return it == rec.fileOfFd.end() ? -1 : it->second;
}
void note(Op::Kind kind, int file, uint64_t at = 0, std::string bytes = "", std::string path = "",
          std::string to = "") {
  if (!rec.on) return;
  Op op;
  op.kind = kind;
  op.file = file;
  op.at = at;
  op.bytes = std::move(bytes);
  op.path = std::move(path);
  op.to = std::move(to);
  rec.ops.push_back(std::move(op));
}

int recOpen(const char* path, int flags, mode_t mode) {
  struct stat before;
  const bool existed = realHostCalls().lstat(path, &before) == 0;
  int fd = realHostCalls().open(path, flags, mode);
  struct stat st;
  if (fd < 0 || realHostCalls().fstat(fd, &st) != 0) return fd;
  if (S_ISDIR(st.st_mode)) {
    rec.folderOfFd[fd] = path;
  } else if (S_ISREG(st.st_mode)) {
    if (!existed) {
      rec.fileOfInode[st.st_ino] = rec.files++;
      note(Op::Create, rec.fileOfInode[st.st_ino], 0, "", path);
    }
    rec.fileOfFd[fd] = rec.fileOfInode.count(st.st_ino) ? rec.fileOfInode[st.st_ino] : -1;
    if (flags & O_TRUNC) note(Op::Truncate, rec.fileOfFd[fd], 0);
  }
  return fd;
}
int recClose(int fd) {
  rec.fileOfFd.erase(fd);
  rec.folderOfFd.erase(fd);
  return realHostCalls().close(fd);
}
ssize_t recWrite(int fd, const void* b, size_t n) {
  off_t at = realHostCalls().lseek(fd, 0, SEEK_CUR);
  ssize_t done = realHostCalls().write(fd, b, n);
  if (done > 0) note(Op::Write, fileOf(fd), static_cast<uint64_t>(at), std::string(static_cast<const char*>(b), done));
  return done;
}
ssize_t recPwrite(int fd, const void* b, size_t n, off_t at) {
  ssize_t done = realHostCalls().pwrite(fd, b, n, at);
  if (done > 0) note(Op::Write, fileOf(fd), static_cast<uint64_t>(at), std::string(static_cast<const char*>(b), done));
  return done;
}
int recTruncate(int fd, off_t length) {
  int r = realHostCalls().ftruncate(fd, length);
  if (r == 0) note(Op::Truncate, fileOf(fd), static_cast<uint64_t>(length));
  return r;
}
int recSync(int fd) {
  int r = realHostCalls().fsync(fd);
  if (r == 0 && rec.folderOfFd.count(fd)) note(Op::FolderSync, -1, 0, "", rec.folderOfFd[fd]);
  if (r == 0 && fileOf(fd) >= 0) note(Op::Sync, fileOf(fd));
  return r;
}
int recDataSync(int fd) {
  int r = realHostCalls().fdatasync(fd);
  if (r == 0 && fileOf(fd) >= 0) note(Op::Sync, fileOf(fd));
  return r;
}
int recRename(const char* from, const char* to) {
  int r = realHostCalls().rename(from, to);
  if (r == 0) note(Op::Rename, -1, 0, "", from, to);
  return r;
}
int recUnlink(const char* path) {
  int r = realHostCalls().unlink(path);
  if (r == 0) note(Op::Unlink, -1, 0, "", path);
  return r;
}

// ---- The states a power cut can leave -----------------------------------------

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

struct Storage {
  std::map<std::string, int> names;  // absolute host path -> file
  std::map<int, std::string> data;   // what each file held when the run began
};

// The contents a file can hold after a cut before op `cut`: its flushed
// writes, then any number of the later ones, the last of them cut short at
// any byte (or a later truncation done or not). With `everyByte` false, only
// the two ends: none of the later writes, and all of them.
std::vector<std::string> possibleContents(const Storage& start, const std::vector<Op>& ops, size_t cut, int file,
                                          bool everyByte) {
  auto apply = [](std::string& s, const Op& op, size_t bytes) {
    if (op.kind == Op::Truncate) {
      s.resize(op.at);
      return;
    }
    if (s.size() < op.at + bytes) s.resize(op.at + bytes);
    s.replace(op.at, bytes, op.bytes.substr(0, bytes));
  };
  std::string durable = start.data.count(file) ? start.data.at(file) : "";
  std::vector<const Op*> pending;
  for (size_t i = 0; i < cut; ++i) {
    const Op& op = ops[i];
    if (op.file != file) continue;
    if (op.kind == Op::Sync) {
      for (const Op* p : pending) apply(durable, *p, p->bytes.size());
      pending.clear();
    } else if (op.kind == Op::Write || op.kind == Op::Truncate) {
      pending.push_back(&op);
    }
  }
  std::vector<std::string> out;
  std::string s = durable;
  if (!everyByte && !pending.empty()) out.push_back(s);
  for (const Op* p : pending) {
    if (!everyByte)
      ;
    else if (p->kind == Op::Write)
      for (size_t b = 0; b < p->bytes.size(); ++b) {
        std::string cutShort = s;
        apply(cutShort, *p, b);
        out.push_back(cutShort);
      }
    else
      out.push_back(s);
    apply(s, *p, p->bytes.size());
  }
  out.push_back(s);
  return out;
}

// The names after the first `kept` name changes before op `cut`, and the
// fewest a cut can keep: every change a later flush of its folder covers.
std::vector<std::map<std::string, int>> possibleNames(const Storage& start, const std::vector<Op>& ops, size_t cut) {
  std::vector<const Op*> changes;
  size_t fewest = 0;
  for (size_t i = 0; i < cut; ++i) {
    const Op& op = ops[i];
    if (op.kind == Op::Create || op.kind == Op::Rename || op.kind == Op::Unlink) changes.push_back(&op);
    if (op.kind == Op::FolderSync)
      for (size_t c = 0; c < changes.size(); ++c)
        if (folderOf(changes[c]->path) == op.path || (!changes[c]->to.empty() && folderOf(changes[c]->to) == op.path))
          fewest = std::max(fewest, c + 1);
  }
  std::vector<std::map<std::string, int>> out;
  for (size_t kept = fewest; kept <= changes.size(); ++kept) {
    std::map<std::string, int> names = start.names;
    for (size_t c = 0; c < kept; ++c) {
      const Op& op = *changes[c];
      if (op.kind == Op::Create) names[op.path] = op.file;
      if (op.kind == Op::Unlink) names.erase(op.path);
      if (op.kind == Op::Rename && names.count(op.path)) {
        names[op.to] = names[op.path];
        names.erase(op.path);
      }
    }
    out.push_back(names);
  }
  return out;
}

class PowerLoss : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    const std::string camera = readWholeFile(std::string(VT_SOURCE_DIR) + "/tests/data/photos/Canon_DIGITAL_IXUS_400.jpg");
    ASSERT_FALSE(camera.empty()) << "tests/data/photos is missing";
    ::mkdir(image->path("SDMMC/DCIM").c_str(), 0777);
    ::mkdir(image->path("SDMMC/DCIM/100CAM").c_str(), 0777);
    // A camera's photo with a maker note gets the appended layout, a plain
    // one the inserted layout: both are cut at every step.
    const std::string plain = craftJpeg(cameraSpec("2004:08:27 13:52:55"));
    for (int i = 0; i < kPhotos; ++i) {
      // Each photo its own bytes (what follows the image is copied as it is),
      // so a photo given another's copy would show.
      originals.push_back((i % 2 ? plain : camera) + std::string(static_cast<size_t>(i + 1), static_cast<char>('a' + i)));
      writeWholeFile(image->path(photoRelative(i)), originals[i]);
    }
    // What an earlier cut left: the first rewrite removes it.
    writeWholeFile(image->path("SDMMC/DCIM/vellumtrace-tagging.tmp"), "a copy cut short");
    for (int32_t s : {67000, 67001, 67002}) prior += recordBytes({s, 4854.0f, 'N', 219.0f, 'E'});
    writeTrackLog(*image, kLogDay, {});
    writeWholeFile(logPath(*image, kLogDay), prior + recordBytes({67003}).substr(0, 5));
    writeTrackLog(*image, kPhotoDay, {{kPhotoFixSeconds - 4}, {kPhotoFixSeconds, 4851.5f, 'N', 221.25f, 'E'}});
    for (int32_t s : {67010, 67011}) tick1 += recordBytes({s, 4854.5f, 'N', 219.5f, 'E'});
    for (int i = 0; i < kPhotos; ++i)
      heldTicks.push_back(recordBytes({67012 + i, 4854.75f, 'N', 219.75f, 'E'}));
    for (int32_t s : {67020, 67021, 67022}) tick2 += recordBytes({s, 4855.0f, 'N', 220.0f, 'E'});
    next = recordBytes({67030, 4856.0f, 'N', 221.0f, 'E'});
  }

  // The files of the image now, as the storage the run starts from.
  Storage snapshot() {
    Storage s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(image->root())) {
      if (e.is_directory()) folders.push_back(e.path().string().substr(image->root().size() + 1));
      if (!e.is_regular_file()) continue;
      struct stat st;
      ::stat(e.path().c_str(), &st);
      rec.fileOfInode[st.st_ino] = rec.files;
      s.names[e.path().string()] = rec.files;
      s.data[rec.files++] = readWholeFile(e.path().string());
    }
    return s;
  }

  static void appendTick(const std::string& records) {
    std::vector<DatedRecord> dated(records.size() / kTrackRecordBytes);
    for (size_t i = 0; i < dated.size(); ++i) {
      memcpy(dated[i].date, kLogDay, sizeof kLogDay);
      memcpy(dated[i].bytes, records.data() + i * kTrackRecordBytes, kTrackRecordBytes);
    }
    appendTrackRecords(dated.data(), static_cast<int>(dated.size()));
  }

  // A tick, START, the batch with ticks between its photos, its end, the
  // next tick.
  void runDay() {
    appendTick(tick1);
    shared.batchActive = 1;
    closeTrackLogForBatch();
    for (int i = 0; i < kPhotos; ++i) {
      appendTick(heldTicks[i]);
      std::string ce = "\\" + photoRelative(i);
      for (char& c : ce)
        if (c == '/') c = '\\';
      EXPECT_EQ(insertGpsIfd(utf16FromUtf8(ce).c_str()), 0) << tagOutcomeReason(lastTagOutcome());
    }
    shared.batchRunning = 0;
    shared.logHeldForBatch = 0;
    shared.batchActive = 0;
    appendTick(tick2);
    closeTrackLogAtExit();
  }

  // Starts the program again on a state: the card is looked at and every
  // photo tagged, and the recorder's next tick appends after the last whole
  // record. What it finds must be the whole tagged day.
  void expectRecovery(const std::map<std::string, std::string>& files, const std::string& tagLog) {
    resetSharedState();
    resetTrackLog();
    TempDeviceImage again;
    for (const std::string& f : folders) ::mkdir(again.path(f).c_str(), 0777);
    for (const auto& [relative, bytes] : files) writeWholeFile(again.path(relative), bytes);
    discoverPhotos();
    EXPECT_EQ(shared.photoCount.load(), kPhotos) << "the photos listed after the cut";
    for (PhotoEntry* e = shared.photoList.load(); e; e = e->next) insertGpsIfd(e->path);
    for (int i = 0; i < kPhotos; ++i)
      EXPECT_TRUE(readWholeFile(again.path(photoRelative(i))) == tagged[i]) << photoRelative(i) << " after the next batch";
    EXPECT_FALSE(fileExists(again.path("SDMMC/DCIM/vellumtrace-tagging.tmp"))) << "a copy left behind";
    appendTick(next);
    closeTrackLogAtExit();
    const std::string whole = tagLog.substr(0, tagLog.size() - tagLog.size() % 14);
    EXPECT_EQ(readWholeFile(logPath(again, kLogDay)), whole + next) << "the next tick's records";
  }

  std::vector<std::string> originals, tagged, folders;
  std::string prior, tick1, tick2, next;
  std::vector<std::string> heldTicks;
};

TEST_F(PowerLoss, EveryCutLeavesWholePhotosAndWholeRecords) {
  const Storage start = snapshot();
  {
    HostCallsOverride guard;
    HostCalls& h = hostCalls();
    h.open = recOpen;
    h.close = recClose;
    h.write = recWrite;
    h.pwrite = recPwrite;
    h.ftruncate = recTruncate;
    h.fsync = recSync;
    h.fdatasync = recDataSync;
    h.rename = recRename;
    h.unlink = recUnlink;
    rec.on = true;
    runDay();
    rec.on = false;
  }
  const std::string logName = logPath(*image, kLogDay);
  const std::string day = readWholeFile(logName);
  std::string held;
  for (const std::string& t : heldTicks) held += t;
  ASSERT_EQ(day, prior + tick1 + held + tick2) << "the run itself";
  for (int i = 0; i < kPhotos; ++i) {
    tagged.push_back(readWholeFile(image->path(photoRelative(i))));
    // The plain photos grow by the inserted 127 bytes, the others by the
    // appended directories.
    if (i % 2) ASSERT_EQ(tagged[i].size(), originals[i].size() + 127);
    else ASSERT_GT(tagged[i].size(), originals[i].size() + 127);
  }

  const auto began = std::chrono::steady_clock::now();
  std::set<std::map<std::string, std::string>> recovered;
  std::set<std::string> logsRecovered;
  size_t states = 0, variants = 0;
  std::set<std::string> checked = {logName};
  for (int i = 0; i < kPhotos; ++i) checked.insert(image->path(photoRelative(i)));
  for (size_t cut = 0; cut <= rec.ops.size(); ++cut) {
    SCOPED_TRACE("cut before op " + std::to_string(cut) + " of " + std::to_string(rec.ops.size()));
    for (const auto& names : possibleNames(start, rec.ops, cut)) {
      ++states;
      std::map<std::string, std::vector<std::string>> contents;
      for (const auto& [name, file] : names) {
        contents[name] = possibleContents(start, rec.ops, cut, file, checked.count(name) > 0);
        if (checked.count(name)) variants += contents[name].size();
      }
      for (int i = 0; i < kPhotos; ++i) {
        const auto it = contents.find(image->path(photoRelative(i)));
        ASSERT_NE(it, contents.end()) << photoRelative(i) << " is gone";
        for (const std::string& c : it->second)
          ASSERT_TRUE(c == originals[i] || c == tagged[i])
              << photoRelative(i) << " is neither its original nor its tagged copy (" << c.size() << " bytes)";
      }
      ASSERT_TRUE(contents.count(logName)) << "the day log is gone";
      for (const std::string& log : contents[logName]) {
        const size_t whole = log.size() - log.size() % 14;
        ASSERT_GE(whole, prior.size()) << "records of the day were lost";
        ASSERT_EQ(log.compare(0, whole, day, 0, whole), 0) << "a torn or misplaced record";
        if (logsRecovered.insert(log).second) {
          std::map<std::string, std::string> only = {{logName.substr(image->root().size() + 1), log}};
          for (const auto& [name, c] : contents)
            if (name != logName) only[name.substr(image->root().size() + 1)] = c.back();
          expectRecovery(only, log);
          recovered.insert(only);
        }
      }
      // The photos' own states, with what the cut left of the copy in work.
      for (size_t variant : {size_t{0}, size_t{1}}) {
        std::map<std::string, std::string> files;
        for (const auto& [name, c] : contents)
          files[name.substr(image->root().size() + 1)] = variant == 0 ? c.front() : c.back();
        if (recovered.insert(files).second) expectRecovery(files, files[logName.substr(image->root().size() + 1)]);
      }
      if (HasFailure()) return;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  printf("[ power    ] %zu cut points, %zu name states, %zu file contents checked, %zu states restarted "
         "on, %.2f s\n",
         rec.ops.size() + 1, states, variants, recovered.size(), seconds);
  EXPECT_GT(rec.ops.size(), static_cast<size_t>(kPhotos * 5));
}

}  // namespace
