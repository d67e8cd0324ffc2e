// The calls of one recording: opens a WAV or WavPack file with the sample
// reader (formats/sample_reader.h), takes its real rate (header rate x time
// expansion, from the attribute record or the GUANO text's TE) and runs the
// call detector over its first channel. Times are real times from the file's first sample.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calls/call_detector.h"

namespace hv {

struct FileCalls {
  std::string path;
  uint64_t realRate = 0;
  double seconds = 0;  // real duration
  std::vector<CallMeasure> calls;
};

// progress(done, total) is called now and then with frame counts.
bool DetectFileCalls(const std::string& path, const CallDetectorSettings& settings, FileCalls* out,
                     std::string* error, const std::function<void(uint64_t, uint64_t)>& progress = {});

// Passes: runs of calls whose gaps (end of one to start of the next) are under maxGapS.
int CountPasses(const std::vector<CallMeasure>& calls, double maxGapS = 1.0);

}  // namespace hv
