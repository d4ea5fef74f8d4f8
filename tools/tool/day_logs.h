// The day files of a device image as the export commands read them: which
// days there are, each day's records through the one record codec, and a
// record's position in signed decimal degrees.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gps/track_record.h"

struct DayName {
  std::string ddmmyy;  // as in the file's name: 060326
  int year = 0, month = 0, day = 0;
};

// A day as named on the command line or in a file name: six digits of a
// possible date, ddmmyy. Two-digit years from 80 are 19yy, the others 20yy.
bool parseDayName(const std::string& text, DayName* out);

// Every day file of the image, oldest day first (the names sort as ddmmyy,
// not as dates). Files named like no date are passed over, with a note.
std::vector<DayName> listDayFiles(const char* command);

struct DayLog {
  std::vector<TrackRecord> records;
  uint32_t fragmentBytes = 0;  // a trailing piece shorter than a record
};

// Reads the day's file; false (with a note on standard error) when it is
// missing or cannot be read to its end.
bool readDayLog(const char* command, const DayName& day, DayLog* out);

// The same a block of records at a time, in the file's order, so that a
// day of any size takes the same memory.
enum class DayRead { Whole, Missing, CutShort };
DayRead readDayLogInBlocks(const char* command, const DayName& day,
                           const std::function<void(const TrackRecord*, size_t)>& each,
                           uint32_t* fragmentBytes);

// The seconds of the day as HH:MM:SS; false when they are outside the day.
bool formatDayTime(int32_t utcSeconds, char out[9]);

// A packed coordinate (degrees × 100 + minutes) as signed decimal degrees,
// south and west negative. False when it cannot be a position: not finite,
// negative, minutes of 60 or more, beyond 90 or 180 degrees, or a hemisphere
// letter other than the two expected.
bool latitudeDegrees(float packed, char ref, double* out);
bool longitudeDegrees(float packed, char ref, double* out);

// The arguments gpx and log share: [--root DIR] [DDMMYY...]. Sets the device
// root and fills `days` (all day files when none is named). Returns -1 to go
// on, or the exit status: 0 after --help, 1 when the root is no device
// image, 2 for a usage error.
int parseDayArguments(const char* command, const char* usage, int argc, char** argv,
                      std::vector<DayName>* days);
