// Finishing a recording that a crash left under its temporary name
// ("<stem>.tmp_wav" or "<stem>.tmp_wv"): a WAV file keeps its whole frames and
// gets its RIFF and data sizes and a cleared fact value; both kinds are then
// renamed to their final name (never replacing a file).
#pragma once

#include <cstdint>
#include <string>

namespace hv {

struct RepairResult {
  bool ok = false;
  std::string finalName;
  uint64_t samples = 0;  // sample frames saved
  std::string message;   // what went wrong
};

RepairResult RepairRecording(const std::string& path);
// `halvane --repair FILE`: repairs and prints the result; the process exit code.
int RunRepair(const std::string& path);

}  // namespace hv
