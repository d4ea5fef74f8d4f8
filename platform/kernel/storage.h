// Storage: DeviceIoControl (IOCTL_DISK_GET_STORAGEID on "DSK2:") and
// GetDiskFreeSpaceExW.
#pragma once

#include <string>

#include "platform/core/ce_types.h"

constexpr DWORD IOCTL_DISK_GET_STORAGEID = 0x71C24;

struct STORAGE_IDENTIFICATION {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwManufactureIDOffset;
  DWORD dwSerialNumOffset;
};
constexpr DWORD MANUFACTUREID_INVALID = 0x01;
constexpr DWORD SERIALNUM_INVALID = 0x02;

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
                     LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned,
                     LPOVERLAPPED overlapped);
BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailable,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);

// Host side: the folder sysfs is read from for a card in an SD/MMC slot
// (default /sys); tests point it at a fake tree.
void setSysfsRoot(const std::string& hostDir);
