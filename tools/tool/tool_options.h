// What every command of vellumtrace-tool shares on its command line: an
// option's value given as `--opt value` or `--opt=value`, and the device
// image the command works on, which must already exist.
#pragma once

#include <string>

// Whether argv[*i] is option `name` ("--root"): 1 with its value in *value
// and *i on the value's word, 0 when it is another word, -1 when the value is
// missing or empty (after printing "vellumtrace-tool COMMAND: --root needs a
// value").
int optionValue(const char* command, int argc, char** argv, int* i, const char* name,
                std::string* value);

// Whether argv[i] looks like an option ("-x", "--x"); "-" alone is a name.
bool isOption(const char* word);

// The command's device image: `root` (from --root), else the default one.
// The tool never makes an image: a folder without ResidentFlash is refused.
// 0 when the image is in use (setDeviceRoot); otherwise 1 after saying why on
// standard error.
int useDeviceImage(const char* command, const std::string& root);

// "vellumtrace-tool VERSION".
extern const char kToolVersion[];
