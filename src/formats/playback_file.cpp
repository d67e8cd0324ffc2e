#include "formats/playback_file.h"

#include "core/outside_file.h"
#include "formats/format_record.h"
#include "formats/wave_file.h"
#include "formats/wavpack_file.h"

namespace hv {

PlaybackFile::PlaybackFile() : wave_(std::make_unique<WaveFile>()), wavPack_(std::make_unique<WavPackFile>()) {}

PlaybackFile::~PlaybackFile() { Close(); }

bool PlaybackFile::Open(const std::string& path) {
  Close();
  error_.clear();
  if (!CheckRegularFile(path, &error_)) return false;
  FormatWithAttribute record;
  if (wave_->Open(path.c_str(), &record, RecordingFile::kRead) == kFileOk) {
    open_ = kWave;
  } else {
    record = FormatWithAttribute();
    if (wavPack_->Open(path.c_str(), &record, RecordingFile::kRead) != kFileOk) {
      error_ = "not a WAV or WavPack recording that can be read";
      return false;
    }
    open_ = kWavPack;
  }
  format_ = record.format;
  attribute_ = record.AttributeText();
  return true;
}

uint32_t PlaybackFile::Read(uint8_t* buffer, uint32_t* bytes) {
  *bytes = 0;
  switch (open_) {
    case kWave: return wave_->Read(buffer, bytes);
    case kWavPack: return wavPack_->Read(buffer, bytes);
    default: return kFileNotInitialized;
  }
}

uint32_t PlaybackFile::Close() {
  Kind was = open_;
  open_ = kNone;
  attribute_.clear();
  switch (was) {
    case kWave: return wave_->Close();
    case kWavPack: return wavPack_->Close();
    default: return kFileOk;
  }
}

}  // namespace hv
