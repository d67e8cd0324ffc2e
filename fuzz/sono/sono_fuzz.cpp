// Feeds arbitrary bytes, as a file, to the spectrogram picture of a recording
// (a small picture, so each input stays quick), and, as an attribute record,
// to the GUANO text composer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/guano_writer.h"
#include "sono/sono_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/halvane_sono_fuzz_" + std::to_string(getpid()) + ".wav";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  hv::SonoOptions options;
  options.width = 120;
  options.height = 80;
  hv::SonoPicture picture;
  std::string error;
  hv::MakeSonoPicture(path, options, &picture, &error);
  std::remove(path.c_str());

  hv::FormatWithAttribute record;
  record.format = hv::MakeWaveFormat(size > 4 ? uint32_t(data[0]) << 16 | data[1] : 25000, 1, 2, 16);
  record.SetAttribute(std::string(reinterpret_cast<const char*>(data), size));
  hv::ComposeGuanoText(record, size);
  return 0;
}
