// The executable's options, parsed in one place (getopt_long: `--opt value`
// and `--opt=value` alike).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct HostOptions {
  std::string root;             // the device image; empty: the default
  std::string com1;             // the receiver's tty; empty: DIR/Com1
  std::string cardDevice;       // the card's block device; empty: DIR/DSK2
  std::string cardMount;        // where the system mounts the card; empty: DIR/SDMMC
  unsigned long baud = 0;       // Com1's line speed; 0: as the program asks
  std::string gpsdHost;         // --gpsd: Com1 reads what this gpsd relays; empty: the tty
  std::string gpsdPort;         // its port, 2947 unless given
  std::string display = "headless";
  int scale = 1;
  bool waitingBoxes = false;    // --msgbox wait, or --display sdl without --msgbox
  std::string control;          // the control channel's socket; empty: none
  bool autoTag = false;         // a new card's batch starts without START
  int32_t cameraOffset = 10800; // how far the camera clock runs ahead of UTC, in seconds
  bool boot = false;
  bool help = false;
  bool version = false;         // --version: print the version and stop
  // The options a --boot hands to each program it starts, as given.
  std::vector<std::string> passOn;
};

// 0 when the options are sound; otherwise 2 with *error naming the option or
// value at fault (the usage text is the caller's to print).
int parseHostOptions(int argc, char* const* argv, HostOptions* options, std::string* error);

// Splits --gpsd's HOST[:PORT] ([ADDRESS]:PORT for an IPv6 address); false
// when the host or a given port is empty.
bool parseGpsdAddress(const std::string& text, std::string* host, std::string* port);

// The one-line usage and the --help text.
extern const char kHostUsage[];
extern const char kHostHelp[];
// "vellumtrace VERSION", the version the build was made from.
extern const char kHostVersion[];
