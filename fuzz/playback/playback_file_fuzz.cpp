// Feeds arbitrary bytes, as a file, through what a replay does with it: open
// (WAV, then WavPack), read the file's information (attribute record or GUANO
// text), check the format and read every block.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/playback_file.h"
#include "formats/playback_file_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/halvane_playback_fuzz_" + std::to_string(getpid()) + ".wav";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  hv::PlaybackFile file;
  if (file.Open(path)) {
    hv::PlaybackFileInfo info;
    hv::ReadPlaybackFileInfo(file, path, &info);
    hv::IsPlayableFormat(info.format);
    uint8_t buffer[1024];
    uint32_t bytes = 0;
    for (int i = 0; i < 100000 && file.Read(buffer, &bytes) == 0 && bytes > 0; ++i) {
    }
    file.Close();
  }
  std::remove(path.c_str());
  return 0;
}
