// Writes fuzz input to a private file and reads it with a recording reader.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/format_record.h"

template <typename File>
int ReadAsRecording(const uint8_t* data, size_t size, const char* extension) {
  static const std::string path = "/tmp/halvane_rec_fuzz_" + std::to_string(getpid()) + extension;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  File file;
  hv::FormatWithAttribute record;
  if (file.Open(path.c_str(), &record, hv::RecordingFile::kRead) == hv::kFileOk) {
    uint8_t buffer[1024];
    uint32_t got = 0;
    for (int i = 0; i < 100000 && file.Read(buffer, &got) == hv::kFileOk && got > 0; ++i) {
    }
    file.Close();
  }
  std::remove(path.c_str());
  return 0;
}
