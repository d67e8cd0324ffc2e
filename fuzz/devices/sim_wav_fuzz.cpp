// Any bytes as a WAV file for the simulator's --file option.
#include <cstddef>
#include <cstdint>
#include <string>

#include "wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hv::sim::WavSamples out;
  std::string error;
  if (hv::sim::ParseWav(data, size, &out, &error) && out.firstChannel.size() * 2 > size) __builtin_trap();
  return 0;
}
