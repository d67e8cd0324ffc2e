// Arbitrary bytes as a WAV recording: opened, attribute taken, every block read.
#include "formats/wave_file.h"
#include "recording_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ReadAsRecording<hv::WaveFile>(data, size, ".wav");
}
