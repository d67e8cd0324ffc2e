#include "formats/playback_file.h"

#include "core/outside_file.h"
#include "formats/format_record.h"
#include "formats/recording_kinds.h"

namespace hv {

PlaybackFile::PlaybackFile() = default;

PlaybackFile::~PlaybackFile() { Close(); }

bool PlaybackFile::Open(const std::string& path) {
  Close();
  error_.clear();
  if (!CheckRegularFile(path, &error_)) return false;
  FormatWithAttribute record;
  file_ = OpenRecording(path, &record, &kind_);
  if (!file_) {
    error_ = "not a WAV or WavPack recording that can be read";
    return false;
  }
  format_ = record.format;
  attribute_ = record.AttributeText();
  return true;
}

bool PlaybackFile::IsWavPack() const { return kind_ && kind_->id == RecordingKindId::kWavPack; }

uint32_t PlaybackFile::Read(uint8_t* buffer, uint32_t* bytes) {
  *bytes = 0;
  return file_ ? file_->Read(buffer, bytes) : kFileNotInitialized;
}

uint32_t PlaybackFile::Close() {
  std::unique_ptr<RecordingFile> was = std::move(file_);
  kind_ = nullptr;
  attribute_.clear();
  return was ? was->Close() : kFileOk;
}

}  // namespace hv
