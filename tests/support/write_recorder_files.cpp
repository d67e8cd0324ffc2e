// Writes the recorder-layout test files (support/recorder_layouts.h) into a
// folder, for test scripts and benchmarks that need files in the layouts of
// other recorders without outside files.
//   halvane-test-files FOLDER [SECONDS]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/recorder_layouts.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: halvane-test-files FOLDER [SECONDS]\n");
    return 2;
  }
  const double seconds = argc == 3 ? std::atof(argv[2]) : 0.5;
  if (!(seconds > 0.0 && seconds <= 600.0)) {
    std::fprintf(stderr, "halvane-test-files: SECONDS must be above 0 and at most 600\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  for (const hv::test::RecorderFile& f : hv::test::RecorderFiles(seconds)) {
    const std::string path = std::string(argv[1]) + "/" + f.name;
    hv::test::WriteRecorderFiles(argv[1], {f});
    if (ReadAllBytes(path) != f.image) {
      std::fprintf(stderr, "halvane-test-files: could not write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s %u %zu\n", f.name.c_str(), f.realRate, f.data.size());
  }
  return 0;
}
