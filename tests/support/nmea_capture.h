// Receiver captures (tests/data/nmea), cut into the bursts a
// receiver sends: one reporting cycle (the sentences of one fix, about once a
// second) per burst, each line ending in CR LF as on the wire.
#pragma once

#include <string>
#include <vector>

// The capture's lines without their line ends; comment lines ('#') dropped.
std::vector<std::string> readCaptureLines(const std::string& path);

// Groups lines into reporting cycles. A cycle ends before a sentence that
// carries a different UTC time than the cycle so far, or a sentence type
// that the cycle already holds (the multi-part satellite view excepted).
// Lines that are not sentences stay with the cycle they appear in.
std::vector<std::string> cycleBursts(const std::vector<std::string>& lines);

// readCaptureLines + cycleBursts.
std::vector<std::string> captureBursts(const std::string& path);

// The capture as a receiver sends it: its bytes as they are, binary frames
// and all, without the comment lines, and each line ending in CR LF.
std::string captureWireBytes(const std::string& path);

// The path of a capture under tests/data/nmea.
std::string capturePath(const std::string& name);
