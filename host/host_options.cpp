// The executable's options: one table for getopt_long, one switch for what
// each one means.
#include "host/host_options.h"

#include <getopt.h>

#include <cstdlib>
#include <cstring>

#include "app/program_settings.h"
#include "platform/kernel/serial.h"

const char kHostUsage[] =
    "usage: vellumtrace [--root DIR] [--com1 PATH] [--baud N] [--display headless|sdl]\n"
    "                   [--auto-tag] [--offset +HH:MM]\n"
    "                   [--scale N] [--msgbox auto|wait] [--control PATH] [--boot] [--help]\n"
    "                   [--version] [--card-device DEV --card-mount DIR]\n"
    "                   [--gpsd HOST[:PORT]]\n";

const char kHostHelp[] =
    "\n"
    "Records the GPS receiver's fixes into one track log per UTC day and\n"
    "geotags the photos of a camera card from them. Started under a name\n"
    "holding install- or remove- it installs itself into the device image,\n"
    "or removes itself, instead.\n"
    "\n"
    "  --root DIR        the device image (default $VELLUMTRACE_ROOT, else\n"
    "                    $XDG_DATA_HOME/vellumtrace/device, else\n"
    "                    ~/.local/share/vellumtrace/device)\n"
    "  --com1 PATH       the receiver's tty (default DIR/Com1)\n"
    "  --baud N          the receiver's line speed, whatever the program asks\n"
    "                    for (default: as asked, 9600); many receivers talk\n"
    "                    at 4800\n"
    "  --gpsd HOST[:PORT] read the receiver through the gpsd at HOST (port\n"
    "                    2947 unless given) instead of a tty: the NMEA it\n"
    "                    relays from the receivers it holds. gpsd stopped or\n"
    "                    restarted is taken up again as a replugged receiver\n"
    "  --card-device DEV the card's block device or its udev link, e.g.\n"
    "                    /dev/mmcblk0p1 or /dev/disk/by-id/...-part1 (default\n"
    "                    DIR/DSK2); reading it needs the group that owns it,\n"
    "                    usually 'disk'\n"
    "  --card-mount DIR  where the system mounts that card, e.g. /media/card\n"
    "                    (default DIR/SDMMC). On a device give both: a card is\n"
    "                    taken as in once its device answers and its file\n"
    "                    system is mounted there\n"
    "  --auto-tag        tag a new card's photos as soon as it is offered, as if\n"
    "                    START had been touched (EXIT still cancels), and print\n"
    "                    a line for each card offered: for a device without\n"
    "                    a screen\n"
    "  --offset +HH:MM   how far the camera's clock runs ahead of UTC (west of\n"
    "                    Greenwich -HH:MM), for matching photos to fixes\n"
    "                    (default +03:00)\n"
    "  --display NAME    headless: no window; message boxes print a line\n"
    "                    sdl: the screen in a window (SDL2), touched with the\n"
    "                    mouse; message boxes are drawn and wait for OK\n"
    "                    unless --msgbox auto\n"
    "  --scale N         sdl: each screen pixel as N x N (1 to 8, default 1)\n"
    "  --msgbox MODE     auto: a message box prints its line and is dismissed\n"
    "                    at once (the default); wait: it stays open until the\n"
    "                    control channel's press-ok\n"
    "  --control PATH    a Unix socket taking one command a line: window,\n"
    "                    key ctrl+a|ctrl+q, msgbox, press-ok, quit, tap X Y,\n"
    "                    snapshot FILE (the screen as a PNG)\n"
    "  --boot            start the programs HKEY_LOCAL_MACHINE\\init's Launch\n"
    "                    values name, as the device does at power-on\n"
    "  --help            this text\n"
    "  --version         the program's version\n";

const char kHostVersion[] = "vellumtrace " VT_VERSION "\n";

namespace {

// The tagging's own options, numbered apart from the others.
enum TaggingOption { kAutoTag = 512, kOffset };

enum Option { kRoot = 256, kCom1, kBaud, kDisplay, kScale, kMsgbox, kControl, kBoot, kHelp, kVersion,
              kCardDevice, kCardMount, kGpsd };

const struct option kOptions[] = {
    {"root", required_argument, nullptr, kRoot},
    {"com1", required_argument, nullptr, kCom1},
    {"baud", required_argument, nullptr, kBaud},
    {"display", required_argument, nullptr, kDisplay},
    {"scale", required_argument, nullptr, kScale},
    {"msgbox", required_argument, nullptr, kMsgbox},
    {"control", required_argument, nullptr, kControl},
    {"auto-tag", no_argument, nullptr, kAutoTag},
    {"offset", required_argument, nullptr, kOffset},
    {"boot", no_argument, nullptr, kBoot},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"card-device", required_argument, nullptr, kCardDevice},
    {"card-mount", required_argument, nullptr, kCardMount},
    {"gpsd", required_argument, nullptr, kGpsd},
    {nullptr, 0, nullptr, 0},
};

int fail(std::string* error, const std::string& what) {
  *error = what;
  return 2;
}

}  // namespace

bool parseGpsdAddress(const std::string& text, std::string* host, std::string* port) {
  std::string h = text, p;
  if (!h.empty() && h[0] == '[') {
    size_t close = h.find(']');
    if (close == std::string::npos) return false;
    if (close + 1 < h.size()) {
      if (h[close + 1] != ':') return false;
      p = h.substr(close + 2);
      if (p.empty()) return false;
    }
    h = h.substr(1, close - 1);
  } else if (size_t colon = h.find(':');
             colon != std::string::npos && h.find(':', colon + 1) == std::string::npos) {
    p = h.substr(colon + 1);
    h = h.substr(0, colon);
    if (p.empty()) return false;
  }
  if (h.empty()) return false;
  *host = h;
  *port = p.empty() ? "2947" : p;
  return true;
}

int parseHostOptions(int argc, char* const* argv, HostOptions* o, std::string* error) {
  *o = HostOptions{};
  bool boxModeGiven = false;
  opterr = 0;  // the errors are ours to word
  optind = 0;  // a fresh scan, also when called again (tests)
  for (;;) {
    int index = -1;
    int c = getopt_long(argc, argv, "+:h", kOptions, &index);
    if (c == -1) break;
    const char* v = optarg;
    auto passOn = [&] {
      o->passOn.push_back(std::string("--") + kOptions[index].name);
      if (v) o->passOn.push_back(v);
    };
    switch (c) {
      case kRoot:
        // An empty one would quietly stand for the default image.
        if (*v == 0) return fail(error, "missing value for '--root'");
        o->root = v;
        break;
      case kCom1:
        o->com1 = v;
        passOn();
        break;
      case kBaud: {
        char* end = nullptr;
        unsigned long n = strtoul(v, &end, 10);
        if (*v < '0' || *v > '9' || *end != 0 || !serialBaudRateSupported(n))
          return fail(error, std::string("no line speed '") + v + "' (" + kSerialBaudRates + ")");
        o->baud = n;
        passOn();
        break;
      }
      case kDisplay:
        if (strcmp(v, "headless") != 0 && strcmp(v, "sdl") != 0)
          return fail(error, std::string("unknown display '") + v + "'");
        o->display = v;
        passOn();
        break;
      case kScale: {
        char* end = nullptr;
        long n = strtol(v, &end, 10);
        if (*v == 0 || *end != 0 || n < 1 || n > 8)
          return fail(error, std::string("the scale must be 1 to 8, not '") + v + "'");
        o->scale = static_cast<int>(n);
        passOn();
        break;
      }
      case kMsgbox:
        if (strcmp(v, "wait") == 0)
          o->waitingBoxes = true;
        else if (strcmp(v, "auto") != 0)
          return fail(error, std::string("unknown message box mode '") + v + "'");
        boxModeGiven = true;
        passOn();
        break;
      case kAutoTag:
        o->autoTag = true;
        passOn();
        break;
      case kOffset:
        if (!parseCameraClockOffset(v, &o->cameraOffset))
          return fail(error, std::string("the offset must be +HH:MM or -HH:MM, not '") + v + "'");
        passOn();
        break;
      case kControl:
        o->control = v;
        passOn();
        break;
      case kBoot:
        o->boot = true;
        break;
      case kCardDevice:
        o->cardDevice = v;
        passOn();
        break;
      case kCardMount:
        o->cardMount = v;
        passOn();
        break;
      case kGpsd:
        if (!parseGpsdAddress(v, &o->gpsdHost, &o->gpsdPort))
          return fail(error, std::string("no gpsd address '") + v + "' (HOST or HOST:PORT)");
        passOn();
        break;
      case 'h':
      case kHelp:
        o->help = true;
        return 0;
      case kVersion:
        o->version = true;
        return 0;
      case ':':
        return fail(error, std::string("missing value for '") + argv[optind - 1] + "'");
      default:  // '?'
        // A known long option given a value it does not take sets optopt to
        // its own code; an unknown letter sets it to the letter (which may sit
        // in a cluster such as -xv, so argv does not name it).
        for (const struct option& known : kOptions)
          if (known.name && known.val == optopt && optopt >= kRoot)
            return fail(error, std::string("'--") + known.name + "' takes no value");
        if (optopt > 0) return fail(error, std::string("unknown option '-") + static_cast<char>(optopt) + "'");
        return fail(error, std::string("unknown option '") + argv[optind - 1] + "'");
    }
  }
  if (optind < argc) return fail(error, std::string("unknown option '") + argv[optind] + "'");
  // On a screen someone looks at, a box waits for its OK.
  if (!boxModeGiven && o->display == "sdl") o->waitingBoxes = true;
  return 0;
}
