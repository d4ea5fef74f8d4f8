// What the recorder's rules make of NMEA text, read by a second path: the
// day files `vellumtrace-tool import` writes into an empty device image.
// Tests of the running program compare its day files with these; the import
// itself is held to the checked-in expectations of tests/data/nmea.
#pragma once

#include <map>
#include <string>

// The day files of a device image: name (DDMMYY.log) -> bytes.
std::map<std::string, std::string> dayFilesIn(const std::string& root);

// Day file name (DDMMYY.log) -> its bytes.
std::map<std::string, std::string> importedDayFiles(const std::string& nmea);
// One day's bytes; empty when the text gives that day nothing.
std::string importedDay(const std::string& nmea, const std::string& ddmmyy);
