// halvane: the station program. Parses the command line and hands over.
#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/station.h"
#include "recording/recording_repair.h"

int main(int argc, char** argv) {
  hv::StationOptions options;
  std::string error;
  if (!hv::ParseCommandLine(argc, argv, &options, &error)) {
    std::fprintf(stderr, "halvane: %s\n%s", error.c_str(), hv::UsageText());
    return 2;
  }
  if (options.help) {
    std::fputs(hv::UsageText(), stdout);
    return 0;
  }
  if (!options.repairFile.empty()) return hv::RunRepair(options.repairFile);
  return hv::RunStation(options);
}
