// Storage: DeviceIoControl (IOCTL_DISK_GET_STORAGEID on the card's disk
// device "DSK2:") and GetDiskFreeSpaceExW.
//
// DIR/DSK2 stands for the card's disk device (platform/files.cpp opens it):
// - a regular file is a simulated card: its bytes are the identification the
//   request returns (a STORAGE_IDENTIFICATION header and the ID bytes);
// - a block device is a real card. An SD/MMC slot answers with the card's
//   manufacturer ID and serial number taken from the CID that sysfs reports
//   (/sys/dev/block/MAJ:MIN, the disk's device/cid and device/type); a USB
//   reader's disk answers with the volume serial number from the boot sector
//   of the card's FAT or exFAT file system (behind an MBR's first partition
//   when the link names the whole disk), with the manufacturer ID marked
//   invalid.
// GetDiskFreeSpaceExW is statvfs of the folder a CE name maps to.
// Not supported: any other control code, overlapped requests, GPT disks,
// sector sizes other than 512 bytes when an MBR has to be followed.
#include "platform/kernel/storage.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/core/byte_order.h"
#include "platform/kernel/device_image.h"
#include "platform/core/errors.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"

namespace {

std::mutex gSysfsMutex;
std::string gSysfsRoot = "/sys";

std::string sysfsRoot() {
  std::lock_guard<std::mutex> lock(gSysfsMutex);
  return gSysfsRoot;
}

constexpr size_t kHeaderSize = sizeof(STORAGE_IDENTIFICATION);
constexpr size_t kSectorSize = 512;

// Reads up to `size` bytes at `offset`, retrying short reads; the count read
// or -1 with errno set.
ssize_t readAt(int fd, BYTE* buffer, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    ssize_t n =
        hostCalls().pread.retrying(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// A small text file of sysfs, without its trailing newline; false when it
// cannot be read.
bool readSmallFile(const std::string& path, std::string* text) {
  int fd = hostCalls().open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  char buf[128];
  ssize_t n = hostCalls().read.retrying(fd, buf, sizeof buf - 1);
  hostCalls().close(fd);
  if (n < 0) return false;
  text->assign(buf, static_cast<size_t>(n));
  while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The identification the request returns, built in `id`; its size, or 0.
struct Identification {
  BYTE bytes[kHeaderSize + 8] = {};
  size_t size = 0;
};

void makeIdentification(Identification* id, DWORD flags, const BYTE* manufacturer,
                        size_t manufacturerSize, const BYTE* serial, size_t serialSize) {
  size_t at = kHeaderSize;
  DWORD manufacturerOffset = 0;
  if (manufacturerSize) {
    manufacturerOffset = static_cast<DWORD>(at);
    memcpy(id->bytes + at, manufacturer, manufacturerSize);
    at += manufacturerSize;
  }
  DWORD serialOffset = static_cast<DWORD>(at);
  memcpy(id->bytes + at, serial, serialSize);
  at += serialSize;
  writeLe32(id->bytes, static_cast<DWORD>(at));
  writeLe32(id->bytes + 4, flags);
  writeLe32(id->bytes + 8, manufacturerOffset);
  writeLe32(id->bytes + 12, serialOffset);
  id->size = at;
}

// An SD or MMC card in a slot: manufacturer ID and serial number from the
// CID register as sysfs shows it. A partition's folder has no device link of
// its own: its disk is the folder above.
bool identifyFromSysfs(dev_t rdev, Identification* id) {
  std::string base = sysfsRoot() + "/dev/block/" + std::to_string(major(rdev)) + ":" +
                     std::to_string(minor(rdev));
  struct stat st;
  if (hostCalls().stat((base + "/partition").c_str(), &st) == 0) base += "/..";
  std::string cid;
  if (!readSmallFile(base + "/device/cid", &cid) || cid.size() != 32) return false;
  BYTE reg[16];
  for (size_t i = 0; i < 16; ++i) {
    int hi = hexDigit(cid[2 * i]), lo = hexDigit(cid[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    reg[i] = static_cast<BYTE>(hi << 4 | lo);
  }
  // The manufacturer ID is the first byte on both kinds of card; the 32-bit
  // serial number sits at bits 55..24 on SD cards and 47..16 on MMC cards.
  std::string type;
  bool mmc = readSmallFile(base + "/device/type", &type) && type == "MMC";
  makeIdentification(id, 0, reg, 1, reg + (mmc ? 10 : 9), 4);
  return true;
}

bool looksLikeBootSector(const BYTE* s) {
  if (s[510] != 0x55 || s[511] != 0xAA) return false;
  if (!memcmp(s + 3, "EXFAT   ", 8)) return true;
  unsigned bytesPerSector = readLe16(s + 11);
  bool jump = s[0] == 0xEB || s[0] == 0xE9;
  return jump && (bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 ||
                  bytesPerSector == 4096);
}

// The volume serial number of a FAT12/16/32 or exFAT boot sector.
bool volumeSerial(const BYTE* s, DWORD* serial) {
  if (!memcmp(s + 3, "EXFAT   ", 8)) {
    *serial = readLe32(s + 100);
    return true;
  }
  unsigned sectorsPerFat16 = readLe16(s + 22);
  size_t signature = sectorsPerFat16 == 0 ? 66 : 38;  // FAT32 has a longer BPB
  if (s[signature] != 0x29) return false;             // no extended boot record
  *serial = readLe32(s + signature + 1);
  return true;
}

// A card in a USB reader: the volume serial number of its file system.
bool identifyFromBootSector(int fd, Identification* id) {
  BYTE sector[kSectorSize];
  if (readAt(fd, sector, sizeof sector, 0) != static_cast<ssize_t>(sizeof sector)) return false;
  if (!looksLikeBootSector(sector)) {
    // The whole disk: follow the MBR to its first used partition.
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    uint64_t start = 0;
    for (size_t entry = 446; entry < 510 && start == 0; entry += 16)
      if (sector[entry + 4] != 0) start = readLe32(sector + entry + 8);
    if (start == 0) return false;
    if (readAt(fd, sector, sizeof sector, static_cast<off_t>(start * kSectorSize)) !=
            static_cast<ssize_t>(sizeof sector) ||
        !looksLikeBootSector(sector))
      return false;
  }
  DWORD value;
  if (!volumeSerial(sector, &value)) return false;
  BYTE serial[4];
  writeBe32(serial, value);
  makeIdentification(id, MANUFACTUREID_INVALID, nullptr, 0, serial, sizeof serial);
  return true;
}

BOOL storageId(const HandleEntry& device, LPVOID out, DWORD outSize, LPDWORD returned) {
  if (!out || outSize < kHeaderSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  struct stat st;
  if (hostCalls().fstat(device.fd, &st) != 0) {
    return failFromErrno();
  }
  if (S_ISREG(st.st_mode)) {
    // A simulated card answers with the file's bytes, as many as fit.
    ssize_t n = readAt(device.fd, static_cast<BYTE*>(out), outSize, 0);
    if (n < 0) {
      return failFromErrno();
    }
    if (static_cast<size_t>(n) < kHeaderSize) {
      SetLastError(ERROR_GEN_FAILURE);  // not even a header: no identification
      return FALSE;
    }
    if (returned) *returned = static_cast<DWORD>(n);
    return TRUE;
  }
  if (!S_ISBLK(st.st_mode)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  Identification id;
  if (!identifyFromSysfs(st.st_rdev, &id) && !identifyFromBootSector(device.fd, &id)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (outSize < id.size) {
    memcpy(out, id.bytes, kHeaderSize);  // the header tells the size needed
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(out, id.bytes, id.size);
  if (returned) *returned = static_cast<DWORD>(id.size);
  return TRUE;
}

ULONGLONG blocksToBytes(unsigned long blocks, unsigned long blockSize) {
  ULONGLONG bytes;
  if (__builtin_mul_overflow(static_cast<ULONGLONG>(blocks), static_cast<ULONGLONG>(blockSize), &bytes))
    return ~0ull;
  return bytes;
}

}  // namespace

void setSysfsRoot(const std::string& hostDir) {
  std::lock_guard<std::mutex> lock(gSysfsMutex);
  gSysfsRoot = hostDir;
}

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID, DWORD, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED) {
  if (bytesReturned) *bytesReturned = 0;
  HandleEntry entry;
  if (!lookupHandle(device, HandleKind::Device, &entry)) return FALSE;
  if (ioControlCode != IOCTL_DISK_GET_STORAGEID) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  return storageId(entry, outBuffer, outBufferSize, bytesReturned);
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailable,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
  std::string path;
  if (!directoryName || directoryName[0] == 0) {
    path = deviceRoot();
  } else if (!hostPathFor(directoryName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  struct statvfs st;
  if (hostCalls().statvfs(path.c_str(), &st) != 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR)
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      setLastErrorFromErrno(e);
    return FALSE;
  }
  unsigned long unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  if (freeBytesAvailable) freeBytesAvailable->QuadPart = blocksToBytes(st.f_bavail, unit);
  if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = blocksToBytes(st.f_blocks, unit);
  if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = blocksToBytes(st.f_bfree, unit);
  return TRUE;
}
