// The station's command line. Without options the program behaves as designed
// (screen when a display opens); the options make it usable unattended and in tests.
#pragma once

#include <string>
#include <vector>

namespace hv {

struct StationOptions {
  bool headless = false;
  std::string configDir;             // empty: the default folder
  std::string device;                // "Ezusb-0".."Ezusb-3" or "IP" + dotted address
  std::vector<std::string> settings; // "Name=Value" assignments, in order
  double runForSeconds = -1;         // < 0: until asked to quit
  int recordMode = 0;                // 0: as stored; else a RecordMode
  std::string recordBasePath;        // set the base path and turn Record on
  std::string playFile;
  bool loop = false;
  std::string timebase;              // "1:1", "1:2", "1:N"
  std::string audio = "default";     // default | null | wav:FILE
  std::vector<int> showWindows;      // Window menu ids of tool windows to show at start
  std::string repairFile;            // finish a recording cut off by a crash
  bool help = false;
};

// Parses argv. Returns false with `error` naming the option on a bad or unknown option.
bool ParseCommandLine(int argc, const char* const* argv, StationOptions* options, std::string* error);
const char* UsageText();

}  // namespace hv
