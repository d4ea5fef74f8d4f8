// Serial port: SetCommState, GetCommState, SetCommTimeouts, GetCommTimeouts on
// a handle that CreateFileW opened for "Com1:".
#pragma once

#include "platform/core/ce_types.h"

constexpr BYTE NOPARITY = 0;
constexpr BYTE ONESTOPBIT = 0;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD CBR_9600 = 9600;

// The CE structure, 28 bytes: the flag word's bit fields in declaration order.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes on the device");

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

// The host's line speed for the port, used whatever a DCB asks for (the
// receiver talks at its own rate); 0, the start value, takes the DCB's.
void setComBaudRate(DWORD rate);
// Whether SetCommState can set a line to this many bits per second, and the
// list of those rates as text, for the host's messages.
bool serialBaudRateSupported(unsigned long rate);
extern const char kSerialBaudRates[];

// For CreateFileW on "Com1:": holds a freshly opened line for this handle
// alone, as the device does: exclusive tty mode and an advisory lock, so a
// second opener, also in another process, is refused. False with
// ERROR_SHARING_VIOLATION when someone else holds it.
bool takeSerialLine(int fd);

// ReadFile on a serial handle: one read of what has arrived, at once. While
// the line is gone (hung up, device removed) it fails with
// ERROR_DEV_NOT_EXIST and tries to open the same path again on each call.
BOOL readSerialPort(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD bytesRead);

BOOL SetCommState(HANDLE file, DCB* dcb);
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
