#include "tests/support/imported_days.h"

#include <dirent.h>

#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"

std::map<std::string, std::string> dayFilesIn(const std::string& root) {
  std::map<std::string, std::string> files;
  const std::string folder = root + "/ResidentFlash/vellumtrace";
  if (DIR* d = opendir(folder.c_str())) {
    while (struct dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() == 10 && name.compare(6, 4, ".log") == 0)
        files[name] = readWholeFile(folder + "/" + name);
    }
    closedir(d);
  }
  return files;
}

std::map<std::string, std::string> importedDayFiles(const std::string& nmea) {
  const std::string root = makeTempDir("vt-import");
  std::map<std::string, std::string> files;
  if (writeWholeFile(root + "/in.nmea", nmea) &&
      runTool({"import", "--root", root, root + "/in.nmea"}).status == 0)
    files = dayFilesIn(root);
  removeTree(root);
  return files;
}

std::string importedDay(const std::string& nmea, const std::string& ddmmyy) {
  const auto files = importedDayFiles(nmea);
  const auto it = files.find(ddmmyy + ".log");
  return it == files.end() ? "" : it->second;
}
