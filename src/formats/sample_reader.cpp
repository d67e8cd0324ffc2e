#include "formats/sample_reader.h"

#include <cstring>

#include "core/le_bytes.h"
#include "core/outside_file.h"
#include "formats/recording_kinds.h"
#include "formats/wave_file.h"
#include "formats/wavpack_file.h"

namespace hv {

SampleReader::SampleReader() = default;
SampleReader::~SampleReader() {
  if (file_) file_->Close();
}

bool SampleReader::Open(const std::string& path, std::string* error) {
  if (std::string why; !CheckRegularFile(path, &why)) {  // a named pipe would block the readers
    *error = path + ": " + why;
    return false;
  }
  const RecordingKind* kind = nullptr;
  file_ = OpenRecording(path, &record_, &kind);
  if (!file_) {
    *error = "not a readable recording: " + path;
    return false;
  }
  wavPack_ = kind->id == RecordingKindId::kWavPack;
  if (wavPack_) {
    // A count the stream does not know (a cut-off stream) or cannot hold gives an empty picture.
    const int64_t count = static_cast<const WavPackFile*>(file_.get())->FrameCount();
    frames_ = count > 0 && count < (int64_t(1) << 40) ? uint64_t(count) : 0;
  } else {
    const uint32_t block = record_.format.blockAlign ? record_.format.blockAlign : 1;
    frames_ = static_cast<const WaveFile*>(file_.get())->DataSize() / block;
  }
  const WaveFormat& f = record_.format;
  if (f.bitsPerSample != 16 || f.channels < 1 || f.channels > 16 || f.blockAlign != 2 * f.channels || f.sampleRate == 0) {
    *error = "not 16-bit PCM of 1 to 16 channels: " + path;
    return false;
  }
  pendingBytes_ = 0;
  ended_ = false;
  return true;
}

const std::string& SampleReader::WavPackGuano() const {
  static const std::string kNone;
  return wavPack_ ? static_cast<const WavPackFile*>(file_.get())->GuanoText() : kNone;
}

size_t SampleReader::ReadSamples(size_t count, std::vector<float>* out) {
  if (!file_ || ended_) return 0;
  const size_t block = record_.format.blockAlign;
  size_t delivered = 0;
  while (delivered < count) {
    uint32_t got = 0;
    if (file_->Read(pending_ + pendingBytes_, &got) != kFileOk || got == 0) {
      ended_ = true;
      break;
    }
    pendingBytes_ += got;
    size_t whole = pendingBytes_ / block;
    for (size_t i = 0; i < whole; ++i) out->push_back(float(int16_t(GetLe16(pending_ + i * block))));
    delivered += whole;
    size_t rest = pendingBytes_ - whole * block;
    std::memmove(pending_, pending_ + whole * block, rest);
    pendingBytes_ = rest;
  }
  return delivered;
}

}  // namespace hv
