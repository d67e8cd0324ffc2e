// Arbitrary bytes as a WavPack recording: opened, tag taken, every block read.
#include "formats/wavpack_file.h"
#include "recording_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ReadAsRecording<hv::WavPackFile>(data, size, ".wv");
}
